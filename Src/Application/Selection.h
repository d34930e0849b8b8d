// Selection: the marquee's operations, the floating selection, the open transform
// rectangle's handles and the overlay that shows them.
//
// The marquee (ToolId 0, dragged out in Tools.cpp) selects an axis-aligned rectangle
// of the window. On it the user can copy, cut, paste into a new layer, save the
// region as a document, and lift it into a floating selection (ToolId 15) that the
// handles move, scale and rotate until a press outside commits it. Squares, circles
// and placed images (ToolIds 5, 6, 14) use the same handles while they stay open.
// The engine does the stroke work (gfxCopyRegion, gfxCutRegion, gfxPasteClipboard,
// gfxLiftRegion, gfxUpdatePaste, gfxCommitPaste); refusals are "Warning" boxes that
// change nothing, engine errors are fatal.
//
// Who calls what:
//   press / drag / release / hover (Tools.cpp)   pressTransformHandle, dragTransformHandle,
//                                                endTransformHandleDrag, hoverTransform
//   Shell::drawFrame, after the canvas           drawSelectionOverlay
//   the shell's start-up, step 21                registerSelectionCommands
//   the menu dispatch                            runSelectionMenuItem
//
// Commands: "menuDeselectSelection" 10028, "menuCutSelection" 10029,
// "menuCopySelection" 10030, "menuPasteSelection" 10031, "menuTransformSelection"
// 10032, "menuImportImage" 10008 (ImageImport.h); save selection is identifier 10006.
#pragma once

#include "Gfx.h"
#include "ShapeTransform.h"

#include <cstdint>

class CommandRegistry;
class DocumentController;
struct TransformInProgress;

inline constexpr const char* kSelectionRectangleEmptyMessage =
    "The requested operation cannot be performed because the selection rectangle is empty";
inline constexpr const char* kSelectionBufferEmptyMessage =
    "The requested operation cannot be performed because the selection buffer is empty";
inline constexpr const char* kSelectionRegionEmptyMessage =
    "The requested operation cannot be performed because the selection region is empty";
inline constexpr const char* kSaveSelectionEmptyMessage =
    "The selection cannot be saved because the selection rectangle is empty";
inline constexpr const char* kSaveSelectionPinsNotice = "Saving selection does not save pins. Sorry.";

// ---- the marquee's operations ---------------------------------------------------------
// Copies what meets the shown marquee on the current layer to the clipboard.
void copySelection(DocumentController& controller);
// Copy, then erase the marquee's region from the current layer; hides the marquee.
void cutSelection(DocumentController& controller);
// The clipboard on a new layer in the middle of the window, then the layer-pan tool.
void pasteSelection(DocumentController& controller);
// Lifts the marquee's region into a floating selection (ToolId 15) with the handles.
void transformSelection(DocumentController& controller);
// Hides the marquee and commits or ends whatever transform is open.
void deselect(DocumentController& controller);
// Writes the marquee's region as an .art document ("Save Canvas Selection As"); the
// document's own name and cleanFlag stay as they are.
void saveSelection(DocumentController& controller);

// ---- the open rectangle's handles (the tools call these) ------------------------------
TransformRect transformRectOf(const TransformInProgress& transform);
// A press on a handle of the open rectangle starts its drag and enters `interaction`
// (INTERACTION_SHAPE_TRANSFORM or INTERACTION_SELECTION_TRANSFORM); false when the
// press is outside the handles (or nothing is open).
bool pressTransformHandle(DocumentController& controller, const GfxSample& sample, int32_t interaction);
// Applies the handle drag and sends the rectangle on; the cursor follows the handle
// under the pointer except while rotating.
void dragTransformHandle(DocumentController& controller, int32_t modifiers, const GfxSample& sample);
// The release: the last drag step, and the drag is over.
void endTransformHandleDrag(DocumentController& controller, int32_t modifiers, const GfxSample& sample);
// Pointer motion with no button: the cursor of the handle under the pointer.
void hoverTransform(DocumentController& controller, const GfxSample& sample);
// Sends the transform rectangle: gfxUpdatePaste for a floating selection,
// gfxExtendElement for a shape or image.
void sendTransform(DocumentController& controller);

// ---- drawing ----------------------------------------------------------------------------
// The marquee (and the open transform rectangle) over the canvas: a 1-pixel outline
// drawn twice with line stipple, white dashes then black ones, in an orthographic
// projection of the viewport. Leaves the GL state as it found it.
void drawSelectionOverlay(DocumentController& controller);

// ---- commands -----------------------------------------------------------------------------
// Runs the action of a menu identifier (10006, 10008, 10028 to 10032); false for others.
bool runSelectionMenuItem(DocumentController& controller, int32_t identifier);
// Registers the selection commands and "menuImportImage" with handlers acting on theController().
void registerSelectionCommands(CommandRegistry& registry);
