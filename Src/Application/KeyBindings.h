// KeyBindings.h — the table that maps key combinations to script lines, and the
// `bind` command that edits it.
//
// RULES
//   - One command per combination and one combination per command: both maps point
//     at the same records, and a record pushed out of either map is dropped whole.
//   - The reserved combinations (isReservedCombination) are never bound.
//   - Records come from a fixed pool of KEY_BINDING_POOL_SIZE handed out in order over
//     the life of the process; moving a command to a new combination reuses its
//     record, so only new commands use up the pool. A full pool refuses new bindings.
//   - A binding keeps the command text, not the handler: the handler may be
//     registered before or after its key is bound.
//
// KEYBOARD PATH (the shell's character-key callback)
//   if (auto combo = keyComboFromWindowKey(event)) bindings.runBinding(*combo);
//   if (isPlainEscape(event)) controller.finishInteraction();
// Bindings never consume a key: the shell's own handling always follows.
//
// Main thread only.
#pragma once

#include "KeyCombos.h"
#include "StringMap.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CommandRegistry;

inline constexpr std::size_t KEY_BINDING_POOL_SIZE = 1024;

struct KeyBinding {
    std::string command;  // the script line the combination runs, normally one command name
    KeyCombo combo;
    bool bound = false;   // false once another binding has pushed this record out
};

class KeyBindings {
public:
    explicit KeyBindings(CommandRegistry& registry);

    // Binds the combination to the command, replacing whatever either of them was
    // bound to. Used for the defaults. Refuses (false, table unchanged) a reserved or
    // unnamed combination, a command text that is empty or holds a line break or
    // zero byte, and a new record when the pool is used up.
    bool addBinding(std::string_view command, KeyCombo combo);
    // The rule-keeping form behind `bind`: refuses a combination that is bound already
    // (to any command) or reserved; moves a command that has a combination to the new
    // one; otherwise adds the binding.
    bool bindKey(std::string_view command, KeyCombo combo);

    // Runs the script bound to the combination; true when one ran. The key is never
    // consumed: callers go on with their own handling either way.
    bool runBinding(KeyCombo combo);

    // "bind <combination> <command>\r\n" for every bound record in pool order.
    std::string bindingsScript() const;

    const KeyBinding* findByCombination(std::string_view name) const;
    const KeyBinding* findByCommand(std::string_view command) const;
    std::size_t recordsHandedOut() const { return m_pool.size(); }

private:
    void dropRecord(std::size_t index);

    CommandRegistry& m_registry;
    std::vector<KeyBinding> m_pool;  // capacity reserved up front: records never move
    StringMap<std::size_t> m_byCombination;
    StringMap<std::size_t> m_byCommand;
};

// What a `bind` argument asks for.
struct BindRequest {
    KeyCombo combo;
    std::string command;
};

// Parses "<key-combo> <script-command>". The combination token is the text before
// the first space; "Ctrl", "Shift", "Alt" and "Cmd" anywhere in it (case-sensitive)
// set their modifier; the key is Space, Tab or Enter when the token holds that word,
// else its last character. The command is everything after that first space.
// Nothing for a null argument, one with no space, an empty token or an empty command.
std::optional<BindRequest> parseBindArgument(const char* argument);

// Registers `bind` with the help text "usage: bind <key-combo> <script-command>".
void registerBindCommand(CommandRegistry& registry, KeyBindings& bindings);

// The default combinations of the menu and hotkey commands, added in their table order.
void addDefaultBindings(KeyBindings& bindings);

// The process-wide table, running its scripts through commandRegistry().
KeyBindings& keyBindings();
