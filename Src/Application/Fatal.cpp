#include "Fatal.h"

#include "DocumentController.h"
#include "ErrorMessages.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr size_t kFatalTextLimit = 1024;
constexpr const char* kSupportAddress = "https://vellumin.org/support";

std::atomic<bool> crashFlag{false};
std::atomic<bool> startupWaitReleased{false};

WindowLayer* layerFor(DocumentController* controller)
{
    return controller ? &controller->window() : windowLayer();
}

// The box itself, with the cursor rule every box follows.
MessageAnswer askWithCursor(DocumentController* controller, const std::string& text, const std::string& caption,
                            MessageIcon icon, bool yesNo, bool cancel)
{
    WindowLayer* window = layerFor(controller);
    if (!window) return MessageAnswer::Other;
    window->setCursor(SystemCursor::Arrow);
    MessageAnswer answer = window->messageBox(controller != nullptr, text, caption, icon, yesNo, cancel);
    if (controller) controller->restoreToolCursor();
    return answer;
}

std::string cut(std::string text)
{
    if (text.size() > kFatalTextLimit - 1) text.resize(kFatalTextLimit - 1);
    return text;
}

}  // namespace

int32_t showMessage(DocumentController* controller, const std::string& text, const std::string& caption, int32_t kind)
{
    MessageAnswer answer;
    switch (kind) {
    case MESSAGE_PLAIN: answer = askWithCursor(controller, text, caption, MessageIcon::NoIcon, false, false); break;
    case MESSAGE_WARNING: answer = askWithCursor(controller, text, caption, MessageIcon::Warning, false, false); break;
    case MESSAGE_QUESTION: answer = askWithCursor(controller, text, caption, MessageIcon::Question, true, false); break;
    case MESSAGE_YES_NO_CANCEL:
        answer = askWithCursor(controller, text, caption, MessageIcon::Warning, true, true);
        break;
    default: return ANSWER_OTHER;
    }
    return static_cast<int32_t>(answer);
}

void fatal(DocumentController* controller, int32_t code)
{
    std::string text = cut(messageFor(code));
    // The terminal (or the session log) hears it too.
    std::fputs(text.c_str(), stderr);
    if (!controller) {
        askWithCursor(nullptr, text, "Error Message", MessageIcon::Warning, false, false);
    } else if (controller->isClean()) {
        showMessage(controller, text, "Error Message", MESSAGE_WARNING);
    } else {
        text = cut(text + "\nAttempt to save changes to the canvas?");
        // Until the work is saved or the user declines: a rescue save that fails (an
        // unwritable folder, a full disk) asks again instead of losing the canvas.
        while (askWithCursor(controller, text, "Error Message", MessageIcon::Warning, true, false) ==
               MessageAnswer::Yes) {
            std::string path = controller->chooseSaveAsPath();
            if (path.empty()) break;
            if (controller->saveDocument(path)) break;
        }
    }
    if (controller) controller->markClean();
    WindowLayer* window = layerFor(controller);
    if (window) window->exitProcess(0);
    std::exit(0);
}

bool crashPrompt()
{
    crashFlag.store(true);
    startupWaitReleased.store(true);
    if (DocumentController* controller = theController()) controller->askSaveBeforeExit(true);
    std::string text =
        std::string("Sorry, but Vellumin is terminating itself due to an unexpected problem.\r\n\r\n"
                    "Would you like to save crash dumps to your documents folder?\r\n\r\n"
                    "These can be included with a bug report to ") +
        kSupportAddress + " to help us fix the problem.";
    WindowLayer* window = windowLayer();
    if (!window) return true;
    window->setCursor(SystemCursor::Arrow);
    return window->messageBox(false, text, "Vellumin has crashed!", MessageIcon::Error, true, false) ==
           MessageAnswer::Yes;
}

bool crashInProgress() { return crashFlag.load(); }
