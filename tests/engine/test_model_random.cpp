// Long random sequences of operations checked after every step against a small
// independent model of what must be visible: which elements each layer draws (by
// id), the layer order, the current layer, and the undo steps. Also checks that
// every layer is held by exactly what refers to it and released exactly once.
//
// Elements carry their id as the y of their first point (or centre). Copies and
// cuts cover a huge rectangle, so they take a layer's whole visible content; views
// and layers only zoom in about points of the viewport, so a later copy rectangle
// always lies inside every earlier cut.
#include "EngineTestSupport.h"
#include "GlTestContext.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <string>

namespace {

constexpr float HUGE_CORNER = -1.0e6f;
constexpr float HUGE_SIZE = 2.0e6f;
constexpr int32_t MAX_LAYERS = 10;

// ----------------------------------------------------------------------------------
// The independent model
// ----------------------------------------------------------------------------------
struct ModelState {
    std::vector<int32_t> order;                    // layer ids (the engine's slots), bottom first
    std::map<int32_t, std::vector<int32_t>> shown; // element ids drawn by each layer
    int32_t current = -1;
};

struct ModelStep {
    ModelState after;
    int32_t currentBefore = -1;  // the current layer when the step was made
    int32_t kind = 0;
    bool structural = false;     // changes which layer is current on undo and redo
    bool joinsPrevious = false;  // a moved paste right after a cut: one undo step with it
};

struct Model {
    ModelState state;
    std::vector<ModelState> states{ModelState{}};  // states[i]: after i steps
    std::vector<ModelStep> steps;
    int32_t position = 0;
    std::optional<std::vector<int32_t>> clipboard;

    bool hasCurrent() const { return state.current >= 0 && state.current < static_cast<int32_t>(state.order.size()); }
    std::vector<int32_t>& currentShown() { return state.shown[state.order[state.current]]; }

    // `state` is the state after the step; `currentBefore` where the user was.
    void enter(int32_t kind, bool structural, bool joinsPrevious = false)
    {
        steps.resize(static_cast<size_t>(position));
        states.resize(static_cast<size_t>(position) + 1);
        steps.push_back({state, currentBefore, kind, structural, joinsPrevious});
        states.push_back(state);
        ++position;
    }
    void dropFuture()
    {
        steps.resize(static_cast<size_t>(position));
        states.resize(static_cast<size_t>(position) + 1);
    }
    int32_t currentBefore = -1;

    void moveTo(int32_t target, bool structural)
    {
        const int32_t keep = state.current;
        state = states[static_cast<size_t>(target)];
        if (!structural) state.current = keep;
        position = target;
    }
    void undo()
    {
        if (position == 0) return;
        const ModelStep& step = steps[static_cast<size_t>(position - 1)];
        const int32_t target = step.joinsPrevious ? position - 2 : position - 1;
        moveTo(target, false);
        if (step.structural) {
            // Undoing a layer step makes the layer it concerned current again: where
            // the user was then (a layer added above no valid current one: the top).
            const int32_t count = static_cast<int32_t>(state.order.size());
            const int32_t c = step.currentBefore;
            state.current = c >= 0 && c < count ? c : count - 1;
        }
    }
    void redo()
    {
        if (position >= static_cast<int32_t>(steps.size())) return;
        int32_t target = position + 1;
        bool structural = steps[static_cast<size_t>(position)].structural;
        if (steps[static_cast<size_t>(position)].kind == GFX_RECORD_REGION_CUT &&
            target < static_cast<int32_t>(steps.size()) && steps[static_cast<size_t>(target)].joinsPrevious) {
            structural |= steps[static_cast<size_t>(target)].structural;
            ++target;
        }
        moveTo(target, structural);
    }
    int32_t previousKind() const { return position > 0 ? steps[static_cast<size_t>(position - 1)].kind : 0; }
};

// ----------------------------------------------------------------------------------
// Reading the engine
// ----------------------------------------------------------------------------------
int32_t elementId(const GfxLayer* layer, int32_t index)
{
    const GfxRecordEntry entry = *gfxRecordAt(layer, index);
    switch (entry.type) {
    case GFX_RECORD_LINE: return static_cast<int32_t>(gfxReadPayload<GfxLineRecord>(layer, entry).start.y);
    case GFX_RECORD_RECTANGLE:
    case GFX_RECORD_ELLIPSE: return static_cast<int32_t>(gfxReadPayload<GfxShapeRecord>(layer, entry).centreY);
    case GFX_RECORD_IMAGE: return static_cast<int32_t>(gfxReadPayload<GfxImageRecord>(layer, entry).centreY);
    default: return static_cast<int32_t>(pointsOf(layer, index)[0].y);
    }
}

// What a layer draws: its live elements, with merged and pasted layers inside, after
// the last cut (every cut here erases everything before it).
std::vector<int32_t> shownBy(const GfxSketch* sketch, const GfxLayer* layer)
{
    std::vector<int32_t> shown;
    for (int32_t i = layer->baseIndex; i < layer->records.cursor; ++i) {
        const GfxRecordEntry entry = *gfxRecordAt(layer, i);
        if (gfxIsElementType(entry.type)) shown.push_back(elementId(layer, i));
        else if (entry.type == GFX_RECORD_REGION_CUT) shown.clear();
        else if (entry.type == GFX_RECORD_LAYER_MERGED || entry.type == GFX_RECORD_CLIPBOARD_PASTED) {
            const int32_t slot = entry.type == GFX_RECORD_LAYER_MERGED
                                     ? gfxReadPayload<GfxMergeRecord>(layer, entry).mergedSlot
                                     : gfxReadPayload<GfxPasteRecord>(layer, entry).pastedSlot;
            const GfxLayer* held = gfxLayerAtSlot(sketch, slot);
            if (!held) {
                ADD_FAILURE() << "record " << i << " holds a released layer " << slot;
                continue;
            }
            const std::vector<int32_t> inner = shownBy(sketch, held);
            shown.insert(shown.end(), inner.begin(), inner.end());
        }
    }
    return shown;
}

int32_t tableLayers(const GfxSketch* sketch)
{
    int32_t count = 0;
    for (int32_t slot = 0; slot < sketch->layerTable.count; ++slot) count += gfxLayerAtSlot(sketch, slot) ? 1 : 0;
    return count;
}

// Every layer's refCount equals its holders: the order and the live merge and paste
// records of all layers. With no future to redo, a layer nobody holds must be a
// deleted one that an undo can bring back; anything else should have been released.
void checkHolders(const GfxSketch* sketch, const std::string& where)
{
    std::map<int32_t, int32_t> holders;
    for (int32_t p = 0; p < sketch->layerCount; ++p) ++holders[sketch->layerOrder[p]];
    for (int32_t slot = 0; slot < sketch->layerTable.count; ++slot) {
        const GfxLayer* layer = gfxLayerAtSlot(sketch, slot);
        if (!layer) continue;
        for (int32_t i = 0; i < layer->records.cursor; ++i) {
            const GfxRecordEntry entry = *gfxRecordAt(layer, i);
            if (entry.type == GFX_RECORD_LAYER_MERGED) ++holders[gfxReadPayload<GfxMergeRecord>(layer, entry).mergedSlot];
            if (entry.type == GFX_RECORD_CLIPBOARD_PASTED)
                ++holders[gfxReadPayload<GfxPasteRecord>(layer, entry).pastedSlot];
        }
    }
    const bool noFuture = sketch->history.cursor == sketch->history.count;
    for (int32_t slot = 0; slot < sketch->layerTable.count; ++slot) {
        const GfxLayer* layer = gfxLayerAtSlot(sketch, slot);
        if (!layer) {
            EXPECT_EQ(holders[slot], 0) << where << ": a released layer is still held, slot " << slot;
            continue;
        }
        EXPECT_EQ(layer->refCount, holders[slot]) << where << ": slot " << slot;
        if (noFuture && layer->refCount <= 0) {
            bool deleted = false;
            for (int32_t i = 0; i < sketch->history.cursor; ++i) {
                const GfxHistoryEntry entry = *gfxHistoryAt(sketch, i);
                deleted |= entry.kind == GFX_HISTORY_LAYER_DELETED && entry.slot == slot;
            }
            EXPECT_TRUE(deleted) << where << ": slot " << slot << " can never come back but was not released";
        }
    }
}

// ----------------------------------------------------------------------------------
// The run
// ----------------------------------------------------------------------------------
class RandomRun {
public:
    explicit RandomRun(uint32_t seed) : random_(seed)
    {
        system_ = gfxCreateSystemWithAllocator(CountingAllocator::allocator());
        sketch_ = gfxCreateSketch(system_, nullptr);
        gfxSetViewport(sketch_, 0, 0, 256, 256);
    }
    ~RandomRun()
    {
        gfxDestroySketch(sketch_);
        if (GfxSketch* clip = gfxSketchById(system_, system_->clipSketch)) gfxDestroySketch(clip);
        EXPECT_EQ(system_->layersCreated, system_->layersReleased);
        gfxDestroySystem(system_);
    }

    void step(int32_t number)
    {
        model_.currentBefore = model_.state.current;
        const std::string name = operate();
        const std::string where = "step " + std::to_string(number) + " (" + name + ")";
        ASSERT_EQ(gfxGetLastError(system_), expectedError_) << where;
        check(where);
    }

private:
    int32_t pick(int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random_); }
    float pickFloat(float low, float high) { return std::uniform_real_distribution<float>(low, high)(random_); }

    // Elements on a layer need one; otherwise the engine says 6 and nothing happens.
    bool needCurrent()
    {
        if (model_.hasCurrent()) return true;
        expectedError_ = GFX_ERR_INVALID;
        return false;
    }

    void drewElement()
    {
        model_.currentShown().push_back(nextId_);
        model_.enter(GFX_RECORD_FREEHAND, false);
        ++nextId_;
    }

    std::string drawSomething()
    {
        const float id = static_cast<float>(nextId_);
        const float x = pickFloat(0, 200);
        const int32_t kind = pick(0, 19);
        std::string name;
        if (kind < 12) {
            name = "stroke";
            drawStroke(sketch_, {{x, id, 0.5f}, {x + 8, id + 2, 0.7f}, {x + 15, id - 1, 0.4f}, {x + 30, id, 0.5f}});
        } else if (kind < 14) {
            name = "line";
            drawElement(sketch_, GFX_ELEMENT_LINE, {{x, id, 1}, {x - 40, id + 5, 1}});
        } else if (kind < 16) {
            name = "polygon";
            drawElement(sketch_, pick(0, 1) ? GFX_ELEMENT_POLYGON : GFX_ELEMENT_MULTI_LINE,
                        {{x, id, 1}, {x + 10, id + 10, 1}, {x + 20, id, 1}});
        } else if (kind < 19) {
            name = "shape";
            const float rect[4] = {x, id, 20, 10};
            drawElement(sketch_, pick(0, 1) ? GFX_ELEMENT_RECTANGLE : GFX_ELEMENT_ELLIPSE, {}, rect, pickFloat(0, 90));
        } else {
            name = "image";
            const uint8_t pixels[4] = {10, 20, 30, 255};
            GfxElementInput image;
            image.kind = GFX_ELEMENT_IMAGE;
            image.rect[0] = x;
            image.rect[1] = id;
            image.rect[2] = image.rect[3] = 8;
            image.imageEncoding = GFX_IMAGE_RAW_RGBA;
            image.imageLength = 4;
            image.imageWidth = image.imageHeight = 1;
            image.imageData = pixels;
            gfxBeginElement(sketch_, &image);
            gfxEndElement(sketch_, &image);
        }
        if (needCurrent()) drewElement();
        return name;
    }

    std::string layerOperation()
    {
        ModelState& s = model_.state;
        const int32_t count = static_cast<int32_t>(s.order.size());
        switch (pick(0, 6)) {
        case 0:
        case 1: {
            if (count >= MAX_LAYERS) return "full";
            gfxAddLayer(sketch_, nullptr);
            GfxLayer* layer = gfxCurrentLayer(sketch_);
            layer->vertexSizeHint = 4096;  // keeps the test's GPU memory small
            const int32_t position = model_.hasCurrent() ? s.current + 1 : count;
            s.order.insert(s.order.begin() + position, layer->slot);
            s.shown[layer->slot] = {};
            s.current = position;
            model_.enter(GFX_HISTORY_LAYER_ADDED, true);
            return "add layer";
        }
        case 2: {
            gfxDeleteLayer(sketch_);
            if (!needCurrent()) return "delete layer";
            const int32_t position = s.current;
            s.order.erase(s.order.begin() + position);
            s.current = position > 0 ? position - 1 : (s.order.empty() ? -1 : 0);
            model_.enter(GFX_HISTORY_LAYER_DELETED, true);
            return "delete layer";
        }
        case 3: {
            const int32_t target = pick(0, count + 2);
            gfxMoveLayer(sketch_, target);
            if (!model_.hasCurrent()) return "move layer";
            const int32_t to = std::min(target, count - 1);
            if (to == s.current) return "move layer";
            const int32_t slot = s.order[s.current];
            s.order.erase(s.order.begin() + s.current);
            s.order.insert(s.order.begin() + to, slot);
            s.current = to;
            model_.enter(GFX_HISTORY_LAYER_MOVED, true);
            return "move layer";
        }
        case 4: {
            gfxMergeLayerDown(sketch_);
            if (!model_.hasCurrent() || s.current == 0) return "merge";
            const int32_t upper = s.order[s.current];
            const int32_t lower = s.order[s.current - 1];
            s.shown[lower].insert(s.shown[lower].end(), s.shown[upper].begin(), s.shown[upper].end());
            s.order.erase(s.order.begin() + s.current);
            --s.current;
            model_.enter(GFX_RECORD_LAYER_MERGED, true);
            return "merge";
        }
        case 5: {
            gfxClearLayer(sketch_);
            if (!needCurrent()) return "clear layer";
            model_.currentShown().clear();
            model_.enter(GFX_RECORD_LAYER_CLEARED, false);
            return "clear layer";
        }
        default: {
            if (pick(0, 3) != 0) {
                // Selecting another layer (no history step).
                GfxSketchAttributes select;
                select.flags = GFX_SKETCH_CURRENT_LAYER;
                select.currentLayer = count > 0 && pick(0, 9) != 0 ? pick(0, count - 1) : -1;
                gfxSetSketchAttributes(sketch_, &select);
                s.current = select.currentLayer;
                return "select layer";
            }
            gfxClearCanvas(sketch_);
            for (int32_t slot : s.order) s.shown[slot].clear();
            model_.enter(GFX_HISTORY_CANVAS_CLEARED, false);
            return "clear canvas";
        }
        }
    }

    std::string clipboardOperation()
    {
        const int32_t kind = pick(0, 5);
        if (kind == 0) {
            const int32_t copied = gfxCopyRegion(sketch_, HUGE_CORNER, HUGE_CORNER, HUGE_SIZE, HUGE_SIZE);
            if (!needCurrent()) return "copy";
            const bool something = !model_.currentShown().empty();
            EXPECT_EQ(copied, something ? 1 : 0);
            if (something) model_.clipboard = model_.currentShown();
            return "copy";
        }
        if (kind == 1) {
            const int32_t cut = gfxCutRegion(sketch_, HUGE_CORNER, HUGE_CORNER, HUGE_SIZE, HUGE_SIZE);
            if (!needCurrent()) return "cut";
            const bool something = !model_.currentShown().empty();
            EXPECT_EQ(cut, something ? 1 : 0);
            if (!something) return "cut";
            model_.clipboard = model_.currentShown();
            model_.currentShown().clear();
            model_.enter(GFX_RECORD_REGION_CUT, false);
            return "cut";
        }
        if (kind <= 3) {
            // A small offset from the copied corner: moved, and still inside later copies.
            gfxPasteClipboard(sketch_, HUGE_CORNER + pickFloat(1, 30), HUGE_CORNER + pickFloat(1, 30));
            if (!model_.clipboard) return "paste";
            if (!needCurrent()) return "paste";
            std::vector<int32_t>& shown = model_.currentShown();
            shown.insert(shown.end(), model_.clipboard->begin(), model_.clipboard->end());
            model_.enter(GFX_RECORD_CLIPBOARD_PASTED, false, model_.previousKind() == GFX_RECORD_REGION_CUT);
            return "paste";
        }
        const bool moved = kind == 4;
        const int32_t lifted =
            gfxLiftRegion(sketch_, HUGE_CORNER, HUGE_CORNER, HUGE_SIZE, HUGE_SIZE, HUGE_CORNER, HUGE_CORNER);
        if (!needCurrent()) return "lift";
        const bool something = !model_.currentShown().empty();
        EXPECT_EQ(lifted, something ? 1 : 0);
        if (!something) return "lift";
        const GfxPastePlacement placement{moved ? pickFloat(1, 20) : 0, moved ? pickFloat(1, 20) : 0, HUGE_SIZE,
                                          HUGE_SIZE, 0};
        gfxUpdatePaste(sketch_, &placement);
        gfxCommitPaste(sketch_, &placement);
        model_.clipboard = model_.currentShown();
        if (!moved) {
            model_.dropFuture();  // the lift entered the history, then left it again
            return "lift and cancel";
        }
        const std::vector<int32_t> shown = model_.currentShown();
        model_.currentShown().clear();
        model_.enter(GFX_RECORD_REGION_CUT, false);
        model_.currentShown() = shown;
        model_.enter(GFX_RECORD_CLIPBOARD_PASTED, false, true);
        return "lift, move and commit";
    }

    std::string gesture()
    {
        GfxGesture g;
        g.kind = GFX_GESTURE_ZOOM;  // zooming in only (see the top of the file)
        g.centreX = pickFloat(0, 256);
        g.centreY = pickFloat(0, 256);
        g.scaleX = g.scaleY = pickFloat(1.0f, 1.3f);
        if (pick(0, 1)) {
            gfxBeginViewGesture(sketch_, &g);
            gfxUpdateViewGesture(sketch_, &g);
            gfxEndViewGesture(sketch_, &g);
            return "view gesture";
        }
        gfxBeginLayerGesture(sketch_, &g);
        if (!needCurrent()) return "layer gesture";
        gfxUpdateLayerGesture(sketch_, &g);
        gfxEndLayerGesture(sketch_, &g);
        model_.enter(GFX_RECORD_LAYER_TRANSFORMED, false);
        return "layer gesture";
    }

    std::string operate()
    {
        expectedError_ = GFX_OK;
        const int32_t roll = pick(0, 99);
        if (roll < 30) return drawSomething();
        if (roll < 52) return layerOperation();
        if (roll < 66) return clipboardOperation();
        if (roll < 74) return gesture();
        if (roll < 88) {
            gfxUndo(sketch_);
            model_.undo();
            return "undo";
        }
        if (roll < 97) {
            gfxRedo(sketch_);
            model_.redo();
            return "redo";
        }
        gfxRedoAll(sketch_);
        while (model_.position < static_cast<int32_t>(model_.steps.size())) model_.redo();
        return "redo all";
    }

    void check(const std::string& where)
    {
        const ModelState& s = model_.state;
        ASSERT_EQ(orderSlots(sketch_), s.order) << where;
        ASSERT_EQ(sketch_->attributes.currentLayer, s.current) << where;
        ASSERT_EQ(sketch_->history.cursor, model_.position) << where;
        ASSERT_EQ(sketch_->history.count, static_cast<int32_t>(model_.steps.size())) << where;
        for (int32_t p = 0; p < sketch_->layerCount; ++p) {
            const GfxLayer* layer = gfxLayerAtPosition(sketch_, p);
            ASSERT_EQ(shownBy(sketch_, layer), s.shown.at(s.order[p])) << where << ", layer at " << p;
        }
        checkHolders(sketch_, where);
        GfxSketch* clip = gfxSketchById(system_, system_->clipSketch);
        const int64_t alive = tableLayers(sketch_) + (clip ? tableLayers(clip) : 0);
        ASSERT_EQ(system_->layersCreated - system_->layersReleased, alive) << where;
        if (model_.clipboard) {
            const GfxLayer* clipLayer = gfxLayerAtSlot(clip, system_->clipLayer);
            ASSERT_NE(clipLayer, nullptr);
            ASSERT_EQ(shownBy(clip, clipLayer), *model_.clipboard) << where;
        }
    }

    std::mt19937 random_;
    GfxSystem* system_ = nullptr;
    GfxSketch* sketch_ = nullptr;
    Model model_;
    int32_t nextId_ = 1;
    int32_t expectedError_ = GFX_OK;
};

class RandomModelTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(RandomModelTest, EveryStepMatchesTheModel)
{
    ASSERT_TRUE(glTestContextMakeCurrent());
    CountingAllocator::reset();
    {
        RandomRun run(GetParam());
        for (int32_t i = 0; i < 600 && !HasFatalFailure(); ++i) run.step(i);
    }
    EXPECT_EQ(CountingAllocator::liveBytes, 0);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomModelTest, ::testing::Range(1u, 13u));

}  // namespace
