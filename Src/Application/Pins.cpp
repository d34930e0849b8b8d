#include "Pins.h"

#include "CommandRegistry.h"
#include "DocumentController.h"
#include "Fatal.h"
#include "Utf8Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

// [SECTION] Window and matrix helpers
// [SECTION] Creating and applying pins
// [SECTION] Navigation and the pin map
// [SECTION] Editing and resetting the list
// [SECTION] File records
// [SECTION] Commands

namespace {

// ---------------------------------------------------------------------------------------
// [SECTION] Window and matrix helpers
// ---------------------------------------------------------------------------------------

constexpr double kViewScaleLow = 1e-9;
constexpr double kViewScaleHigh = 50000.0;
constexpr int32_t kPinNumberLimit = 1000000000;

struct WindowSize {
    float width = 0;
    float height = 0;
};

// The client size as the engine's viewport holds it (the shell keeps the two equal).
WindowSize windowSize(DocumentController& controller)
{
    float viewport[4] = {0, 0, 0, 0};
    gfxGetViewport(controller.canvas(), viewport);
    return {viewport[2], viewport[3]};
}

bool validIndex(const PinList& list, int32_t index)
{
    return index >= 0 && index < static_cast<int32_t>(list.pins.size());
}

// The 2-D part of a column-major 4 x 4 matrix: x' = a x + c y + tx, y' = b x + d y + ty.
struct Affine {
    double a, b, c, d, tx, ty;
};
Affine affineOf(const float* m) { return {m[0], m[1], m[4], m[5], m[12], m[13]}; }
double determinant(const Affine& m) { return m.a * m.d - m.b * m.c; }

// The canvas point a pin names: the one its matrix takes to (0, 0), the window centre.
bool pinnedCanvasPoint(const Pin& pin, double* x, double* y)
{
    const Affine m = affineOf(pin.view);
    const double det = determinant(m);
    if (det == 0 || !std::isfinite(det)) return false;
    *x = (-m.d * m.tx + m.c * m.ty) / det;
    *y = (m.b * m.tx - m.a * m.ty) / det;
    return true;
}

float currentViewScale(DocumentController& controller)
{
    float matrix[16];
    float scale = 1.0f;
    gfxGetView(controller.canvas(), matrix, &scale);
    return scale;
}

// One view gesture, begun and ended at once.
void applyViewGesture(DocumentController& controller, const GfxGesture& gesture)
{
    gfxBeginViewGesture(controller.canvas(), &gesture);
    controller.checkEngine();
    gfxEndViewGesture(controller.canvas(), &gesture);
    controller.checkEngine();
}

// The canvas mirrored left to right about the window centre.
void flipViewHorizontally(DocumentController& controller, const WindowSize& size)
{
    GfxGesture flip;
    flip.kind = GFX_GESTURE_SCALE;
    flip.centreX = size.width / 2;
    flip.centreY = size.height / 2;
    flip.scaleX = -1.0f;
    flip.scaleY = 1.0f;
    applyViewGesture(controller, flip);
}

void resetView(DocumentController& controller)
{
    PinList& list = controller.pins();
    if (list.hooks.resetView) {
        list.hooks.resetView();
        return;
    }
    gfxResetView(controller.canvas());
    controller.checkEngine();
}

void reportViewScaled(DocumentController& controller, float ratio)
{
    if (controller.pins().hooks.viewScaled) controller.pins().hooks.viewScaled(ratio);
}

void warn(DocumentController& controller, const char* text)
{
    showMessage(&controller, text, "Warning", MESSAGE_WARNING);
}

void goAndRedraw(DocumentController& controller)
{
    gotoCurrentPin(controller);
    controller.requestRedraw();
}

// The number of a default name "Pin %d", or 0.
int32_t defaultNameNumber(const std::string& name)
{
    static constexpr std::string_view prefix = "Pin ";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return 0;
    int64_t number = 0;
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size();
    auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc() || end != last || number < 1) return 0;
    return static_cast<int32_t>(std::min<int64_t>(number, kPinNumberLimit));
}

bool usableView(const float* view)
{
    for (int i = 0; i < 16; ++i)
        if (!std::isfinite(view[i])) return false;
    const double det = determinant(affineOf(view));
    return det != 0 && std::isfinite(det);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// [SECTION] Creating and applying pins
// ---------------------------------------------------------------------------------------

void createPin(DocumentController& controller)
{
    PinList& list = controller.pins();
    if (static_cast<int32_t>(list.pins.size()) >= kMaxPins) {
        warn(controller, kPinLimitMessage);
        return;
    }
    controller.markChanged();
    Pin pin;
    float scale = 1.0f;
    gfxGetView(controller.canvas(), pin.view, &scale);
    const WindowSize size = windowSize(controller);
    pin.view[12] -= size.width / 2;
    pin.view[13] -= size.height / 2;
    pin.name = "Pin " + std::to_string(list.nextNumber);
    if (list.nextNumber < kPinNumberLimit) ++list.nextNumber;
    list.pins.push_back(pin);
    const int32_t index = static_cast<int32_t>(list.pins.size()) - 1;
    list.listeners.notify(PinNotice::Added, index);
    list.current = index;
    goAndRedraw(controller);
}

void gotoCurrentPin(DocumentController& controller)
{
    PinList& list = controller.pins();
    if (list.current < 0) {
        list.listeners.notify(PinNotice::Current, -1);
        return;
    }
    if (!validIndex(list, list.current)) return;

    // Back into window terms for the window as it is now.
    const WindowSize size = windowSize(controller);
    float matrix[16];
    std::copy(std::begin(list.pins[list.current].view), std::end(list.pins[list.current].view), matrix);
    matrix[12] += size.width / 2;
    matrix[13] += size.height / 2;

    controller.finishInteraction();
    resetView(controller);

    // A mirrored view is an unmirrored one followed by a left-right flip about the
    // window centre; the flip undoes itself, so the unmirrored part is the flip of the
    // matrix. Told by the determinant, which also catches a mirror turned by 90 degrees
    // (where both diagonal terms are 0).
    const bool mirrored = determinant(affineOf(matrix)) < 0;
    if (mirrored) {
        matrix[0] = -matrix[0];
        matrix[4] = -matrix[4];
        matrix[8] = -matrix[8];
        matrix[12] = size.width - matrix[12];
    }
    GfxGesture gesture;
    gfxGestureFromMatrix(matrix, &gesture);
    applyViewGesture(controller, gesture);
    if (mirrored) flipViewHorizontally(controller, size);

    reportViewScaled(controller, gesture.scaleX);
    list.listeners.notify(PinNotice::Current, list.current);
}

bool gotoPin(DocumentController& controller, int32_t index)
{
    PinList& list = controller.pins();
    if (!validIndex(list, index)) return false;
    list.current = index;
    goAndRedraw(controller);
    return true;
}

// ---------------------------------------------------------------------------------------
// [SECTION] Navigation and the pin map
// ---------------------------------------------------------------------------------------

void gotoNextPin(DocumentController& controller)
{
    PinList& list = controller.pins();
    const int32_t count = static_cast<int32_t>(list.pins.size());
    if (list.current < 0) list.current = count > 0 ? 0 : -1;
    else if (list.current < count - 1) ++list.current;
    goAndRedraw(controller);
}

void gotoPreviousPin(DocumentController& controller)
{
    PinList& list = controller.pins();
    const int32_t count = static_cast<int32_t>(list.pins.size());
    if (list.current < 0) list.current = count - 1;
    else if (list.current > 0) --list.current;
    goAndRedraw(controller);
}

void gotoLastPin(DocumentController& controller)
{
    PinList& list = controller.pins();
    list.current = static_cast<int32_t>(list.pins.size()) - 1;
    goAndRedraw(controller);
}

void gotoFirstPin(DocumentController& controller)
{
    PinList& list = controller.pins();
    list.current = list.pins.empty() ? -1 : 0;
    goAndRedraw(controller);
}

bool pinScreenPosition(DocumentController& controller, int32_t index, float* x, float* y)
{
    PinList& list = controller.pins();
    if (!validIndex(list, index)) return false;
    double canvasX = 0;
    double canvasY = 0;
    if (!pinnedCanvasPoint(list.pins[static_cast<size_t>(index)], &canvasX, &canvasY)) return false;
    float matrix[16];
    float scale = 1.0f;
    gfxGetView(controller.canvas(), matrix, &scale);
    const Affine view = affineOf(matrix);
    *x = static_cast<float>(view.a * canvasX + view.c * canvasY + view.tx);
    *y = static_cast<float>(view.b * canvasX + view.d * canvasY + view.ty);
    return true;
}

namespace {

struct Box {
    double x = 0, y = 0, width = 0, height = 0;
};

// Fits the box into the window as "View All Strokes" fits the strokes: the box fills
// the window in its tighter direction, its centre at the window centre.
void fitBoxIntoWindow(DocumentController& controller, const Box& box)
{
    const WindowSize size = windowSize(controller);
    if (size.width <= 0 || size.height <= 0) {
        warn(controller, kPinMapLimitMessage);
        return;
    }
    // Pins in a row (or a column) still fit: a side of 0 does not limit the scale.
    const double byWidth = box.width > 0 ? size.width / box.width : std::numeric_limits<double>::infinity();
    const double byHeight = box.height > 0 ? size.height / box.height : std::numeric_limits<double>::infinity();
    const double scale = std::min(byWidth, byHeight);

    controller.finishInteraction();
    const float before = currentViewScale(controller);
    const double resulting = std::fabs(static_cast<double>(before) * scale);
    const bool inRange = resulting > kViewScaleLow && resulting < kViewScaleHigh;

    const float centreX = static_cast<float>(box.x + box.width / 2);
    const float centreY = static_cast<float>(box.y + box.height / 2);
    GfxGesture zoom;
    zoom.kind = GFX_GESTURE_ZOOM;
    zoom.centreX = centreX;
    zoom.centreY = centreY;
    zoom.scaleX = static_cast<float>(scale);
    applyViewGesture(controller, zoom);
    GfxGesture toOrigin;
    toOrigin.kind = GFX_GESTURE_PAN;
    toOrigin.translateX = -centreX;
    toOrigin.translateY = -centreY;
    applyViewGesture(controller, toOrigin);
    GfxGesture toCentre;
    toCentre.kind = GFX_GESTURE_PAN;
    toCentre.translateX = size.width / 2;
    toCentre.translateY = size.height / 2;
    applyViewGesture(controller, toCentre);

    controller.markChanged();
    clearCurrentPin(controller);
    const float after = currentViewScale(controller);
    if (before != 0) reportViewScaled(controller, after / before);
    controller.requestRedraw();
    if (!inRange) warn(controller, kPinMapLimitMessage);
}

}  // namespace

void pinMap(DocumentController& controller)
{
    PinList& list = controller.pins();
    bool any = false;
    double left = 0, bottom = 0, right = 0, top = 0;
    for (int32_t index = 0; index < static_cast<int32_t>(list.pins.size()); ++index) {
        float x = 0, y = 0;
        if (!pinScreenPosition(controller, index, &x, &y)) continue;
        if (!any) {
            left = right = x;
            bottom = top = y;
            any = true;
        }
        left = std::min<double>(left, x);
        right = std::max<double>(right, x);
        bottom = std::min<double>(bottom, y);
        top = std::max<double>(top, y);
    }
    if (!any) return;
    const Box box{left, bottom, right - left, top - bottom};
    // One pin (or pins on one spot) has nothing to fit, but its marker is still shown.
    if (box.width > 0 || box.height > 0) fitBoxIntoWindow(controller, box);
    list.mapShown = true;
    controller.requestRedraw();
}

// ---------------------------------------------------------------------------------------
// [SECTION] Editing and resetting the list
// ---------------------------------------------------------------------------------------

void resetPins(DocumentController& controller)
{
    PinList& list = controller.pins();
    list.current = -1;
    list.listeners.notify(PinNotice::Current, -1);
    while (!list.pins.empty()) {
        list.listeners.notify(PinNotice::Removed, static_cast<int32_t>(list.pins.size()) - 1);
        list.pins.pop_back();
    }
    list.nextNumber = 1;
    list.mapShown = false;
}

void clearCurrentPin(DocumentController& controller)
{
    PinList& list = controller.pins();
    list.current = -1;
    list.listeners.notify(PinNotice::Current, -1);
}

bool renamePin(DocumentController& controller, int32_t index, const std::string& name)
{
    PinList& list = controller.pins();
    if (!validIndex(list, index)) return false;
    list.pins[static_cast<size_t>(index)].name =
        utf8Prefix(name, std::numeric_limits<std::size_t>::max(), kPinNameMaxCharacters);
    controller.markChanged();
    list.listeners.notify(PinNotice::Renamed, index);
    controller.requestRedraw();
    return true;
}

bool deletePin(DocumentController& controller, int32_t index)
{
    PinList& list = controller.pins();
    if (!validIndex(list, index)) return false;
    list.pins.erase(list.pins.begin() + index);
    if (list.current == index) list.current = -1;
    else if (list.current > index) --list.current;
    controller.markChanged();
    list.listeners.notify(PinNotice::Removed, index);
    list.listeners.notify(PinNotice::Current, list.current);
    controller.requestRedraw();
    return true;
}

bool movePin(DocumentController& controller, int32_t from, int32_t to)
{
    PinList& list = controller.pins();
    if (!validIndex(list, from) || !validIndex(list, to)) return false;
    Pin moved = list.pins[static_cast<size_t>(from)];
    list.pins.erase(list.pins.begin() + from);
    list.pins.insert(list.pins.begin() + to, moved);
    list.current = to;
    controller.markChanged();
    list.listeners.notify(PinNotice::Moved, to);
    list.listeners.notify(PinNotice::Current, to);
    controller.requestRedraw();
    return true;
}

// ---------------------------------------------------------------------------------------
// [SECTION] File records
// ---------------------------------------------------------------------------------------

std::vector<PinFileRecord> pinFileRecords(const PinList& list)
{
    std::vector<PinFileRecord> records;
    records.reserve(list.pins.size());
    for (const Pin& pin : list.pins) {
        PinFileRecord record;
        std::copy(std::begin(pin.view), std::end(pin.view), record.view);
        record.name = pin.name;
        records.push_back(std::move(record));
    }
    return records;
}

void loadPinFileRecords(DocumentController& controller, const std::vector<PinFileRecord>& records)
{
    resetPins(controller);
    PinList& list = controller.pins();
    int32_t highestNumber = 0;
    for (const PinFileRecord& record : records) {
        if (static_cast<int32_t>(list.pins.size()) >= kMaxPins) break;
        // A pin that names no point could never be returned to.
        if (!usableView(record.view)) continue;
        Pin pin;
        std::copy(std::begin(record.view), std::end(record.view), pin.view);
        pin.name = utf8Prefix(record.name, std::numeric_limits<std::size_t>::max(), kPinNameMaxCharacters);
        highestNumber = std::max(highestNumber, defaultNameNumber(pin.name));
        list.pins.push_back(std::move(pin));
        list.listeners.notify(PinNotice::Added, static_cast<int32_t>(list.pins.size()) - 1);
    }
    // New pins never take a default name an opened pin already carries.
    const int32_t count = static_cast<int32_t>(list.pins.size());
    list.nextNumber = std::min(std::max(highestNumber, count), kPinNumberLimit - 1) + 1;
}

// ---------------------------------------------------------------------------------------
// [SECTION] Commands
// ---------------------------------------------------------------------------------------

void registerPinCommands(CommandRegistry& registry)
{
    static constexpr struct {
        const char* name;
        void (*operation)(DocumentController&);
    } kPinCommands[] = {
        {"hotkeyCreatePin", createPin},
        {"hotkeyGotoNextPin", gotoNextPin},
        {"hotkeyGotoPreviousPin", gotoPreviousPin},
        {"hotkeyGotoLastPin", gotoLastPin},
        {"hotkeyGotoFirstPin", gotoFirstPin},
        {"hotkeyPinMap", pinMap},
    };
    for (const auto& command : kPinCommands) {
        auto operation = command.operation;
        registry.registerCommand(command.name, [operation](const char*) {
            if (DocumentController* controller = theController()) operation(*controller);
        });
    }
}
