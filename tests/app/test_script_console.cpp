// The console's built-in commands, run through script lines as a key binding would.
#include "CommandRegistry.h"
#include "ScriptConsole.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

class ScriptConsoleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        console.trace = [this](std::string_view text) { traced.emplace_back(text); };
        console.requestExit = [this] { ++exitRequests; };
        console.registerCommands(registry);
    }

    CommandRegistry registry;
    ScriptConsole console;
    std::vector<std::string> traced;
    int exitRequests = 0;
};

TEST_F(ScriptConsoleTest, RegistersEveryCommandWithItsHelpText)
{
    const std::vector<std::pair<const char*, const char*>> expected = {
        {"echo", "outputs the remaining parameter to the trace log"},
        {"exit", "terminates the app"},
        {"print", "outputs the remaining parameter to the trace log"},
        {"quit", "terminates the app"},
        {"timeslice.set", "sets the delay between consecutive calls during timesliced script execution"},
        {"timeslice.stop", "stop looping the timeslice script execution"},
    };
    EXPECT_EQ(registry.commandCount(), expected.size());
    for (const auto& [name, description] : expected) {
        const CommandEntry* entry = registry.findCommand(name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(entry->description, description) << name;
    }
}

TEST_F(ScriptConsoleTest, EchoAndPrintTraceTheRestOfTheLine)
{
    registry.runScript("echo hi\r\nprint  two words \r\necho\r\nEcho nothing\r\n");
    const std::vector<std::string> expected = {"hi", "two words ", ""};
    EXPECT_EQ(traced, expected);
}

TEST_F(ScriptConsoleTest, ExitAndQuitGoThroughTheShellsExitHook)
{
    registry.runScript("exit\nquit now\n");
    EXPECT_EQ(exitRequests, 2);
}

TEST(ScriptConsole, WithoutHooksNothingHappens)
{
    CommandRegistry registry;
    ScriptConsole console;
    console.trace = nullptr;
    console.registerCommands(registry);
    registry.runScript("exit\nquit\necho lost\n");  // must neither end the process nor crash
    SUCCEED();
}

TEST_F(ScriptConsoleTest, TimesliceSetReadsTheArgumentAsAtoiWould)
{
    struct DelayCase {
        const char* line;
        int delay;
    };
    const std::vector<DelayCase> cases = {
        {"timeslice.set 250", 250},
        {"timeslice.set   250", 250},
        {"timeslice.set", 0},
        {"timeslice.set abc", 0},
        {"timeslice.set 42ms", 42},
        {"timeslice.set -15", -15},
        {"timeslice.set +8", 8},
        {"timeslice.set 99999999999999999999", INT_MAX},
        {"timeslice.set -99999999999999999999", INT_MIN},
        {"timeslice.set 2147483647", INT_MAX},
    };
    for (const DelayCase& c : cases) {
        registry.runLine("timeslice.set 1");
        registry.runLine(c.line);
        EXPECT_EQ(console.timesliceDelay(), c.delay) << c.line;
    }
}

TEST_F(ScriptConsoleTest, TimesliceStopClearsDelayAndScript)
{
    registry.runLine("timeslice.set 30");
    console.setTimesliceScript("brush.random");
    registry.runLine("timeslice.stop");
    EXPECT_EQ(console.timesliceDelay(), 0);
    EXPECT_EQ(console.timesliceScript(), "");
}

}  // namespace
