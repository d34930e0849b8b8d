// DocumentCommands: the File menu's document commands (new, open, open recent 1-5,
// save, save as, exit), registered by name with the command registry at start-up.
// Every handler acts on the process-wide controller and does nothing while there is none.
#pragma once

#include <functional>

class CommandRegistry;

// `exitProgram` is the shell's Exit road ("Save changes?", then shutdown).
void registerDocumentCommands(CommandRegistry& registry, std::function<void()> exitProgram);
