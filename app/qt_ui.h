// The user-interface service on Qt widgets.
#pragma once
#include "platform/ui/ui.h"

namespace orvix {

// Ends the modal dialog on top, the one the user answers now, as its Escape would: a dialog
// is cancelled, a message box gets its Cancel, its No or its only button. Its caller goes on
// once the event that called this is over. False when no dialog waits for the user.
bool EndActiveModal();

class CQtUI : public IUserInterface {
public:
    int MessageBox(const std::string& text, unsigned style, const std::string& caption) override;
    int RunModal(QDialog& dialog) override;
    void Beep() override;
    bool AskDataFolder(std::string& folder) override;
    bool AskTransform(std::string& name, std::string& expression) override;
    bool AskPassword(const std::string& prompt, std::string& password) override;
    bool AskOpenFile(std::string& path, const std::string& filter) override;
    bool AskSaveAsFile(std::string& path) override;
};

} // namespace orvix
