// ScriptConsole.h — the console's built-in script commands: echo, exit, print, quit,
// timeslice.set and timeslice.stop.
//
// The console owns no window and ends nothing itself: "exit" and "quit" call the
// shell's exit hook (the same road as the File menu's Exit, with its "Save changes?"
// prompt), and "echo" and "print" hand their text to the trace hook.
#pragma once

#include <functional>
#include <string>
#include <string_view>

class CommandRegistry;

class ScriptConsole {
public:
    // Runs the shell's Exit path. Until the shell sets it, "exit" and "quit" do
    // nothing: there is nothing to shut down before the shell exists.
    std::function<void()> requestExit;
    // Receives the text of "echo" and "print" (empty for a line with no argument).
    // Starts out writing one line to standard error, the Linux stand-in for the
    // debugger trace channel.
    std::function<void(std::string_view text)> trace = writeTraceToStandardError;

    // Registers echo, exit, print, quit, timeslice.set and timeslice.stop, in that
    // order. The handlers refer to this console, which must outlive the registry's use of them.
    void registerCommands(CommandRegistry& registry);

    // Process-wide values kept for timesliced script execution. Nothing runs such
    // scripts, so nothing reads them; the commands only store and clear them.
    int timesliceDelay() const { return m_timesliceDelay; }
    const std::string& timesliceScript() const { return m_timesliceScript; }
    void setTimesliceScript(std::string script) { m_timesliceScript = std::move(script); }

    static void writeTraceToStandardError(std::string_view text);
    // The integer at the front of the text as atoi reads it (leading white space, a
    // sign, digits), 0 for null or no digits; values past the int range saturate
    // instead of overflowing.
    static int parseDecimal(const char* text);

private:
    int m_timesliceDelay = 0;
    std::string m_timesliceScript;
};

// The process-wide console whose commands start-up registers.
ScriptConsole& scriptConsole();
