#include "ScriptedWindowLayer.h"

bool ScriptedWindowLayer::createWindow(const WindowRect& rect, bool maximise)
{
    if (windowCreationFails) return false;
    placed = rect;
    maximised = maximise;
    windowMade = true;
    return true;
}

MessageAnswer ScriptedWindowLayer::messageBox(bool owned, const std::string& text, const std::string& caption,
                                              MessageIcon icon, bool yesNo, bool cancel)
{
    messages.push_back({owned, text, caption, icon, yesNo, cancel, cursor});
    if (messageAnswers.empty()) return yesNo ? MessageAnswer::Other : MessageAnswer::Ok;
    MessageAnswer answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

std::string ScriptedWindowLayer::nextFileAnswer(bool save, const FileDialogRequest& request)
{
    fileDialogs.push_back({save, request});
    if (fileAnswers.empty()) return {};
    std::string answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

std::string ScriptedWindowLayer::chooseOpenPath(const FileDialogRequest& request) { return nextFileAnswer(false, request); }

std::string ScriptedWindowLayer::chooseSavePath(const FileDialogRequest& request) { return nextFileAnswer(true, request); }
