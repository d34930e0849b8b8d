// The message-box convention of the whole program, and the fatal exit.
#pragma once

#include "WindowLayer.h"

#include <cstdint>
#include <string>

class DocumentController;

enum : int32_t {
    MESSAGE_PLAIN = 0,           // OK
    MESSAGE_WARNING = 1,         // warning icon, OK
    MESSAGE_QUESTION = 2,        // question icon, Yes and No
    MESSAGE_YES_NO_CANCEL = 3,   // warning icon, Yes, No and Cancel
};
enum : int32_t { ANSWER_OK = 0, ANSWER_YES = 1, ANSWER_NO = 2, ANSWER_OTHER = 3 };

// Shows a box (owned by the main window when a controller is given) with the system
// arrow while it is open and the tool's cursor afterwards. Any other kind shows
// nothing and answers ANSWER_OTHER.
int32_t showMessage(DocumentController* controller, const std::string& text, const std::string& caption,
                    int32_t kind);

// Tells the user why the program stops, offers to save unsaved work, and ends the
// process with exit code 0. Never returns.
[[noreturn]] void fatal(DocumentController* controller, int32_t code);

// The crash handler's prompt: offers to save, then asks whether to keep a crash
// report. True when the report should be written.
bool crashPrompt();

// Set once the crash prompt has run: a crash is in progress and the start-up wait is released.
bool crashInProgress();
