// DocumentController: the one object between the window and the canvas engine.
//
// It owns the engine system and the current canvas, the document's file identity
// and cleanFlag, the current tool and interaction, the recent files, the paper
// table, and the window and interface sub-records. The shell holds the only
// pointer to it (`theController()`), which every window callback tests for null.
#pragma once

#include "Gfx.h"
#include "LayerOperations.h"
#include "MenuModel.h"
#include "Pins.h"
#include "Tools.h"
#include "ViewNavigation.h"
#include "WindowLayer.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct ArtHeader;

// Window facts the controller keeps for the shell.
struct MainWindowState {
    int32_t clientWidth = 0;
    int32_t clientHeight = 0;
    int32_t left = 0;
    int32_t top = 0;
    bool maximised = false;
    int32_t cursorMode = 15;         // configured cursor mode (a CursorKind; 15 the brush outline)
    int32_t currentCursorMode = 15;  // cursor mode in force
    bool showCursor = true;
    SystemCursor cursor = SystemCursor::Arrow;
    double doubleClickSeconds = 0.2;
    bool opacityEnabled = false;     // window-opacity switch
    float opacity = 0.5f;
    bool pointerInside = true;
    MenuModel menuBar;               // File, Open Recent, Edit, Window and Help
};

// Interface facts raised for the GUI.
struct InterfaceState {
    std::string resourceDirectory;   // at most 2047 bytes
    bool largeInterface = false;
    bool largeInterfaceNeedsRebuild = false;
    bool dismissOverlay[3] = {false, false, false};
    bool toolbarOnRight = false;
    bool layersChanged = false;
    bool penChanged = false;
    bool documentChanged = false;
    bool readyForLayout = false;     // the shell's step that lays the interface out has run
    bool recentFilesChanged = false; // the "Open Recent..." captions need updating

    // ---- tools <-> panels (Tools.h) ----
    bool overlayOpen[3] = {false, false, false};  // the GUI's three overlays, set by the GUI
    bool paperColourTarget = false;  // the layers panel's paper entry takes picked colours
    bool keepCursor = false;         // the interface owns the cursor: tool switches leave it
    bool shapeDismiss = false;       // shape panel: dismissed by the user
    bool shapeRefresh = false;       // shape panel: show the new shape tool
    bool toolChanged = false;        // toolbar and shape panel: the current tool changed
    bool colourPicked = false;       // colour panel: a colour was picked (ToolState::pickedColour)
    bool navigationChanged = false;  // the canvas view moved: no pin is current any more
    int32_t layerHistoryKind = 0;    // layers panel: the layer entry (8, 9, 16) being undone or redone
    bool layersPanelRebuild = false; // layers panel: rebuild after a merge was undone or redone
};

// One entry of the paper table: the bytes of one JPEG file (entry 0 is "no paper").
struct PaperEntry {
    int32_t formatTag = 0;
    std::vector<uint8_t> bytes;
};

class DocumentController {
public:
    static constexpr int kPaperCount = 20;
    static constexpr int kRecentCapacity = 5;
    static constexpr size_t kResourceDirectoryLimit = 2047;
    static constexpr size_t kPickScratchBytes = 49152;

    // Builds the controller, its engine and first canvas. Failures past the first
    // allocation stop the program through fatal() with their code; nullptr only when
    // the controller itself could not be allocated.
    static std::unique_ptr<DocumentController> create(WindowLayer& window, const std::string& resourceDirectory);
    ~DocumentController();
    DocumentController(const DocumentController&) = delete;
    DocumentController& operator=(const DocumentController&) = delete;

    // ---- document flows -------------------------------------------------------------
    void newDocument();
    // 0 OK, 1 saved, 2 No, 3 Cancel.
    int32_t askSaveChanges();
    void askSaveBeforeExit(bool crashing);
    // The document's own file name when it has one, else the save dialog. Empty when none.
    std::string chooseSavePath();
    // The "Save Canvas As" dialog. Empty when nothing was chosen.
    std::string chooseSaveAsPath();
    // Writes the canvas to `path` (asking first when someone else changed the file
    // since our last open or save); false when nothing was written. A failure is
    // told to the user and leaves the document as it was. (DocumentFiles.cpp)
    bool saveDocument(const std::string& path);
    // Opens `path` into a new canvas; an unreadable file leaves a new empty canvas.
    // Does not ask about unsaved changes (the commands below do). True when read.
    bool openDocument(const std::string& path);
    // The File menu's commands (DocumentFiles.cpp).
    void openDocumentCommand();       // "Save changes?", then the "Open Canvas" dialog
    void openRecentCommand(int32_t index);  // entry 0..4 of the recent files
    void saveCommand();
    void saveAsCommand();
    // Puts `path` at the front of the recent files (at most five, no repeats).
    void addRecentFile(const std::string& path);
    // The controller's fields as an .art header carries them; with pins for a whole
    // document, without for a selection.
    ArtHeader fileHeader(bool withPins);
    // The blob format the document was read in (0 or 1); saves always write 0.
    int32_t documentFormat() const { return documentFormat_; }
    void setTitle(const std::string& name);
    void finishInteraction();
    // The smoothing level in force (4 while no stylus is near). Kept here so every
    // new or opened canvas gets it too.
    void setSmoothingLevel(int32_t level);

    // ---- state ----------------------------------------------------------------------
    bool isClean() const { return cleanFlag_ != 0; }
    void markClean() { cleanFlag_ = 1; }
    void markChanged() { cleanFlag_ = 0; }
    GfxSystem* engine() const { return engine_; }
    GfxSketch* canvas() const { return canvas_; }
    WindowLayer& window() const { return window_; }
    MainWindowState& windowState() { return windowState_; }
    InterfaceState& interfaceState() { return interfaceState_; }
    const PaperEntry& paper(int index) const { return papers_[static_cast<size_t>(index)]; }
    const std::array<std::string, kRecentCapacity>& recentFiles() const { return recentFiles_; }
    int32_t recentFileCount() const { return recentFileCount_; }
    bool hasFileName() const { return hasFileName_; }
    const std::string& fileName() const { return fileName_; }

    // The cursor of the current tool, shown again after every message box.
    SystemCursor toolCursor() const { return toolCursor_; }
    void restoreToolCursor();
    void requestRedraw();
    // Selects paper entry 0: no paper, white, tinted.
    void applyDefaultPaper();
    // Stops the program with `code` when the engine reports an error.
    void checkEngine();

    // =====================================================================================
    // [TOOLS] Tools, input routing, view navigation, undo and redo.
    // Defined in Tools.cpp, InputRouting.cpp, ViewNavigation.cpp and UndoRedoFlow.cpp.
    // =====================================================================================
    // ---- pointer input (mouse callbacks and pen back-ends), offered to the GUI first ----
    void press(int32_t modifiers, bool doubleClick, const GfxSample& sample);
    // The last sample is the current position.
    void drag(int32_t modifiers, const GfxSample* samples, int32_t count);
    void release(int32_t modifiers, const GfxSample& sample);
    void hover(const GfxSample& sample);
    // The HUD's claim on a pointer event: true when it took it. Unset: nothing is taken.
    std::function<bool(PointerPhase phase, const GfxSample& sample)> interfacePointer;

    // ---- tools ---------------------------------------------------------------------------
    void setTool(int32_t tool, bool ignoreIfSame);
    int32_t tool() const { return tools_.tool; }
    int32_t interaction() const { return tools_.interaction; }
    const ToolState& tools() const { return tools_; }
    ToolState& tools() { return tools_; }
    // Sets the cursor of the current tool (and builds the brush outline it may need).
    void setToolCursor();
    void toggleCursor();
    // The temporary tools held with a key; ending one returns to the previous tool.
    void startTemporaryTool(int32_t tool, TemporaryKey key);
    void endTemporaryTool();
    // "hotkeyPen", "hotkeyEraser", "hotkeyShape" and the pan/zoom/rotate hotkeys.
    void choosePen();
    void chooseEraser();
    void chooseShapeTool();
    // The tablet reports which end of the stylus is near: the eraser end takes up the
    // eraser (not as the user's choice), the tip brings the pen back.
    void stylusEndChanged(bool eraserEnd);

    // ---- pens ------------------------------------------------------------------------------
    // Makes the preset current (pen or eraser by its id) and hands it to the engine.
    void selectPreset(int32_t presetId, const PenPreset& preset);
    void stepPenWidth(int32_t step);      // +1 or -1, within 0..128
    void stepPenOpacity(float step);      // within 0.1..1
    void setPenOpacityDigit(int32_t digit);  // 0 full, n tenths
    void setPenScaleWithZoom(bool on);
    // Stores `scale` as the pen-scale factor and gives the engine the scaled width.
    void applyPenScale(float scale);
    // Shows the pen at `scale` without storing it (during a zoom gesture).
    void previewPenScale(float scale);
    bool penScalesWithZoom() const { return penScaleWithZoom_; }
    float penScaleFactor() const { return penScaleFactor_; }
    // After a new canvas: the pen preset again, global pen scale 1, the outline rebuilt.
    void toolsAfterNewCanvas();

    // ---- the window callbacks' side (InputRouting.cpp) ------------------------------------
    // Modifiers are the window layer's modifierState() bits.
    void keyDown(uint8_t key, int32_t windowModifiers);
    void keyUp(uint8_t key, int32_t windowModifiers);
    void specialKeyDown(int32_t key, int32_t x, int32_t y, int32_t windowModifiers);
    void specialKeyUp(int32_t key, int32_t windowModifiers);
    void mouseButton(int32_t button, int32_t buttonState, int32_t x, int32_t y, int32_t windowModifiers);
    void mouseMotion(int32_t x, int32_t y, int32_t windowModifiers);
    void passiveMotion(int32_t x, int32_t y);
    void pointerEntry(bool entered, int32_t windowModifiers);
    // Closes whichever of the interface's overlays is open (as a key or a menu command
    // does first); true when one was.
    bool closeOverlays();

    // ---- view navigation (ViewNavigation.cpp) ----------------------------------------------
    void viewStep(int32_t step);
    void mouseWheel(int32_t delta);
    void arrowKey(int32_t key);
    void flipCanvas(bool horizontally);
    void resetView();
    void fitAllStrokes();
    void touchGestureBegin(const TouchGestureInput& input);
    void touchGestureUpdate(const TouchGestureInput& input);
    void touchGestureEnd(const TouchGestureInput& input);
    const ViewManipulation& viewManipulation() const { return view_; }

    // ---- undo and redo (UndoRedoFlow.cpp) --------------------------------------------------
    void undo();
    void redo();
    void undoAll();                 // back to the first layer's creation
    void redoAll();
    void redoSeveral(int32_t count);

private:
    void initialiseTools();
    // Tools.cpp
    bool refusedOnHiddenLayer();
    void pressShape(const GfxSample& sample);
    void dragShapeTo(const GfxSample& corner, bool shift);
    void pressVertex(bool doubleClick, const GfxSample& sample);
    void pressSelectionTransform(const GfxSample& sample);
    void rebuildPlacedElement(const GfxSample* rubberBand);
    void endPlacedElement();
    void commitTransform();
    void returnToPreviousTool();
    void pickColour(const GfxSample& sample);
    void refreshBrushOutline();
    const PenPreset& currentPreset() const;
    PenPreset& currentPreset();
    void applyPresetToEngine(const PenPreset& preset, float scale);
    void usePreset(int32_t presetId, const PenPreset& preset);
    float currentPenWidth();
    bool currentLayerVisible();
    // InputRouting.cpp
    // ViewNavigation.cpp
    void beginToolGesture(const GfxSample& sample);
    void updateToolGesture(const GfxSample& sample);
    void endToolGesture(const GfxSample* sample);
    void endTouchGesture();
    void beginInstantGesture(const GfxGesture& gesture, bool onLayer);
    void penScaleAfterZoom(float viewScaleBefore);
    float currentViewScale();
    void noteCanvasViewChanged();
    // UndoRedoFlow.cpp
    bool undoVertex();
    bool redoVertex();
    void undoOnce();
    void redoOnce();
    GfxSketchAttributes historyState();

    ToolState tools_;
    ViewManipulation view_;
    // =====================================================================================
    // [TOOLS] end
    // =====================================================================================

private:
    DocumentController(WindowLayer& window);
    GfxSketch* createCanvas();
    // Replaces the canvas with an empty one with its first layer, as New does.
    void startEmptyCanvas();
    void applyArtHeader(const ArtHeader& header);
    void finishOpen(bool read, const std::string& path);
    void createFirstLayer();
    void loadPapers();

    WindowLayer& window_;
    GfxSystem* engine_ = nullptr;
    GfxSketch* canvas_ = nullptr;
    int32_t cleanFlag_ = 1;
    bool hasFileName_ = false;
    std::string fileName_;
    bool readByArtReader_ = false;
    int64_t fileTime_ = 0;
    int32_t documentFormat_ = 0;
    int32_t layerNameCounter_ = 1;
    int32_t layersAdded_ = 0;
    std::array<PaperEntry, kPaperCount> papers_;
    int32_t selectedPaper_ = 0;
    std::array<std::string, kRecentCapacity> recentFiles_;
    int32_t recentFileCount_ = 0;
    int32_t smoothingLevel_ = 0;
    bool penScaleWithZoom_ = false;
    float penScaleFactor_ = 1.0f;
    SystemCursor toolCursor_ = SystemCursor::Crosshair;
    MainWindowState windowState_;
    InterfaceState interfaceState_;
    std::vector<uint8_t> pickScratch_;

    // ---- [BEGIN layers and pins] (LayerOperations.h, Pins.h) ----------------------------
public:
    // The number the next default layer name carries ("Layer %d"): 1 at creation and
    // after new; the .art reader restores it with the document (at least 1).
    int32_t layerNameCounter() const { return layerNameCounter_; }
    void setLayerNameCounter(int32_t counter) { layerNameCounter_ = counter < 1 ? 1 : counter; }
    // Layers added since the canvas was created.
    int32_t layersAdded() const { return layersAdded_; }
    // A default-named layer was added: both counters go on.
    void countAddedLayer()
    {
        ++layersAdded_;
        if (layerNameCounter_ < INT32_MAX) ++layerNameCounter_;
    }
    LayerChangeListeners& layerListeners() { return layerListeners_; }
    PinList& pins() { return pins_; }

private:
    LayerChangeListeners layerListeners_;
    PinList pins_;
    // ---- [END layers and pins] --------------------------------------------------------

    // ---- [BEGIN selection] (Selection.h: saving the selection) --------------------------
public:
    // The paper entry chosen in the paper panel (0: none), as .art headers carry it.
    int32_t selectedPaper() const { return selectedPaper_; }
    // ---- [END selection] ----------------------------------------------------------------
};

// The process-wide controller: null before creation and after shutdown.
DocumentController* theController();
void setTheController(DocumentController* controller);
