// The command registry and its script rules: how a line names a command, what
// argument reaches the handler, and how a script is cut into lines.
#include "CommandRegistry.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// One handler call as the test saw it: nullopt stands for a null argument.
using Call = std::optional<std::string>;

struct Recorder {
    std::vector<std::pair<std::string, Call>> calls;

    CommandHandler handlerFor(std::string name)
    {
        return [this, name](const char* argument) {
            calls.emplace_back(name, argument ? Call(argument) : Call());
        };
    }
};

class CommandRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"echo", "brush.default", "timeslice.set", "menuUndo", "menuRedo"})
            ASSERT_TRUE(registry.registerCommand(name, recorder.handlerFor(name)));
    }

    CommandRegistry registry;
    Recorder recorder;
};

struct LineCase {
    const char* label;
    std::string line;
    std::vector<std::pair<std::string, Call>> expected;
};

TEST_F(CommandRegistryTest, LineRules)
{
    const std::string longName(300, 'e');
    const std::vector<LineCase> cases = {
        {"name alone passes null", "brush.default", {{"brush.default", std::nullopt}}},
        {"spaces after the name are skipped", "timeslice.set   250", {{"timeslice.set", "250"}}},
        {"trailing spaces belong to the argument", "echo hi  ", {{"echo", "hi  "}}},
        {"only spaces after the name pass null", "echo    ", {{"echo", std::nullopt}}},
        {"argument stops at \\r\\n", "echo ab\r\nmenuUndo", {{"echo", "ab"}}},
        {"argument stops at a lone \\r", "echo ab\rmenuUndo", {{"echo", "ab"}}},
        {"name stops at a line break", "brush.default\nmenuUndo", {{"brush.default", std::nullopt}}},
        {"inner spaces stay in the argument", "echo a  b", {{"echo", "a  b"}}},
        {"a tab is part of the name", "echo\thi", {}},
        {"leading space names nothing", " menuUndo", {}},
        {"empty line", "", {}},
        {"line of breaks", "\r\n\r\n", {}},
        {"unknown name", "menuFrobnicate", {}},
        {"capitalised name", "MenuUndo", {}},
        {"upper-case name", "ECHO hi", {}},
        {"no comment syntax: # is part of a name", "# menuUndo", {}},
        {"a name longer than 256 bytes", longName + " x", {}},
        {"a registered name that is a prefix", "menuUndoX", {}},
        {"text ends at a zero byte", std::string("echo a\0b", 8), {{"echo", "a"}}},
    };
    for (const LineCase& c : cases) {
        recorder.calls.clear();
        registry.runLine(c.line);
        EXPECT_EQ(recorder.calls, c.expected) << c.label;
    }
}

TEST_F(CommandRegistryTest, RunLineConsumesTheLineAndEveryBreakAfterIt)
{
    struct ConsumeCase {
        std::string text;
        std::size_t consumed;
    };
    const std::vector<ConsumeCase> cases = {
        {"menuUndo", 8},
        {"menuUndo\r\nmenuRedo", 10},
        {"menuUndo\r\n\r\n\n\rmenuRedo", 14},
        {"echo a b\n", 9},
        {" nothing\nmenuRedo", 9},
        {"unknown\r\n", 9},
        {"\r\n\r\nmenuRedo", 4},
        {"", 0},
        {std::string("echo\0menuRedo", 13), 4},
    };
    for (const ConsumeCase& c : cases)
        EXPECT_EQ(registry.runLine(c.text), c.consumed) << c.text;
}

TEST_F(CommandRegistryTest, ScriptRunsEveryLineWhateverTheLineEnds)
{
    registry.runScript("menuUndo\r\n\r\nmenuRedo");
    registry.runScript("\n\necho one\rtimeslice.set 5\n\r\n echo skipped\nunknown 1\necho two\r\n");
    const std::vector<std::pair<std::string, Call>> expected = {
        {"menuUndo", std::nullopt}, {"menuRedo", std::nullopt},
        {"echo", "one"},            {"timeslice.set", "5"},
        {"echo", "two"},
    };
    EXPECT_EQ(recorder.calls, expected);
}

TEST_F(CommandRegistryTest, NameOfExactly256BytesRunsAndOneByteMoreDoesNot)
{
    const std::string name(COMMAND_NAME_MAX_BYTES, 'n');
    ASSERT_TRUE(registry.registerCommand(name, recorder.handlerFor("long")));
    registry.runLine(name + " ok");
    registry.runLine(name + "n ok");
    const std::vector<std::pair<std::string, Call>> expected = {{"long", "ok"}};
    EXPECT_EQ(recorder.calls, expected);
    // A longer name could never be reached by a line, so it is refused.
    EXPECT_FALSE(registry.registerCommand(name + "n", recorder.handlerFor("longer")));
}

TEST_F(CommandRegistryTest, LineLimitIs1024Bytes)
{
    const std::string head = "echo ";
    const std::string fits = head + std::string(SCRIPT_LINE_MAX_BYTES - head.size(), 'a');
    const std::string tooLong = fits + "a";
    // The overlong line is skipped whole, and the script goes on with the next line.
    registry.runScript(fits + "\r\n" + tooLong + "\r\nmenuUndo");
    ASSERT_EQ(recorder.calls.size(), 2u);
    EXPECT_EQ(recorder.calls[0].second, Call(fits.substr(head.size())));
    EXPECT_EQ(recorder.calls[1].first, "menuUndo");
    EXPECT_EQ(registry.runLine(tooLong + "\n"), tooLong.size() + 1);
}

TEST(CommandRegistry, ReRegistrationReplacesHandlerAndDescription)
{
    CommandRegistry registry;
    std::string seen;
    ASSERT_TRUE(registry.registerCommand("echo", "first", [&](const char*) { seen += "1"; }));
    ASSERT_TRUE(registry.registerCommand("echo", "second", [&](const char*) { seen += "2"; }));
    registry.runLine("echo");
    EXPECT_EQ(seen, "2");
    ASSERT_NE(registry.findCommand("echo"), nullptr);
    EXPECT_EQ(registry.findCommand("echo")->description, "second");
    EXPECT_EQ(registry.commandCount(), 1u);

    // The short form replaces the description with an empty one.
    ASSERT_TRUE(registry.registerCommand("echo", [&](const char*) { seen += "3"; }));
    EXPECT_EQ(registry.findCommand("echo")->description, "");
    registry.runLine("echo");
    EXPECT_EQ(seen, "23");
}

TEST(CommandRegistry, RefusesNamesNoLineCanReachAndEmptyHandlers)
{
    CommandRegistry registry;
    const auto handler = [](const char*) {};
    for (const std::string& name : {std::string(), std::string("two words"), std::string("a\rb"),
                                    std::string("a\nb"), std::string("a\0b", 3)})
        EXPECT_FALSE(registry.registerCommand(name, handler)) << name;
    EXPECT_FALSE(registry.registerCommand("menuUndo", CommandHandler()));
    EXPECT_EQ(registry.commandCount(), 0u);
}

// A handler that re-registers its own name replaces the callable that is running.
// The registry must keep it alive until it returns.
CommandRegistry* g_reentrantRegistry = nullptr;
std::weak_ptr<int> g_handlerState;
bool g_stateAliveAfterReRegistering = false;

TEST(CommandRegistry, HandlerMayReRegisterItselfWhileRunning)
{
    CommandRegistry registry;
    g_reentrantRegistry = &registry;
    auto state = std::make_shared<int>(7);
    g_handlerState = state;
    registry.registerCommand("self", [state](const char*) {
        g_reentrantRegistry->registerCommand("self", [](const char*) {});
        g_stateAliveAfterReRegistering = !g_handlerState.expired();
    });
    state.reset();  // the registered closure now holds the only reference
    registry.runLine("self");
    EXPECT_TRUE(g_stateAliveAfterReRegistering);
    EXPECT_TRUE(g_handlerState.expired());  // released once the call returned
}

TEST(CommandRegistry, CommandsRegisteredByAScriptRunOnLaterLines)
{
    CommandRegistry registry;
    int laterRuns = 0;
    registry.registerCommand("define", [&](const char*) {
        registry.registerCommand("later", [&](const char*) { ++laterRuns; });
    });
    registry.runScript("later\ndefine\nlater\n");
    EXPECT_EQ(laterRuns, 1);
}

}  // namespace
