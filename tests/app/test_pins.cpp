// Pins on a real controller and engine: the limit, numbering, navigation, mirrored
// views, window resizing, the pin map, list edits, file records and commands.
#include "CanvasProbe.h"
#include "CommandRegistry.h"
#include "ControllerFixture.h"
#include "Fatal.h"
#include "Pins.h"
#include "Shell.h"

#include <cmath>
#include <functional>
#include <limits>
#include <utility>

namespace {

using probe::Matrix;

class PinsTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        controller = &create();
        resize(800, 600);
        window_.messages.clear();
        controller->pins().listeners.add(
            [this](PinNotice notice, int32_t index) { notices.emplace_back(notice, index); });
    }
    void resize(int32_t width, int32_t height) { Shell(window_).reshape(width, height); }
    PinList& pins() { return controller->pins(); }
    std::vector<std::string> names()
    {
        std::vector<std::string> result;
        for (const Pin& pin : pins().pins) result.push_back(pin.name);
        return result;
    }
    // Pins `count` views, each panned 50 pixels from the one before.
    void pinViews(int count)
    {
        for (int i = 0; i < count; ++i) {
            probe::pan(*controller, 50, 20);
            createPin(*controller);
        }
    }
    // The view at pin `index`, as the user saw it when pinning (the window unchanged).
    Matrix pinnedView(int32_t index)
    {
        const Pin& pin = pins().pins[static_cast<size_t>(index)];
        Matrix m;
        std::copy(std::begin(pin.view), std::end(pin.view), m.begin());
        m[12] += 400;
        m[13] += 300;
        return m;
    }

    DocumentController* controller = nullptr;
    std::vector<std::pair<PinNotice, int32_t>> notices;
};

void expectSameView(const Matrix& actual, const Matrix& expected, const std::string& when)
{
    for (int i : {0, 1, 4, 5}) EXPECT_NEAR(actual[i], expected[i], 1e-4 * (1 + std::fabs(expected[i]))) << when << " [" << i << "]";
    for (int i : {12, 13}) EXPECT_NEAR(actual[i], expected[i], 0.02) << when << " [" << i << "]";
}

// ---------------------------------------------------------------------------------------
// Creation, the limit and the numbering
// ---------------------------------------------------------------------------------------

TEST_F(PinsTest, APinKeepsTheViewAndBecomesCurrent)
{
    probe::zoom(*controller, 2, 100, 100);
    probe::rotate(*controller, 30, 400, 300);
    const Matrix before = probe::view(*controller);
    controller->markClean();
    createPin(*controller);
    ASSERT_EQ(pins().pins.size(), 1u);
    EXPECT_EQ(pins().pins[0].name, "Pin 1");
    EXPECT_EQ(pins().current, 0);
    EXPECT_FALSE(controller->isClean());
    expectSameView(probe::view(*controller), before, "after pinning");
    // Stored relative to the window centre.
    EXPECT_NEAR(pins().pins[0].view[12], before[12] - 400, 1e-3);
    EXPECT_NEAR(pins().pins[0].view[13], before[13] - 300, 1e-3);
    EXPECT_EQ(notices, (std::vector<std::pair<PinNotice, int32_t>>{{PinNotice::Added, 0}, {PinNotice::Current, 0}}));
}

TEST_F(PinsTest, TheNinetyNinthPinIsAcceptedAndTheHundredthRefused)
{
    for (int i = 0; i < kMaxPins; ++i) createPin(*controller);
    EXPECT_TRUE(window_.messages.empty());
    ASSERT_EQ(pins().pins.size(), 99u);
    EXPECT_EQ(pins().pins.back().name, "Pin 99");

    controller->markClean();
    notices.clear();
    createPin(*controller);
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].text, "The number of available pins has been exceeded");
    EXPECT_EQ(window_.messages[0].caption, "Warning");
    EXPECT_EQ(window_.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(pins().pins.size(), 99u);
    EXPECT_EQ(pins().current, 98);
    EXPECT_TRUE(controller->isClean());
    EXPECT_TRUE(notices.empty());
}

TEST_F(PinsTest, PinsAreNumberedFromOneAgainAfterNewAndOpen)
{
    pinViews(3);
    window_.messageAnswers = {MessageAnswer::No};  // "Save changes?"
    controller->newDocument();
    EXPECT_TRUE(pins().pins.empty());
    EXPECT_EQ(pins().current, -1);
    createPin(*controller);
    EXPECT_EQ(names(), (std::vector<std::string>{"Pin 1"}));

    // Opening resets the list and loads the document's pins (none here).
    pinViews(2);
    resetPins(*controller);
    loadPinFileRecords(*controller, {});
    createPin(*controller);
    EXPECT_EQ(names(), (std::vector<std::string>{"Pin 1"}));
}

TEST_F(PinsTest, ResetTellsTheListenersEveryPinFromTheLastAndNoCurrentPin)
{
    pinViews(3);
    notices.clear();
    resetPins(*controller);
    EXPECT_EQ(notices, (std::vector<std::pair<PinNotice, int32_t>>{
                           {PinNotice::Current, -1}, {PinNotice::Removed, 2}, {PinNotice::Removed, 1}, {PinNotice::Removed, 0}}));
    EXPECT_EQ(pins().nextNumber, 1);
}

// ---------------------------------------------------------------------------------------
// Navigation
// ---------------------------------------------------------------------------------------

TEST_F(PinsTest, NavigationFollowsTheRulesAtEveryEnd)
{
    struct Case {
        const char* name;
        int pinCount;
        int32_t start;
        void (*go)(DocumentController&);
        int32_t expected;
    };
    const Case cases[] = {
        {"next from none", 3, -1, gotoNextPin, 0},
        {"next", 3, 0, gotoNextPin, 1},
        {"next at the last", 3, 2, gotoNextPin, 2},
        {"previous from none", 3, -1, gotoPreviousPin, 2},
        {"previous", 3, 2, gotoPreviousPin, 1},
        {"previous at the first", 3, 0, gotoPreviousPin, 0},
        {"last", 3, 0, gotoLastPin, 2},
        {"first", 3, 2, gotoFirstPin, 0},
        {"next with no pins", 0, -1, gotoNextPin, -1},
        {"previous with no pins", 0, -1, gotoPreviousPin, -1},
        {"last with no pins", 0, -1, gotoLastPin, -1},
        {"first with no pins", 0, -1, gotoFirstPin, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetPins(*controller);
        gfxResetView(controller->canvas());
        pinViews(c.pinCount);
        if (c.start < 0) clearCurrentPin(*controller);
        else ASSERT_TRUE(gotoPin(*controller, c.start));
        probe::pan(*controller, -500, 70);  // move away without telling the pins
        const Matrix away = probe::view(*controller);
        notices.clear();

        c.go(*controller);
        EXPECT_EQ(pins().current, c.expected);
        ASSERT_FALSE(notices.empty());
        EXPECT_EQ(notices.back(), std::make_pair(PinNotice::Current, c.expected));
        if (c.expected >= 0) expectSameView(probe::view(*controller), pinnedView(c.expected), "at the pin");
        else expectSameView(probe::view(*controller), away, "no pin: the view stays");
    }
    EXPECT_TRUE(window_.messages.empty());
}

TEST_F(PinsTest, AMirroredPinReturnsToTheSameMirroredView)
{
    struct Case {
        const char* name;
        std::function<void(DocumentController&)> shape;
    };
    const Case cases[] = {
        {"left-right", [](DocumentController& c) { probe::mirror(c, -1, 1, 400, 300); }},
        {"top-bottom", [](DocumentController& c) { probe::mirror(c, 1, -1, 400, 300); }},
        {"both (a half turn)", [](DocumentController& c) { probe::mirror(c, -1, -1, 400, 300); }},
        {"left-right then a quarter turn", [](DocumentController& c) {
             probe::mirror(c, -1, 1, 400, 300);
             probe::rotate(c, 90, 400, 300);
         }},
        {"zoomed, turned and panned, then top-bottom", [](DocumentController& c) {
             probe::zoom(c, 3, 120, 80);
             probe::rotate(c, 30, 400, 300);
             probe::pan(c, -70, 45);
             probe::mirror(c, 1, -1, 400, 300);
         }},
        {"mirrored off-centre", [](DocumentController& c) { probe::mirror(c, -1, 1, 250, 100); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetPins(*controller);
        gfxResetView(controller->canvas());
        c.shape(*controller);
        const Matrix mirrored = probe::view(*controller);
        createPin(*controller);
        gfxResetView(controller->canvas());
        probe::pan(*controller, 33, -12);

        ASSERT_TRUE(gotoPin(*controller, 0));
        ASSERT_EQ(gfxGetLastError(controller->engine()), GFX_OK);
        expectSameView(probe::view(*controller), mirrored, c.name);
    }
}

TEST_F(PinsTest, AMirrorTurnedByExactlyAQuarterIsStillAMirror)
{
    // Both diagonal terms are exactly 0, as a stored pin can hold them.
    PinFileRecord record;
    const float view[16] = {0, -1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, -100, 50, 0, 1};
    std::copy(std::begin(view), std::end(view), record.view);
    record.name = "Quarter";
    loadPinFileRecords(*controller, {record});
    ASSERT_TRUE(gotoPin(*controller, 0));
    Matrix expected;
    std::copy(std::begin(view), std::end(view), expected.begin());
    expected[12] += 400;
    expected[13] += 300;
    expectSameView(probe::view(*controller), expected, "quarter-turned mirror");
}

TEST_F(PinsTest, ResizingBetweenPinningAndReturningKeepsThePinnedPointInTheCentre)
{
    probe::zoom(*controller, 2.5f, 130, 90);
    probe::rotate(*controller, -40, 400, 300);
    probe::pan(*controller, 60, -25);
    const Matrix pinned = probe::view(*controller);
    const auto centrePoint = probe::unapply(pinned, 400, 300);  // the canvas point in the window centre
    createPin(*controller);

    const struct {
        int32_t width, height;
    } sizes[] = {{1000, 500}, {640, 900}, {800, 600}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        resize(size.width, size.height);
        probe::pan(*controller, -300, 200);
        ASSERT_TRUE(gotoPin(*controller, 0));
        const Matrix back = probe::view(*controller);
        const auto onScreen = probe::apply(back, centrePoint[0], centrePoint[1]);
        EXPECT_NEAR(onScreen[0], size.width / 2.0, 0.05);
        EXPECT_NEAR(onScreen[1], size.height / 2.0, 0.05);
        for (int i : {0, 1, 4, 5}) EXPECT_NEAR(back[i], pinned[i], 1e-4);  // same zoom and turn
    }
}

TEST_F(PinsTest, JumpsUseTheNavigationsResetAndReportTheScale)
{
    int resets = 0;
    std::vector<float> ratios;
    pins().hooks.resetView = [&] {
        ++resets;
        gfxResetView(controller->canvas());
    };
    pins().hooks.viewScaled = [&](float ratio) { ratios.push_back(ratio); };
    probe::zoom(*controller, 4, 400, 300);
    createPin(*controller);
    EXPECT_EQ(resets, 1);
    ASSERT_EQ(ratios.size(), 1u);
    EXPECT_NEAR(ratios[0], 4, 1e-4);
}

// ---------------------------------------------------------------------------------------
// The pin map
// ---------------------------------------------------------------------------------------

TEST_F(PinsTest, ThePinMapFitsEveryPinIntoTheWindow)
{
    struct Case {
        const char* name;
        std::vector<std::pair<float, float>> pans;  // the view is panned by each before pinning
    };
    const Case cases[] = {
        {"spread", {{0, 0}, {-2000, -300}, {900, -1800}}},
        {"in a row", {{0, 0}, {-3000, 0}, {-1000, 0}}},
        {"in a column", {{0, 0}, {0, 2500}}},
        {"close together", {{0, 0}, {3, 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetPins(*controller);
        gfxResetView(controller->canvas());
        std::vector<std::array<double, 2>> canvasPoints;
        for (const auto& [dx, dy] : c.pans) {
            probe::pan(*controller, dx, dy);
            canvasPoints.push_back(probe::unapply(probe::view(*controller), 400, 300));
            createPin(*controller);
        }
        window_.messages.clear();
        controller->markClean();

        pinMap(*controller);
        EXPECT_TRUE(window_.messages.empty());
        EXPECT_TRUE(pins().mapShown);
        EXPECT_EQ(pins().current, -1);
        EXPECT_FALSE(controller->isClean());
        const Matrix view = probe::view(*controller);
        double left = 1e30, right = -1e30, bottom = 1e30, top = -1e30;
        for (size_t i = 0; i < canvasPoints.size(); ++i) {
            const auto p = probe::apply(view, canvasPoints[i][0], canvasPoints[i][1]);
            float x = 0, y = 0;
            ASSERT_TRUE(pinScreenPosition(*controller, static_cast<int32_t>(i), &x, &y));
            EXPECT_NEAR(x, p[0], 0.05);
            EXPECT_NEAR(y, p[1], 0.05);
            left = std::min(left, p[0]);
            right = std::max(right, p[0]);
            bottom = std::min(bottom, p[1]);
            top = std::max(top, p[1]);
        }
        // Centred, and filling the window in its tighter direction.
        EXPECT_NEAR((left + right) / 2, 400, 0.5);
        EXPECT_NEAR((bottom + top) / 2, 300, 0.5);
        const bool fillsWidth = std::fabs((right - left) - 800) < 0.5;
        const bool fillsHeight = std::fabs((top - bottom) - 600) < 0.5;
        EXPECT_TRUE(fillsWidth || fillsHeight) << right - left << " x " << top - bottom;
        EXPECT_LE(right - left, 800.5);
        EXPECT_LE(top - bottom, 600.5);
    }
}

TEST_F(PinsTest, ThePinMapOfOnePinShowsItWithoutMovingAndOfNoPinsDoesNothing)
{
    pinMap(*controller);
    EXPECT_FALSE(pins().mapShown);

    probe::pan(*controller, 10, 10);
    createPin(*controller);
    const Matrix before = probe::view(*controller);
    pinMap(*controller);
    EXPECT_TRUE(pins().mapShown);
    expectSameView(probe::view(*controller), before, "one pin");
    EXPECT_TRUE(window_.messages.empty());
}

TEST_F(PinsTest, ThePinMapWarnsAtTheScaleLimit)
{
    createPin(*controller);
    probe::pan(*controller, 0.01f, 0);  // the pins 0.01 canvas pixels apart: 80000 times to fit
    createPin(*controller);
    pinMap(*controller);
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].text, "Maximum point reached. Pan around to find pins or choose a pin from the list.");
    EXPECT_EQ(window_.messages[0].caption, "Warning");
    EXPECT_TRUE(pins().mapShown);
}

// ---------------------------------------------------------------------------------------
// Editing the list
// ---------------------------------------------------------------------------------------

TEST_F(PinsTest, DeletingAndMovingKeepTheCurrentPinOnTheSamePin)
{
    struct Case {
        const char* name;
        std::function<bool(DocumentController&)> edit;
        std::vector<std::string> names;
        int32_t current;
    };
    const Case cases[] = {
        {"delete the current", [](DocumentController& c) { return deletePin(c, 1); }, {"Pin 1", "Pin 3"}, -1},
        {"delete one before", [](DocumentController& c) { return deletePin(c, 0); }, {"Pin 2", "Pin 3"}, 0},
        {"delete one after", [](DocumentController& c) { return deletePin(c, 2); }, {"Pin 1", "Pin 2"}, 1},
        {"move to the end", [](DocumentController& c) { return movePin(c, 0, 2); }, {"Pin 2", "Pin 3", "Pin 1"}, 2},
        {"move to the front", [](DocumentController& c) { return movePin(c, 2, 0); }, {"Pin 3", "Pin 1", "Pin 2"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetPins(*controller);
        pinViews(3);
        ASSERT_TRUE(gotoPin(*controller, 1));
        controller->markClean();
        EXPECT_TRUE(c.edit(*controller));
        EXPECT_EQ(names(), c.names);
        EXPECT_EQ(pins().current, c.current);
        EXPECT_FALSE(controller->isClean());
    }
    controller->markClean();
    EXPECT_FALSE(deletePin(*controller, 3));
    EXPECT_FALSE(deletePin(*controller, -1));
    EXPECT_FALSE(movePin(*controller, 0, 3));
    EXPECT_FALSE(renamePin(*controller, 3, "x"));
    EXPECT_FALSE(gotoPin(*controller, 3));
    EXPECT_TRUE(controller->isClean());
}

TEST_F(PinsTest, RenamingKeepsAtMost256WholeCharacters)
{
    createPin(*controller);
    controller->markClean();
    EXPECT_TRUE(renamePin(*controller, 0, "Harbour"));
    EXPECT_EQ(pins().pins[0].name, "Harbour");
    EXPECT_FALSE(controller->isClean());
    std::string longName;
    for (int i = 0; i < 300; ++i) longName += "\xE2\x82\xAC";  // the euro sign, three bytes
    EXPECT_TRUE(renamePin(*controller, 0, longName));
    EXPECT_EQ(pins().pins[0].name, longName.substr(0, 256 * 3));
}

// ---------------------------------------------------------------------------------------
// File records
// ---------------------------------------------------------------------------------------

TEST_F(PinsTest, FileRecordsRoundTripAndBadRecordsAreLeftOut)
{
    probe::zoom(*controller, 2, 0, 0);
    createPin(*controller);
    probe::mirror(*controller, -1, 1, 400, 300);
    createPin(*controller);
    renamePin(*controller, 1, "Sky");
    const std::vector<PinFileRecord> saved = pinFileRecords(pins());
    ASSERT_EQ(saved.size(), 2u);

    // Poison the list, then load what was saved, with bad records in between.
    resetPins(*controller);
    pinViews(4);
    std::vector<PinFileRecord> file = saved;
    PinFileRecord notANumber = saved[0];
    notANumber.view[5] = std::numeric_limits<float>::quiet_NaN();
    PinFileRecord flat = saved[0];
    flat.view[0] = flat.view[1] = flat.view[4] = flat.view[5] = 0;
    file.insert(file.begin() + 1, {notANumber, flat});
    loadPinFileRecords(*controller, file);

    EXPECT_EQ(names(), (std::vector<std::string>{"Pin 1", "Sky"}));
    EXPECT_EQ(pins().current, -1);
    for (size_t i = 0; i < 2; ++i)
        for (int k = 0; k < 16; ++k) EXPECT_EQ(pins().pins[i].view[k], saved[i].view[k]) << i << " " << k;
    ASSERT_TRUE(gotoPin(*controller, 1));
    EXPECT_LT(probe::view(*controller)[0], 0);  // the mirrored pin still mirrors
}

TEST_F(PinsTest, LoadedPinsKeepTheLimitAndNewNamesGoOnAfterThem)
{
    struct Case {
        const char* name;
        std::vector<std::string> names;
        std::string next;
    };
    const Case cases[] = {
        {"default names", {"Pin 1", "Pin 2"}, "Pin 3"},
        {"renamed and numbered high", {"Sky", "Pin 7"}, "Pin 8"},
        {"renamed only", {"Sky", "Sea", "Hill"}, "Pin 4"},
        {"not quite default", {"Pin 9a", "Pin -3", "Pin "}, "Pin 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<PinFileRecord> records;
        for (const std::string& name : c.names) {
            PinFileRecord record;
            record.view[0] = record.view[5] = record.view[10] = record.view[15] = 1;
            record.name = name;
            records.push_back(record);
        }
        loadPinFileRecords(*controller, records);
        createPin(*controller);
        EXPECT_EQ(pins().pins.back().name, c.next);
    }

    std::vector<PinFileRecord> tooMany(120);
    for (PinFileRecord& record : tooMany) record.view[0] = record.view[5] = 1;
    loadPinFileRecords(*controller, tooMany);
    EXPECT_EQ(pins().pins.size(), 99u);
}

TEST_F(PinsTest, AnyRecordTypeWithAViewAndANameConverts)
{
    struct OtherPin {
        float view[16];
        std::string name;
    };
    createPin(*controller);
    std::vector<OtherPin> records = pinFileRecordsAs<OtherPin>(pins());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name, "Pin 1");
    records[0].name = "Moved";
    loadPinFileRecordsFrom(*controller, records);
    EXPECT_EQ(names(), (std::vector<std::string>{"Moved"}));
}

// ---------------------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------------------

TEST_F(PinsTest, HotkeyCommandsRunThePinOperations)
{
    CommandRegistry registry;
    registerPinCommands(registry);
    registry.runLine("hotkeyCreatePin");
    probe::pan(*controller, 100, 0);
    registry.runLine("hotkeyCreatePin");
    EXPECT_EQ(names(), (std::vector<std::string>{"Pin 1", "Pin 2"}));
    registry.runLine("hotkeyGotoFirstPin");
    EXPECT_EQ(pins().current, 0);
    registry.runLine("hotkeyGotoNextPin");
    EXPECT_EQ(pins().current, 1);
    registry.runLine("hotkeyGotoPreviousPin");
    EXPECT_EQ(pins().current, 0);
    registry.runLine("hotkeyGotoLastPin");
    EXPECT_EQ(pins().current, 1);
    registry.runLine("hotkeyPinMap");
    EXPECT_TRUE(pins().mapShown);
}

}  // namespace
