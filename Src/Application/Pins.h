// Pins: named, saved views of the unbounded canvas.
//
// The user pins the current view and later jumps back to it. Pins belong to the
// document: the .art code reads and writes them (pinFileRecords, loadPinFileRecords),
// the pins panel lists them and the pin map shows them on the canvas. The list lives
// in the controller (DocumentController::pins()).
//
// Who calls what:
//   resetPins          the controller's creation, destruction, new and open
//   clearCurrentPin    every canvas view gesture (no pin stays highlighted once the
//                      user moves away from it)
//   gotoPin(index)     a click on a pin row or a pin-map marker
//   pinScreenPosition  the pin map overlay, to place its markers
//
// Commands (registered by registerLayerAndPinCommands, LayerOperations.h):
//   "hotkeyCreatePin", "hotkeyGotoNextPin" L, "hotkeyGotoPreviousPin" J,
//   "hotkeyGotoLastPin" Ctrl+L, "hotkeyGotoFirstPin" Ctrl+J, "hotkeyPinMap" A.
#pragma once

#include "ListenerList.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class CommandRegistry;
class DocumentController;

inline constexpr int32_t kMaxPins = 99;
// Characters of a pin name kept (the .art file converts at most this many).
inline constexpr std::size_t kPinNameMaxCharacters = 256;

inline constexpr const char* kPinLimitMessage = "The number of available pins has been exceeded";
inline constexpr const char* kPinMapLimitMessage =
    "Maximum point reached. Pan around to find pins or choose a pin from the list.";

struct Pin {
    std::string name;  // UTF-8; "Pin %d" until renamed
    // IMPORTANT: the sketch's view matrix (16 floats, column-major) at pinning with its
    // x and y translation lowered by half the window's width and height, so that the pin
    // names the canvas point in the window centre whatever size the window has when the
    // user returns. The .art file stores exactly this matrix.
    float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

// What the pin listeners (the pins panel's rows, the pin map) are told, with an index.
enum class PinNotice : int32_t {
    Current,  // the current pin changed: its index, or -1 for none
    Added,    // a pin was appended at the index
    Removed,  // the pin at the index is gone
    Renamed,  // the pin at the index has a new name
    Moved,    // a pin was moved to the index
};
using PinListeners = ListenerList<PinNotice, int32_t>;

// How a jump to a pin meets the rest of the view navigation. The view navigation
// installs its own: a reset that also keeps the pen scale, and pen scaling with zoom.
struct PinViewHooks {
    // Resets the view before a pin is applied. Empty: the engine's plain reset.
    std::function<void()> resetView;
    // The view's scale was multiplied by `ratio` (a jump to a pin, the pin map). Empty: nothing.
    std::function<void(float ratio)> viewScaled;
};

struct PinList {
    std::vector<Pin> pins;   // at most kMaxPins, in the user's order
    int32_t current = -1;    // index of the current pin, -1 for none
    int32_t nextNumber = 1;  // the number the next default name carries; 1 after every reset
    bool mapShown = false;   // the pin map overlay is open; the overlay closes it itself
    PinListeners listeners;
    PinViewHooks hooks;
};

// Pins the current view ("Pin %d"), makes it current. Refused with a warning at kMaxPins.
void createPin(DocumentController& controller);
// Applies the current pin to the view (with no current pin only tells the listeners -1).
void gotoCurrentPin(DocumentController& controller);
// Makes the pin at `index` current and applies it; false for an index out of range.
bool gotoPin(DocumentController& controller, int32_t index);
void gotoNextPin(DocumentController& controller);
void gotoPreviousPin(DocumentController& controller);
void gotoLastPin(DocumentController& controller);
void gotoFirstPin(DocumentController& controller);
// Fits every pin's centre into the window and opens the pin map overlay.
void pinMap(DocumentController& controller);
// Empties the list (telling the listeners), no current pin, numbering from 1 again.
void resetPins(DocumentController& controller);
// No pin is current any more (the view moved away from it).
void clearCurrentPin(DocumentController& controller);

// The pins panel's edits; false (nothing changed) for an index out of range.
bool renamePin(DocumentController& controller, int32_t index, const std::string& name);
bool deletePin(DocumentController& controller, int32_t index);
bool movePin(DocumentController& controller, int32_t from, int32_t to);

// Where the canvas point a pin names lies in the window now (pixels, y up).
// False for an index out of range.
bool pinScreenPosition(DocumentController& controller, int32_t index, float* x, float* y);

// ---- the .art file's pins section ------------------------------------------------
// One stored pin: its view (as Pin::view) and its name.
struct PinFileRecord {
    float view[16] = {};
    std::string name;
};
std::vector<PinFileRecord> pinFileRecords(const PinList& list);
// Replaces the list (reset first) with the records' pins: at most kMaxPins, names cut
// to kPinNameMaxCharacters, records whose view is not a finite invertible matrix left
// out. Default names go on after the highest "Pin %d" loaded.
void loadPinFileRecords(DocumentController& controller, const std::vector<PinFileRecord>& records);

// The same for any record type with `float view[16]` and `std::string name`
// (the .art code's own pin record).
template <class Record>
std::vector<Record> pinFileRecordsAs(const PinList& list)
{
    std::vector<Record> records;
    for (const PinFileRecord& source : pinFileRecords(list)) {
        Record record{};
        for (int i = 0; i < 16; ++i) record.view[i] = source.view[i];
        record.name = source.name;
        records.push_back(std::move(record));
    }
    return records;
}
template <class Record>
void loadPinFileRecordsFrom(DocumentController& controller, const std::vector<Record>& records)
{
    std::vector<PinFileRecord> converted;
    converted.reserve(records.size());
    for (const Record& source : records) {
        PinFileRecord record;
        for (int i = 0; i < 16; ++i) record.view[i] = source.view[i];
        record.name = source.name;
        converted.push_back(std::move(record));
    }
    loadPinFileRecords(controller, converted);
}

// Registers the pin commands (part of registerLayerAndPinCommands).
void registerPinCommands(CommandRegistry& registry);
