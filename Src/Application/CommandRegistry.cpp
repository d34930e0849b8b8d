#include "CommandRegistry.h"

#include <algorithm>
#include <string>

namespace {

bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

// Where the line starting at the front of the text ends: the first line break,
// zero byte or the end of the text.
std::size_t lineLength(std::string_view text)
{
    std::size_t length = 0;
    while (length < text.size() && !isLineBreak(text[length]) && text[length] != '\0')
        ++length;
    return length;
}

}  // namespace

bool CommandRegistry::isValidCommandName(std::string_view name)
{
    if (name.empty() || name.size() > COMMAND_NAME_MAX_BYTES)
        return false;
    for (char c : name) {
        if (c == ' ' || isLineBreak(c) || c == '\0')
            return false;
    }
    return true;
}

bool CommandRegistry::registerCommand(std::string_view name, std::string_view description, CommandHandler handler)
{
    if (!isValidCommandName(name) || !handler)
        return false;
    auto found = m_commands.find(name);
    if (found == m_commands.end()) {
        std::string key(name);
        m_commands.emplace(key, CommandEntry{key, std::string(description), std::move(handler)});
        return true;
    }
    found->second.description = description;
    found->second.handler = std::move(handler);
    return true;
}

bool CommandRegistry::registerCommand(std::string_view name, CommandHandler handler)
{
    return registerCommand(name, std::string_view{}, std::move(handler));
}

const CommandEntry* CommandRegistry::findCommand(std::string_view name) const
{
    auto found = m_commands.find(name);
    return found == m_commands.end() ? nullptr : &found->second;
}

std::size_t CommandRegistry::runLine(std::string_view text)
{
    const std::size_t length = lineLength(text);
    std::size_t consumed = length;
    while (consumed < text.size() && isLineBreak(text[consumed]))
        ++consumed;

    // A line that does not fit the line buffer is skipped whole: running its command
    // with a cut-off argument could do something the user never wrote.
    const std::string_view line = text.substr(0, length);
    if (line.size() > SCRIPT_LINE_MAX_BYTES)
        return consumed;

    const std::size_t nameEnd = std::min(line.find(' '), line.size());
    const std::string_view name = line.substr(0, nameEnd);
    // A name longer than the name buffer is not cut down to a prefix that might
    // happen to be a registered name: it simply matches nothing.
    if (name.empty() || name.size() > COMMAND_NAME_MAX_BYTES)
        return consumed;
    const CommandEntry* entry = findCommand(name);
    if (!entry)
        return consumed;

    // The handler may re-register its own name, which would destroy the callable
    // while it runs: call a copy.
    const CommandHandler handler = entry->handler;
    const std::size_t argumentStart = line.find_first_not_of(' ', nameEnd);
    if (argumentStart == std::string_view::npos) {
        handler(nullptr);
    } else {
        const std::string argument(line.substr(argumentStart));
        handler(argument.c_str());
    }
    return consumed;
}

void CommandRegistry::runScript(std::string_view text)
{
    std::size_t position = 0;
    while (position < text.size() && text[position] != '\0')
        position += runLine(text.substr(position));
}

CommandRegistry& commandRegistry()
{
    static CommandRegistry registry;
    return registry;
}
