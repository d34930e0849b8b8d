// ToolCommands: the menu and hotkey commands of the tools, view navigation, pens
// and undo/redo, registered by name with the command registry.
//
// The shell registers them at start-up after the console's commands and "bind", and
// before the default key combos (CommandRegistry.h, START-UP ORDER). Every handler
// acts on the process-wide controller and does nothing while there is none.
#pragma once

class CommandRegistry;

void registerToolCommands(CommandRegistry& registry);
