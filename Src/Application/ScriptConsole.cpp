#include "ScriptConsole.h"

#include "CommandRegistry.h"

#include <climits>
#include <cstdio>

namespace {

bool isAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void ScriptConsole::writeTraceToStandardError(std::string_view text)
{
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

int ScriptConsole::parseDecimal(const char* text)
{
    if (!text)
        return 0;
    while (isAsciiSpace(*text))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    long long magnitude = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; isAsciiDigit(*text); ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude >= limit) {
            magnitude = limit;
            break;
        }
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

void ScriptConsole::registerCommands(CommandRegistry& registry)
{
    const auto traceArgument = [this](const char* argument) {
        if (trace)
            trace(argument ? std::string_view(argument) : std::string_view{});
    };
    const auto exitApplication = [this](const char*) {
        if (requestExit)
            requestExit();
    };
    registry.registerCommand("echo", "outputs the remaining parameter to the trace log", traceArgument);
    registry.registerCommand("exit", "terminates the app", exitApplication);
    registry.registerCommand("print", "outputs the remaining parameter to the trace log", traceArgument);
    registry.registerCommand("quit", "terminates the app", exitApplication);
    registry.registerCommand("timeslice.set",
        "sets the delay between consecutive calls during timesliced script execution",
        [this](const char* argument) { m_timesliceDelay = parseDecimal(argument); });
    registry.registerCommand("timeslice.stop", "stop looping the timeslice script execution",
        [this](const char*) {
            m_timesliceDelay = 0;
            m_timesliceScript.clear();
        });
}

ScriptConsole& scriptConsole()
{
    static ScriptConsole console;
    return console;
}
