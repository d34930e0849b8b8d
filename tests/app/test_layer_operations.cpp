// Layer operations on a real controller and engine: limits, refusals, names, moves,
// merges, flips, opacity, the commands, and undo through the engine.
#include "CanvasProbe.h"
#include "CommandRegistry.h"
#include "ControllerFixture.h"
#include "ErrorMessages.h"
#include "Fatal.h"
#include "LayerOperations.h"
#include "Shell.h"

#include <functional>
#include <limits>

namespace {

using probe::layerNames;
using probe::picture;

class LayerOperationsTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        controller = &create();
        Shell(window_).reshape(800, 600);
        window_.messages.clear();
        controller->layerListeners().add([this](const LayerChange& change) { changes.push_back(change); });
    }

    // Adds layers until the canvas holds `count`.
    void growTo(int32_t count)
    {
        while (probe::sketch(*controller, GFX_SKETCH_LAYER_COUNT).layerCount < count) ASSERT_TRUE(newLayer(*controller));
    }
    void expectOneWarning(const char* text)
    {
        ASSERT_EQ(window_.messages.size(), 1u);
        EXPECT_EQ(window_.messages[0].text, text);
        EXPECT_EQ(window_.messages[0].caption, "Warning");
        EXPECT_EQ(window_.messages[0].icon, MessageIcon::Warning);
        EXPECT_TRUE(window_.messages[0].owned);
    }
    int32_t undoKind() { return probe::sketch(*controller, GFX_SKETCH_UNDO_KIND).undoKind; }

    DocumentController* controller = nullptr;
    std::vector<LayerChange> changes;
};

void expectSamePicture(const probe::LayerPicture& actual, const probe::LayerPicture& expected, const char* when)
{
    EXPECT_EQ(actual.names, expected.names) << when;
    EXPECT_EQ(actual.current, expected.current) << when;
    EXPECT_EQ(actual.strokes, expected.strokes) << when;
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(actual.bounds[i], expected.bounds[i], 0.5f) << when << " bound " << i;
}

// ---------------------------------------------------------------------------------------
// New layer, the limit and the name counter
// ---------------------------------------------------------------------------------------

TEST_F(LayerOperationsTest, TheTwentiethLayerIsAcceptedAndTheTwentyFirstRefused)
{
    controller->markClean();
    for (int i = 2; i <= kMaxLayers; ++i) ASSERT_TRUE(newLayer(*controller)) << "layer " << i;
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_FALSE(controller->isClean());
    std::vector<std::string> names = layerNames(*controller);
    ASSERT_EQ(names.size(), 20u);
    EXPECT_EQ(names.back(), "Layer 20");
    EXPECT_EQ(probe::sketch(*controller, GFX_SKETCH_CURRENT_LAYER).currentLayer, 19);
    ASSERT_EQ(changes.size(), 19u);
    EXPECT_EQ(changes.back().kind, LayerChangeKind::Added);
    EXPECT_EQ(changes.back().position, 19);

    controller->markClean();
    controller->interfaceState().layersChanged = false;
    EXPECT_FALSE(newLayer(*controller));
    expectOneWarning(kLayerLimitMessage);
    EXPECT_EQ(layerNames(*controller), names);
    EXPECT_TRUE(controller->isClean());
    EXPECT_FALSE(controller->interfaceState().layersChanged);
    EXPECT_EQ(controller->layerNameCounter(), 21);  // a refused layer takes no number
    EXPECT_EQ(changes.size(), 19u);
}

TEST_F(LayerOperationsTest, DefaultNamesCountOnAcrossDeletionsAndStartAgainAfterNew)
{
    growTo(3);
    EXPECT_EQ(layerNames(*controller), (std::vector<std::string>{"Layer 1", "Layer 2", "Layer 3"}));
    probe::selectLayer(*controller, 1);
    deleteLayer(*controller);
    EXPECT_EQ(layerNames(*controller), (std::vector<std::string>{"Layer 1", "Layer 3"}));
    ASSERT_TRUE(newLayer(*controller));
    EXPECT_EQ(layerNames(*controller), (std::vector<std::string>{"Layer 1", "Layer 4", "Layer 3"}));
    EXPECT_EQ(controller->layersAdded(), 4);

    window_.messageAnswers = {MessageAnswer::No};  // "Save changes?"
    controller->newDocument();
    EXPECT_EQ(layerNames(*controller), (std::vector<std::string>{"Layer 1"}));
    ASSERT_TRUE(newLayer(*controller));
    EXPECT_EQ(layerNames(*controller), (std::vector<std::string>{"Layer 1", "Layer 2"}));
}

TEST_F(LayerOperationsTest, DeletingTheOnlyLayerLeavesOneEmptyLayerWithItsName)
{
    renameLayer(*controller, "Sky");
    probe::drawStroke(*controller, 100, 100);
    ASSERT_EQ(picture(*controller).strokes, 1);
    controller->markClean();

    deleteLayer(*controller);
    EXPECT_EQ(layerNames(*controller), (std::vector<std::string>{"Sky"}));
    EXPECT_EQ(picture(*controller).strokes, 0);
    EXPECT_EQ(picture(*controller).current, 0);
    EXPECT_FALSE(controller->isClean());
    EXPECT_TRUE(controller->interfaceState().layersChanged);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, LayerChangeKind::Cleared);

    gfxUndo(controller->canvas());  // the user gets the strokes back
    EXPECT_EQ(picture(*controller).strokes, 1);
}

TEST_F(LayerOperationsTest, DeletingRemovesTheCurrentLayerAndReportsItsPosition)
{
    growTo(3);
    probe::selectLayer(*controller, 2);
    deleteLayer(*controller);
    EXPECT_EQ(layerNames(*controller), (std::vector<std::string>{"Layer 1", "Layer 2"}));
    EXPECT_EQ(picture(*controller).current, 1);
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.back().kind, LayerChangeKind::Deleted);
    EXPECT_EQ(changes.back().position, 2);
}

// ---------------------------------------------------------------------------------------
// Moving
// ---------------------------------------------------------------------------------------

TEST_F(LayerOperationsTest, MovesSwapNeighboursAndDoNothingPastTheEnds)
{
    struct Case {
        const char* name;
        int32_t start;
        void (*move)(DocumentController&);
        std::vector<std::string> names;  // afterwards, bottom up
        int32_t current;
        bool changed;
    };
    const std::vector<Case> cases = {
        {"top up", 2, moveLayerUp, {"Layer 1", "Layer 2", "Layer 3"}, 2, false},
        {"bottom down", 0, moveLayerDown, {"Layer 1", "Layer 2", "Layer 3"}, 0, false},
        {"middle up", 1, moveLayerUp, {"Layer 1", "Layer 3", "Layer 2"}, 2, true},
        {"middle down", 1, moveLayerDown, {"Layer 2", "Layer 1", "Layer 3"}, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window_.messageAnswers = {MessageAnswer::No};
        controller->newDocument();
        growTo(3);
        probe::selectLayer(*controller, c.start);
        controller->markClean();
        controller->interfaceState().layersChanged = false;
        changes.clear();
        const int32_t undoBefore = undoKind();

        c.move(*controller);
        EXPECT_EQ(layerNames(*controller), c.names);
        EXPECT_EQ(picture(*controller).current, c.current);
        EXPECT_EQ(controller->isClean(), !c.changed);
        EXPECT_EQ(controller->interfaceState().layersChanged, c.changed);
        if (c.changed) {
            ASSERT_EQ(changes.size(), 1u);
            EXPECT_EQ(changes[0].kind, LayerChangeKind::Moved);
            EXPECT_EQ(changes[0].position, c.start);
            EXPECT_EQ(changes[0].target, c.current);
        } else {
            EXPECT_TRUE(changes.empty());
            EXPECT_EQ(undoKind(), undoBefore);  // nothing entered the history
        }
    }
}

// ---------------------------------------------------------------------------------------
// Merging, flipping, opacity, renaming
// ---------------------------------------------------------------------------------------

TEST_F(LayerOperationsTest, MergeDownJoinsTheCurrentLayerIntoTheOneBelow)
{
    probe::drawStroke(*controller, 100, 100);
    ASSERT_TRUE(newLayer(*controller));
    probe::drawStroke(*controller, 300, 200);
    changes.clear();
    mergeLayerDown(*controller);
    EXPECT_EQ(layerNames(*controller), (std::vector<std::string>{"Layer 1"}));
    EXPECT_EQ(picture(*controller).strokes, 2);
    EXPECT_EQ(picture(*controller).current, 0);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, LayerChangeKind::Merged);
    EXPECT_EQ(changes[0].position, 1);

    // The bottom layer has nothing to merge into: nothing happens, nothing is marked.
    controller->markClean();
    mergeLayerDown(*controller);
    EXPECT_TRUE(controller->isClean());
    EXPECT_EQ(changes.size(), 1u);
    EXPECT_TRUE(window_.messages.empty());
}

TEST_F(LayerOperationsTest, FlipsMirrorTheLayerAboutTheWindowCentre)
{
    // Both layers hold the same stroke from (100, 150) to (140, 150); only the current
    // one flips, so the drawing then spans the stroke and its mirror image.
    struct Case {
        FlipAxis axis;
        float left, bottom, right, top;  // of the whole drawing, pen width aside
    };
    const Case cases[] = {
        {FlipAxis::Horizontal, 100, 150, 700, 150},  // mirrored about x = 400
        {FlipAxis::Vertical, 100, 150, 140, 450},    // mirrored about y = 300
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.axis == FlipAxis::Horizontal ? "horizontal" : "vertical");
        window_.messageAnswers = {MessageAnswer::No};
        controller->newDocument();
        probe::drawStroke(*controller, 100, 150);
        ASSERT_TRUE(newLayer(*controller));
        probe::drawStroke(*controller, 100, 150);
        controller->markClean();
        controller->interfaceState().layersChanged = false;
        window_.messages.clear();

        flipLayer(*controller, c.axis);
        EXPECT_TRUE(window_.messages.empty());
        EXPECT_FALSE(controller->isClean());
        EXPECT_TRUE(controller->interfaceState().layersChanged);
        const probe::LayerPicture flipped = picture(*controller);
        const float pen = 3;  // half the pen width and the cells' filter margin
        EXPECT_NEAR(flipped.bounds[0], c.left, pen);
        EXPECT_NEAR(flipped.bounds[1], c.bottom, pen);
        EXPECT_NEAR(flipped.bounds[0] + flipped.bounds[2], c.right, pen);
        EXPECT_NEAR(flipped.bounds[1] + flipped.bounds[3], c.top, pen);
    }
}

TEST_F(LayerOperationsTest, AHiddenCurrentLayerRefusesEveryContentChange)
{
    struct Case {
        const char* name;
        std::function<void(DocumentController&)> operation;
    };
    const Case cases[] = {
        {"flip horizontally", [](DocumentController& c) { flipLayer(c, FlipAxis::Horizontal); }},
        {"flip vertically", [](DocumentController& c) { flipLayer(c, FlipAxis::Vertical); }},
        {"clear", [](DocumentController& c) { clearLayer(c); }},
        {"merge down", [](DocumentController& c) { mergeLayerDown(c); }},
        {"opacity", [](DocumentController& c) { EXPECT_EQ(setLayerOpacity(c, 0.25f), LAYER_OPACITY_REFUSED); }},
    };
    probe::drawStroke(*controller, 100, 100);
    ASSERT_TRUE(newLayer(*controller));
    probe::drawStroke(*controller, 300, 300);
    probe::setVisible(*controller, 1, false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window_.messages.clear();
        controller->markClean();
        changes.clear();
        const int32_t undoBefore = undoKind();
        probe::setVisible(*controller, 1, true);
        const probe::LayerPicture before = picture(*controller);
        probe::setVisible(*controller, 1, false);

        c.operation(*controller);
        expectOneWarning(kHiddenLayerMessage);
        EXPECT_TRUE(controller->isClean());
        EXPECT_TRUE(changes.empty());
        EXPECT_EQ(undoKind(), undoBefore);
        probe::setVisible(*controller, 1, true);
        expectSamePicture(picture(*controller), before, c.name);
        EXPECT_FLOAT_EQ(probe::layer(*controller, 1).opacity, 1.0f);
        probe::setVisible(*controller, 1, false);
    }
}

TEST_F(LayerOperationsTest, OpacityIsSetWithinZeroToOne)
{
    const struct {
        float value;
        float stored;
    } cases[] = {{0.4f, 0.4f}, {1.5f, 1.0f}, {-2.0f, 0.0f}, {std::numeric_limits<float>::quiet_NaN(), 0.0f}};
    for (const auto& c : cases) {
        controller->markClean();
        EXPECT_EQ(setLayerOpacity(*controller, c.value), LAYER_OPACITY_DONE);
        EXPECT_FLOAT_EQ(probe::layer(*controller, 0).opacity, c.stored) << c.value;
        EXPECT_FALSE(controller->isClean());
    }
}

TEST_F(LayerOperationsTest, RenameKeepsWholeCharactersWithinTheEnginesLimit)
{
    controller->markClean();
    renameLayer(*controller, "Inks");
    EXPECT_STREQ(probe::layer(*controller, 0).name, "Inks");
    EXPECT_FALSE(controller->isClean());

    std::string accented;
    for (int i = 0; i < 200; ++i) accented += "\xC3\xA9";  // 400 bytes of two-byte characters
    renameLayer(*controller, "x" + accented);
    const std::string stored = probe::layer(*controller, 0).name;
    EXPECT_EQ(stored.size(), 255u);  // "x" and 127 whole characters
    EXPECT_EQ(stored, "x" + accented.substr(0, 254));
}

// ---------------------------------------------------------------------------------------
// Undo through the engine
// ---------------------------------------------------------------------------------------

TEST_F(LayerOperationsTest, UndoAndRedoOfEachOperationGiveBackWhatTheUserSaw)
{
    struct Case {
        const char* name;
        std::function<void(DocumentController&)> operation;
    };
    const Case cases[] = {
        {"new layer", [](DocumentController& c) { newLayer(c); }},
        {"delete layer", [](DocumentController& c) { deleteLayer(c); }},
        {"delete the only layer", [](DocumentController& c) {
             deleteLayer(c);
             deleteLayer(c);
         }},
        {"clear layer", [](DocumentController& c) { clearLayer(c); }},
        {"move down", [](DocumentController& c) { moveLayerDown(c); }},
        {"merge down", [](DocumentController& c) { mergeLayerDown(c); }},
        {"flip horizontally", [](DocumentController& c) { flipLayer(c, FlipAxis::Horizontal); }},
        {"flip vertically", [](DocumentController& c) { flipLayer(c, FlipAxis::Vertical); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window_.messageAnswers = {MessageAnswer::No};
        controller->newDocument();
        probe::drawStroke(*controller, 100, 100);
        ASSERT_TRUE(newLayer(*controller));
        probe::drawStroke(*controller, 300, 250);
        const probe::LayerPicture before = picture(*controller);

        c.operation(*controller);
        const probe::LayerPicture after = picture(*controller);
        ASSERT_TRUE(after.names != before.names || after.strokes != before.strokes ||
                    after.bounds != before.bounds || after.current != before.current)
            << "the operation changed nothing";

        const int steps = std::string(c.name) == "delete the only layer" ? 2 : 1;
        for (int i = 0; i < steps; ++i) gfxUndo(controller->canvas());
        ASSERT_EQ(gfxGetLastError(controller->engine()), GFX_OK);
        expectSamePicture(picture(*controller), before, "after undo");
        for (int i = 0; i < steps; ++i) gfxRedo(controller->canvas());
        ASSERT_EQ(gfxGetLastError(controller->engine()), GFX_OK);
        expectSamePicture(picture(*controller), after, "after redo");
    }
}

// ---------------------------------------------------------------------------------------
// Engine errors and commands
// ---------------------------------------------------------------------------------------

TEST_F(LayerOperationsTest, AnEngineErrorStopsTheProgram)
{
    struct Case {
        const char* name;
        std::function<void(DocumentController&)> operation;
    };
    const Case cases[] = {
        {"new layer", [](DocumentController& c) { newLayer(c); }},
        {"delete layer", [](DocumentController& c) { deleteLayer(c); }},
        {"move down", [](DocumentController& c) { moveLayerDown(c); }},
        {"merge down", [](DocumentController& c) { mergeLayerDown(c); }},
        {"flip", [](DocumentController& c) { flipLayer(c, FlipAxis::Horizontal); }},
    };
    ASSERT_TRUE(newLayer(*controller));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A stroke left open behind the controller's back: the engine refuses every change.
        GfxSample sample{10, 10, 1};
        GfxElementInput input;
        input.sampleCount = 1;
        input.samples = &sample;
        gfxBeginElement(controller->canvas(), &input);
        window_.messages.clear();
        EXPECT_THROW(c.operation(*controller), ScriptedExit);
        ASSERT_FALSE(window_.messages.empty());
        EXPECT_EQ(window_.messages[0].text.rfind(messageFor(GFX_ERR_ELEMENT_ACTIVE), 0), 0u);
        gfxEndElement(controller->canvas(), &input);
    }
}

TEST_F(LayerOperationsTest, MenuCommandsAndIdentifiersRunTheOperations)
{
    CommandRegistry registry;
    registerLayerAndPinCommands(registry);
    for (const char* name : {"menuNewLayer", "menuDeleteLayer", "menuFlipLayerHorizontally", "menuFlipLayerVertically",
                             "menuMoveLayerUp", "menuMoveLayerDown", "menuMergeLayerDown"})
        EXPECT_NE(registry.findCommand(name), nullptr) << name;

    registry.runLine("menuNewLayer");
    EXPECT_EQ(layerNames(*controller), (std::vector<std::string>{"Layer 1", "Layer 2"}));
    registry.runLine("menuMoveLayerDown");
    EXPECT_EQ(layerNames(*controller), (std::vector<std::string>{"Layer 2", "Layer 1"}));

    EXPECT_TRUE(runLayerMenuItem(*controller, 10040));
    EXPECT_EQ(layerNames(*controller).size(), 3u);
    EXPECT_TRUE(runLayerMenuItem(*controller, 10041));
    EXPECT_EQ(layerNames(*controller).size(), 2u);
    EXPECT_FALSE(runLayerMenuItem(*controller, 10047));
    EXPECT_FALSE(runLayerMenuItem(*controller, 10039));

    // Without a controller the commands do nothing.
    setTheController(nullptr);
    registry.runLine("menuNewLayer");
    setTheController(controller);
    EXPECT_EQ(layerNames(*controller).size(), 2u);
}

}  // namespace
