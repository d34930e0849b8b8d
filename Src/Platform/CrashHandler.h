// The crash handler: a handler for the fatal signals, run on an alternate stack.
//
// On a crash it asks the registered prompt (which offers to save the canvas and then
// asks whether to keep a crash report), writes the report to the user's documents
// folder when the answer is yes (or when no prompt is registered), and ends the
// process with exit code -1. A crash while the handler runs does not prompt again.
// Breakpoint and debugger traps (SIGTRAP) are left to the debugger.
#pragma once

#include <string>

namespace crash {

// Answers true when a crash report should be written.
using Prompt = bool (*)();

// Installs the handler unless it is already installed; returns false on failure.
bool install();
void uninstall();
bool installed();
void setPrompt(Prompt prompt);
// Where reports go: <documents>/Vellumin_MiniDump.dmp.
std::string reportPath();
// Writes a report for `signalNumber` at `address` to `path` (signal-safe calls only).
bool writeReport(const char* path, int signalNumber, const void* address);

}  // namespace crash
