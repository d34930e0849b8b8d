#include "DocumentCommands.h"

#include "CommandRegistry.h"
#include "DocumentController.h"

#include <string>

void registerDocumentCommands(CommandRegistry& registry, std::function<void()> exitProgram)
{
    auto onController = [](void (*action)(DocumentController&)) {
        return [action](const char*) {
            if (DocumentController* controller = theController()) action(*controller);
        };
    };
    registry.registerCommand("menuNewDocument", onController([](DocumentController& c) {
        c.newDocument();
        c.setTitle("Untitled");
    }));
    registry.registerCommand("menuOpenDocument", onController([](DocumentController& c) { c.openDocumentCommand(); }));
    for (int32_t entry = 0; entry < DocumentController::kRecentCapacity; ++entry) {
        registry.registerCommand("menuOpenRecent" + std::to_string(entry + 1), [entry](const char*) {
            if (DocumentController* controller = theController()) controller->openRecentCommand(entry);
        });
    }
    registry.registerCommand("menuSaveDocument", onController([](DocumentController& c) { c.saveCommand(); }));
    registry.registerCommand("menuSaveDocumentAs", onController([](DocumentController& c) { c.saveAsCommand(); }));
    registry.registerCommand("menuExit", [exitProgram](const char*) {
        if (exitProgram) exitProgram();
    });
}
