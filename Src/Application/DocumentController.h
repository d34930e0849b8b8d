// DocumentController: the one object between the window and the canvas engine.
//
// It owns the engine system and the current canvas, the document's file identity
// and cleanFlag, the current tool and interaction, the recent files, the paper
// table, and the window and interface sub-records. The shell holds the only
// pointer to it (`theController()`), which every window callback tests for null.
#pragma once

#include "Gfx.h"
#include "LayerOperations.h"
#include "Pins.h"
#include "WindowLayer.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Window facts the controller keeps for the shell.
struct MainWindowState {
    int32_t clientWidth = 0;
    int32_t clientHeight = 0;
    int32_t left = 0;
    int32_t top = 0;
    bool maximised = false;
    int32_t cursorMode = 0;          // configured cursor mode
    int32_t currentCursorMode = 0;   // cursor mode in force
    bool showCursor = true;
    SystemCursor cursor = SystemCursor::Arrow;
    double doubleClickSeconds = 0.2;
    bool opacityEnabled = false;     // window-opacity switch
    float opacity = 0.5f;
    bool pointerInside = true;
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
    // Writes the canvas to `path`; false when it could not be written.
    bool saveDocument(const std::string& path);
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
    // Stops the program with `code` when the engine reports an error.
    void checkEngine();

private:
    DocumentController(WindowLayer& window);
    GfxSketch* createCanvas();
    void createFirstLayer();
    void loadPapers();
    void applyDefaultPaper();

    WindowLayer& window_;
    GfxSystem* engine_ = nullptr;
    GfxSketch* canvas_ = nullptr;
    int32_t cleanFlag_ = 1;
    bool hasFileName_ = false;
    std::string fileName_;
    bool readByArtReader_ = false;
    int64_t fileTime_ = 0;
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
};

// The process-wide controller: null before creation and after shutdown.
DocumentController* theController();
void setTheController(DocumentController* controller);
