// CommandRegistry.h — named commands and the line-oriented script language that runs them.
//
// Every keyboard-reachable operation is a command: a name, a help text and a handler
// taking one argument. A key binding (KeyBindings.h) stores a script line such as
// "menuUndo" or "timeslice.set 250"; pressing its key runs that line here.
//
// SCRIPT RULES (runLine)
//   - The name runs from the first byte of the line to the first space, "\r", "\n" or
//     end of text. Leading spaces are not skipped: a line starting with a space runs nothing.
//   - Names are exact, case-sensitive byte strings; an unknown name runs nothing, silently.
//   - The argument is what follows the spaces after the name, up to the line break,
//     trailing spaces included; a line with nothing after the name passes null.
//   - "\n", "\r" and "\r\n" all end a line; runs of line breaks are skipped, so empty
//     lines never run.
//   - A name longer than COMMAND_NAME_MAX_BYTES never matches; a line longer than
//     SCRIPT_LINE_MAX_BYTES is skipped whole (see runLine).
//   - Text ends at its end or at the first zero byte, whichever comes first.
//
// START-UP ORDER (the shell's step of registering commands)
//   scriptConsole().registerCommands(commandRegistry());      echo exit print quit timeslice.*
//   registerBindCommand(commandRegistry(), keyBindings());     bind
//   the menu and hotkey handlers, then addDefaultBindings(keyBindings());
//   then the brush and GUI script commands and "draw.smoke".
// A handler may also arrive after its key was bound: bindings name commands, they
// do not hold handlers.
//
// Handlers may register commands or change bindings while they run; that takes
// effect for later lines. Main thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "StringMap.h"

// The argument is a null-terminated string, or null when the line has none.
using CommandHandler = std::function<void(const char* argument)>;

struct CommandEntry {
    std::string name;
    std::string description;  // the help text; empty for menu and hotkey commands
    CommandHandler handler;
};

// A script line (name, spaces and argument, without its line break) holds at most this many bytes.
inline constexpr std::size_t SCRIPT_LINE_MAX_BYTES = 1024;
// A command name holds at most this many bytes.
inline constexpr std::size_t COMMAND_NAME_MAX_BYTES = 256;

class CommandRegistry {
public:
    // Inserts the command, or replaces the description and handler of the one with
    // this name. Returns false (and changes nothing) for a name no script line could
    // ever reach — empty, longer than COMMAND_NAME_MAX_BYTES, or holding a space,
    // "\r", "\n" or zero byte — and for an empty handler.
    bool registerCommand(std::string_view name, std::string_view description, CommandHandler handler);
    // The same with an empty description (menu and hotkey commands).
    bool registerCommand(std::string_view name, CommandHandler handler);

    // Runs every line of the text in order.
    void runScript(std::string_view text);
    // Runs the first line of the text and returns how many bytes it consumed: the line
    // and every "\r" and "\n" after it.
    std::size_t runLine(std::string_view text);

    // The entry registered under exactly this name, or null.
    const CommandEntry* findCommand(std::string_view name) const;
    std::size_t commandCount() const { return m_commands.size(); }

    static bool isValidCommandName(std::string_view name);

private:
    StringMap<CommandEntry> m_commands;
};

// The process-wide registry the shell, the panels and the bindings share.
CommandRegistry& commandRegistry();
