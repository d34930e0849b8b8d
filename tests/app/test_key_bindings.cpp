// The binding table: defaults, the one-to-one rules, `bind`, the keyboard path and
// the saved bindings script.
#include "CommandRegistry.h"
#include "KeyBindings.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int SHIFT = WINDOW_MODIFIER_SHIFT;
constexpr int CTRL = WINDOW_MODIFIER_CTRL;

// Every default key of the menu and hotkey command table, written out as the menu
// table gives them (command, combination).
const std::vector<std::pair<std::string, std::string>> MENU_TABLE_DEFAULT_KEYS = {
    {"menuNewDocument", "Ctrl+N"}, {"menuOpenDocument", "Ctrl+O"}, {"menuSaveDocument", "Ctrl+S"},
    {"menuSaveDocumentAs", "Ctrl+Shift+S"}, {"menuImportImage", "Ctrl+I"}, {"menuExport", "Ctrl+E"},
    {"menuExit", "Ctrl+Q"}, {"menuUndo", "Ctrl+Z"}, {"menuRedo", "Ctrl+Shift+Z"},
    {"menuResetCanvasTransform", "Ctrl+R"}, {"menuCenterAndScale", "Ctrl+Shift+R"},
    {"menuFlipCanvasHorizontally", "Ctrl+F"}, {"menuFlipCanvasVertically", "Ctrl+U"},
    {"menuPreferences", "Ctrl+K"}, {"menuToggleOpacity", "Ctrl+W"}, {"menuIncreaseOpacity", "."},
    {"menuDecreaseOpacity", ","}, {"menuToggleToolPanel", "Tab"}, {"playbackDrawing", "Ctrl+Shift+Alt+P"},
    {"hotkeyPenScaleWithZoomOn", "O"}, {"hotkeyPenScaleWithZoomOff", "F"}, {"hotkeyEraser", "E"},
    {"hotkeyPen", "B"}, {"hotkeyColorPicker", "I"}, {"hotkeyPan", "H"}, {"hotkeyZoom", "Z"},
    {"hotkeyRotate", "R"}, {"hotkeyDecreasePenWidth", "X"}, {"hotkeyIncreasePenWidth", "C"},
    {"hotkeyDecreasePenWidthAlt", "["}, {"hotkeyIncreasePenWidthAlt", "]"},
    {"hotkeyDiscreteScaleUp", "="}, {"hotkeyDiscreteScaleUpAlt", "+"}, {"hotkeyDiscreteScaleDown", "-"},
    {"hotkeyStartPan", "Space"}, {"hotkeyStartRotate", "Shift+Space"}, {"hotkeyStartZoom", "Ctrl+Space"},
    {"hotkeyPenOpacity0", "0"}, {"hotkeyPenOpacity1", "1"}, {"hotkeyPenOpacity2", "2"},
    {"hotkeyPenOpacity3", "3"}, {"hotkeyPenOpacity4", "4"}, {"hotkeyPenOpacity5", "5"},
    {"hotkeyPenOpacity6", "6"}, {"hotkeyPenOpacity7", "7"}, {"hotkeyPenOpacity8", "8"},
    {"hotkeyPenOpacity9", "9"}, {"hotkeyGotoNextPin", "L"}, {"hotkeyGotoPreviousPin", "J"},
    {"hotkeyGotoLastPin", "Ctrl+L"}, {"hotkeyGotoFirstPin", "Ctrl+J"}, {"hotkeyPinMap", "A"},
};

// The command bound to the combination, or "(none)".
std::string commandOn(const KeyBindings& bindings, std::string_view combination)
{
    const KeyBinding* binding = bindings.findByCombination(combination);
    return binding ? binding->command : std::string("(none)");
}

std::vector<std::string> scriptLines(const std::string& script)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < script.size()) {
        const std::size_t end = script.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "every line ends with \\r\\n";
        if (end == std::string::npos)
            break;
        lines.push_back(script.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Both maps must agree with the saved script: every written binding is found under
// its combination and its command, and nothing else is.
void expectMapsAgreeWithScript(const KeyBindings& bindings, std::size_t expectedCount)
{
    const std::vector<std::string> lines = scriptLines(bindings.bindingsScript());
    EXPECT_EQ(lines.size(), expectedCount);
    for (const std::string& line : lines) {
        ASSERT_EQ(line.rfind("bind ", 0), 0u) << line;
        const std::size_t space = line.find(' ', 5);
        const std::string name = line.substr(5, space - 5), command = line.substr(space + 1);
        const KeyBinding* byName = bindings.findByCombination(name);
        const KeyBinding* byCommand = bindings.findByCommand(command);
        ASSERT_NE(byName, nullptr) << line;
        ASSERT_EQ(byName, byCommand) << line;
        EXPECT_EQ(byName->command, command) << line;
        EXPECT_EQ(combinationName(byName->combo), name) << line;
    }
}

class KeyBindingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerBindCommand(registry, bindings);
        addDefaultBindings(bindings);
        // Handlers arrive after their keys, as at start-up.
        for (const auto& [command, combination] : MENU_TABLE_DEFAULT_KEYS)
            registry.registerCommand(command, [this, name = command](const char*) { ran.push_back(name); });
        registry.registerCommand("echo", [this](const char* argument) {
            ran.push_back(std::string("echo ") + (argument ? argument : "(null)"));
        });
    }

    // Presses a key as freeglut delivers it; returns what ran.
    std::vector<std::string> press(int character, int modifiers)
    {
        ran.clear();
        const WindowKeyEvent event{WindowKeyKind::Character, character, modifiers};
        if (const std::optional<KeyCombo> combo = keyComboFromWindowKey(event))
            bindings.runBinding(*combo);
        return ran;
    }

    std::string boundCombination(const std::string& command) const
    {
        const KeyBinding* binding = bindings.findByCommand(command);
        return binding ? combinationName(binding->combo) : std::string("(none)");
    }

    CommandRegistry registry;
    KeyBindings bindings{registry};
    std::vector<std::string> ran;
};

using Ran = std::vector<std::string>;

TEST_F(KeyBindingsTest, DefaultTableHoldsEveryDefaultKeyOfTheCommandTable)
{
    for (const auto& [command, combination] : MENU_TABLE_DEFAULT_KEYS) {
        const KeyBinding* binding = bindings.findByCombination(combination);
        ASSERT_NE(binding, nullptr) << combination;
        EXPECT_EQ(binding->command, command) << combination;
        EXPECT_EQ(boundCombination(command), combination);
    }
    expectMapsAgreeWithScript(bindings, MENU_TABLE_DEFAULT_KEYS.size());
}

TEST_F(KeyBindingsTest, SavedScriptBeginsWithNewDocument)
{
    const std::string script = bindings.bindingsScript();
    EXPECT_EQ(script.rfind("bind Ctrl+N menuNewDocument\r\n", 0), 0u);
    const std::vector<std::string> lines = scriptLines(script);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "bind Ctrl+O menuOpenDocument");
}

TEST_F(KeyBindingsTest, KeyPressesReachTheirCommands)
{
    struct PressCase {
        const char* pressed;
        int character;
        int modifiers;
        Ran expected;
    };
    const std::vector<PressCase> cases = {
        {"ctrl+z", 26, CTRL, {"menuUndo"}},
        {"z", 'z', 0, {"hotkeyZoom"}},
        {"ctrl+shift+z", 26, CTRL | SHIFT, {"menuRedo"}},
        {"Tab", 9, 0, {"menuToggleToolPanel"}},
        {"ctrl+i", 9, CTRL, {"menuImportImage"}},
        {"i", 'i', 0, {"hotkeyColorPicker"}},
        {"Escape", 27, 0, {}},  // not the [ binding
        {"bracketleft", '[', 0, {"hotkeyDecreasePenWidthAlt"}},
        {"ctrl+bracketleft", 27, CTRL, {}},  // Ctrl+[ is a combination of its own
        {"space", ' ', 0, {"hotkeyStartPan"}},
        {"shift+space", ' ', SHIFT, {"hotkeyStartRotate"}},
        {"ctrl+space", 0, CTRL, {"hotkeyStartZoom"}},
        {"shift+equal", '+', SHIFT, {}},  // Shift++, not the + binding
        {"KP_Add", '+', 0, {"hotkeyDiscreteScaleUpAlt"}},
        {"equal", '=', 0, {"hotkeyDiscreteScaleUp"}},
        {"7", '7', 0, {"hotkeyPenOpacity7"}},
        {"ctrl+shift+alt+p", 16, CTRL | SHIFT | WINDOW_MODIFIER_ALT, {"playbackDrawing"}},
        {"q", 'q', 0, {}},
    };
    for (const PressCase& c : cases)
        EXPECT_EQ(press(c.character, c.modifiers), c.expected) << c.pressed;
}

TEST_F(KeyBindingsTest, CtrlBracketIsBoundUnderItsOwnName)
{
    registry.runLine("bind Ctrl+[ echo bracket");
    EXPECT_EQ(press(27, CTRL), Ran{"echo bracket"});
    EXPECT_EQ(press(27, 0), Ran{});
    EXPECT_EQ(press('[', 0), Ran{"hotkeyDecreasePenWidthAlt"});
}

TEST_F(KeyBindingsTest, BindMovesACommandAndReusesItsRecord)
{
    const std::size_t records = bindings.recordsHandedOut();
    registry.runLine("bind Ctrl+Y menuUndo");
    EXPECT_EQ(press(25, CTRL), Ran{"menuUndo"});
    EXPECT_EQ(press(26, CTRL), Ran{});  // the old combination runs nothing
    EXPECT_EQ(bindings.findByCombination("Ctrl+Z"), nullptr);
    EXPECT_EQ(bindings.recordsHandedOut(), records);
    // The moved record keeps its place in the saved script.
    EXPECT_EQ(scriptLines(bindings.bindingsScript())[7], "bind Ctrl+Y menuUndo");
    expectMapsAgreeWithScript(bindings, MENU_TABLE_DEFAULT_KEYS.size());
}

TEST_F(KeyBindingsTest, BindRefusesACombinationThatIsInUse)
{
    const std::string before = bindings.bindingsScript();
    registry.runLine("bind Ctrl+Z menuRedo");   // bound to another command
    registry.runLine("bind Ctrl+Z menuUndo");   // bound to the same command
    registry.runLine("bind Z echo new");        // new command on a bound key
    EXPECT_EQ(bindings.bindingsScript(), before);
    EXPECT_EQ(press(26, CTRL), Ran{"menuUndo"});
    EXPECT_EQ(press(26, CTRL | SHIFT), Ran{"menuRedo"});
    EXPECT_FALSE(bindings.bindKey("menuRedo", makeKeyCombo('Z', false, true, false, false)));
}

TEST_F(KeyBindingsTest, ReservedCombinationsAreNeverBound)
{
    const std::string before = bindings.bindingsScript();
    const KeyCombo altTab = makeKeyCombo(KEY_TAB, false, false, true, false);
    EXPECT_FALSE(bindings.addBinding("echo x", altTab));
    EXPECT_FALSE(bindings.bindKey("echo x", altTab));
    // Not even by moving a command that already has a combination.
    EXPECT_FALSE(bindings.bindKey("menuUndo", altTab));
    registry.runLine("bind Alt+Tab menuRedo");
    EXPECT_EQ(bindings.bindingsScript(), before);
    EXPECT_EQ(press(9, WINDOW_MODIFIER_ALT), Ran{});
}

TEST_F(KeyBindingsTest, BoundScriptsCarryArgumentsAndMayRebind)
{
    registry.runLine("bind Ctrl+M echo hello  world");
    EXPECT_EQ(press(13, CTRL), Ran{"echo hello  world"});
    // A binding whose script is itself a bind line: pressing it moves menuUndo.
    registry.runLine("bind Ctrl+G bind Ctrl+Y menuUndo");
    EXPECT_EQ(press(7, CTRL), Ran{});
    EXPECT_EQ(boundCombination("menuUndo"), "Ctrl+Y");
    // A script line that begins with a space runs nothing when pressed.
    registry.runLine("bind Ctrl+B  menuUndo");
    EXPECT_EQ(press(2, CTRL), Ran{});
}

TEST_F(KeyBindingsTest, HandlerRegisteredAfterItsKeyStillRuns)
{
    ASSERT_TRUE(bindings.addBinding("lateCommand", makeKeyCombo('T', false, true, false, false)));
    EXPECT_EQ(press(20, CTRL), Ran{});
    registry.registerCommand("lateCommand", [this](const char*) { ran.push_back("late"); });
    EXPECT_EQ(press(20, CTRL), Ran{"late"});
}

TEST(KeyBindings, AddBindingReplacesWithoutLeavingHalfBindings)
{
    CommandRegistry registry;
    KeyBindings bindings(registry);
    const KeyCombo ctrlM = makeKeyCombo('M', false, true, false, false);
    const KeyCombo ctrlP = makeKeyCombo('P', false, true, false, false);
    ASSERT_TRUE(bindings.addBinding("first", ctrlM));
    ASSERT_TRUE(bindings.addBinding("second", ctrlM));  // takes the combination from first
    EXPECT_EQ(bindings.findByCommand("first"), nullptr);
    EXPECT_EQ(commandOn(bindings, "Ctrl+M"), "second");
    expectMapsAgreeWithScript(bindings, 1);

    // first has no binding left, so binding it elsewhere must not disturb second.
    ASSERT_TRUE(bindings.bindKey("first", ctrlP));
    EXPECT_EQ(commandOn(bindings, "Ctrl+M"), "second");
    ASSERT_TRUE(bindings.addBinding("second", ctrlP));  // second moves onto first's combination
    EXPECT_EQ(bindings.findByCombination("Ctrl+M"), nullptr);
    EXPECT_EQ(bindings.findByCommand("first"), nullptr);
    expectMapsAgreeWithScript(bindings, 1);
    EXPECT_EQ(bindings.bindingsScript(), "bind Ctrl+P second\r\n");
}

TEST(KeyBindings, RefusesCommandsAndKeysTheScriptCouldNotHold)
{
    CommandRegistry registry;
    KeyBindings bindings(registry);
    const KeyCombo ctrlM = makeKeyCombo('M', false, true, false, false);
    for (const std::string& command : {std::string(), std::string("a\r\nb"), std::string("a\nb"),
                                       std::string("a\0b", 3)})
        EXPECT_FALSE(bindings.addBinding(command, ctrlM));
    for (int key : {0, int('\n'), 256})
        EXPECT_FALSE(bindings.addBinding("echo", makeKeyCombo(key, false, false, false, false))) << key;
    EXPECT_EQ(bindings.recordsHandedOut(), 0u);
    EXPECT_EQ(bindings.bindingsScript(), "");
}

TEST(KeyBindings, PoolHoldsExactly1024Records)
{
    CommandRegistry registry;
    KeyBindings bindings(registry);
    std::vector<KeyCombo> combos;
    // Printable keys other than lower-case letters, which share their names with upper case.
    for (int key = '!'; key <= '~'; ++key) {
        if (key >= 'a' && key <= 'z')
            continue;
        for (int modifiers = 0; modifiers < 16; ++modifiers)
            combos.push_back(KeyCombo{key, modifiers});
    }
    ASSERT_GE(combos.size(), KEY_BINDING_POOL_SIZE + 2);
    for (std::size_t i = 0; i < KEY_BINDING_POOL_SIZE; ++i)
        ASSERT_TRUE(bindings.addBinding("command" + std::to_string(i), combos[i])) << i;

    const std::string full = bindings.bindingsScript();
    EXPECT_FALSE(bindings.addBinding("oneMore", combos[KEY_BINDING_POOL_SIZE]));
    EXPECT_FALSE(bindings.bindKey("oneMore", combos[KEY_BINDING_POOL_SIZE]));
    // Refused replacements change nothing either.
    EXPECT_FALSE(bindings.addBinding("command0", combos[KEY_BINDING_POOL_SIZE]));
    EXPECT_EQ(bindings.bindingsScript(), full);
    // Moving a command reuses its record, so it still works.
    EXPECT_TRUE(bindings.bindKey("command0", combos[KEY_BINDING_POOL_SIZE + 1]));
    EXPECT_EQ(commandOn(bindings, combinationName(combos[KEY_BINDING_POOL_SIZE + 1])), "command0");
    EXPECT_EQ(bindings.recordsHandedOut(), KEY_BINDING_POOL_SIZE);
}

TEST(KeyBindings, BindArgumentParsing)
{
    struct ParseCase {
        const char* argument;
        const char* combination;  // null: nothing happens
        const char* command;
    };
    const std::vector<ParseCase> cases = {
        {"Ctrl+Shift+] hotkeyPen", "Ctrl+Shift+]", "hotkeyPen"},
        {"Shift+Ctrl+S menuSaveDocumentAs", "Ctrl+Shift+S", "menuSaveDocumentAs"},
        {"ctrl+k menuPreferences", "K", "menuPreferences"},  // lower-case modifier words are not modifiers
        {"Space hotkeyStartPan", "Space", "hotkeyStartPan"},
        {"Ctrl+Space hotkeyStartZoom", "Ctrl+Space", "hotkeyStartZoom"},
        {"Tab menuToggleToolPanel", "Tab", "menuToggleToolPanel"},
        {"Alt+Shift+Tab x", "Shift+Alt+Tab", "x"},
        {"Enter x", "Enter", "x"},
        {"Alt+F4 x", "Alt+4", "x"},
        {"Cmd+Q menuExit", "Cmd+Q", "menuExit"},
        {"a hotkeyPinMap", "A", "hotkeyPinMap"},
        {"Ctrl++ x", "Ctrl++", "x"},
        {"Ctrl+M echo two words ", "Ctrl+M", "echo two words "},
        {"Ctrl+M  menuUndo", "Ctrl+M", " menuUndo"},
        {"NoSpace", nullptr, nullptr},
        {"Ctrl+M ", nullptr, nullptr},
        {" Ctrl+M menuUndo", nullptr, nullptr},
        {"", nullptr, nullptr},
        {nullptr, nullptr, nullptr},
    };
    for (const ParseCase& c : cases) {
        const std::optional<BindRequest> request = parseBindArgument(c.argument);
        const std::string label = c.argument ? c.argument : "(null)";
        if (!c.combination) {
            EXPECT_FALSE(request.has_value()) << label;
            continue;
        }
        ASSERT_TRUE(request.has_value()) << label;
        EXPECT_EQ(combinationName(request->combo), c.combination) << label;
        EXPECT_EQ(request->command, c.command) << label;
    }
}

TEST(KeyBindings, EveryCanonicalNameReadsBackAsItself)
{
    for (int key = 1; key <= 255; ++key) {
        for (int modifiers = 0; modifiers < 16; ++modifiers) {
            const std::string name = combinationName(KeyCombo{key, modifiers});
            if (name.empty())
                continue;
            const std::optional<BindRequest> request = parseBindArgument((name + " command").c_str());
            ASSERT_TRUE(request.has_value()) << key << " " << modifiers;
            ASSERT_EQ(combinationName(request->combo), name) << key << " " << modifiers;
        }
    }
}

TEST_F(KeyBindingsTest, SavedScriptRebuildsTheSameTable)
{
    registry.runScript("bind Ctrl+Y menuUndo\r\nbind Ctrl+Shift+Enter echo saved\r\nbind Shift++ hotkeyZoom\r\n");
    const std::string saved = bindings.bindingsScript();

    CommandRegistry freshRegistry;
    KeyBindings fresh(freshRegistry);
    registerBindCommand(freshRegistry, fresh);
    freshRegistry.runScript(saved);
    EXPECT_EQ(fresh.bindingsScript(), saved);
    expectMapsAgreeWithScript(fresh, MENU_TABLE_DEFAULT_KEYS.size() + 1);

    // Run over the defaults instead, the saved lines move each command back where the user put it.
    CommandRegistry defaultsRegistry;
    KeyBindings defaults(defaultsRegistry);
    registerBindCommand(defaultsRegistry, defaults);
    addDefaultBindings(defaults);
    defaultsRegistry.runScript(saved);
    EXPECT_EQ(defaults.bindingsScript(), saved);
}

}  // namespace
