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

std::optional<std::string> ScriptedWindowLayer::askText(const TextEntryRequest& request)
{
    textRequests.push_back(request);
    if (textAnswers.empty()) return std::nullopt;
    std::optional<std::string> answer = textAnswers.front();
    textAnswers.pop_front();
    return answer;
}

void ScriptedWindowLayer::showPopupMenu(const MenuBar& menus, int32_t x, int32_t y)
{
    popupMenus.push_back({menus, x, y});
    if (popupChoices.empty()) return;
    const int32_t choice = popupChoices.front();
    popupChoices.pop_front();
    if (choice != 0 && events.special) events.special(choice, x, y);
}
