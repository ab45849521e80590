// The user-interface service: every message box, question, modal dialog run and beep of
// the program goes through it. The GUI installs a Qt implementation; tests install a
// scripted one that records the texts and gives the answers it was told.
#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

class QDialog;

namespace orvix {

// Message-box styles and answers, with the values the program's callers know.
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

class IUserInterface {
public:
    virtual ~IUserInterface() = default;
    // Shows text; returns the button pressed (IDOK, IDCANCEL, IDYES, IDNO).
    virtual int MessageBox(const std::string& text, unsigned style, const std::string& caption) = 0;
    // Runs a modal dialog; returns its result (IDOK / IDCANCEL, or the dialog's own code).
    virtual int RunModal(QDialog& dialog) = 0;
    virtual void Beep() = 0;

    // Questions put through one of the program's own dialogs, for layers that know no
    // widgets. Unanswerable (no window system): cancelled.
    // The data folder does not exist: another one, the current one filled in.
    virtual bool AskDataFolder(std::string& folder) { return false; }
    // "&Transform": the name of a column and the expression that fills it.
    virtual bool AskTransform(std::string& name, std::string& expression) { return false; }
    // A password, asked with the prompt (typed unseen).
    virtual bool AskPassword(const std::string& prompt, std::string& password) { return false; }
    // An existing file, the dialog starting at the one `path` names (in the program's form):
    // on OK `path` is the chosen one. filter: "Command File (*.oxq);;All Files (*.*)".
    virtual bool AskOpenFile(std::string& path, const std::string& filter) { return false; }
    // File > Save As for the document: the dialog starts in the folder of the file `path`
    // names (the program's form; "c:\data\" a folder alone) with its name offered; on OK
    // `path` is the chosen file, a path of this machine.
    virtual bool AskSaveAsFile(std::string& path) { return false; }
};

// The service in force. Never null: without a GUI, messages go to stderr and are answered
// with the default button.
IUserInterface& UI();
void SetUI(IUserInterface* ui);

// The framework's AfxMessageBox in spirit: caption "Orvix".
int MessageBox(const std::string& text, unsigned style = MB_OK);

// Records every message and answers from a queue; for tests.
class CScriptedUI : public IUserInterface {
public:
    struct Message {
        std::string text;
        unsigned style;
    };
    CScriptedUI();
    ~CScriptedUI() override;

    int MessageBox(const std::string& text, unsigned style, const std::string& caption) override;
    int RunModal(QDialog& dialog) override;
    void Beep() override { ++beeps; }
    bool AskDataFolder(std::string& folder) override;
    bool AskTransform(std::string& name, std::string& expression) override;
    bool AskPassword(const std::string& prompt, std::string& password) override;
    bool AskOpenFile(std::string& path, const std::string& filter) override;
    bool AskSaveAsFile(std::string& path) override;

    // The next answers to message boxes, in order; when empty, the default button.
    std::deque<int> answers;
    // Called for each modal dialog; it may fill the dialog's fields. Its result is the
    // dialog's result. Without one, a modal run answers IDCANCEL.
    std::function<int(QDialog&)> onModal;
    // Answers to the program's own questions, which count as modal runs too; unset, they
    // are cancelled.
    std::function<bool(std::string& folder)> onAskDataFolder;
    std::function<bool(std::string& name, std::string& expression)> onAskTransform;
    std::function<bool(const std::string& prompt, std::string& password)> onAskPassword;
    std::function<bool(std::string& path, const std::string& filter)> onAskOpenFile;
    std::function<bool(std::string& path)> onAskSaveAsFile;

    std::vector<Message> messages;
    int modalRuns = 0;
    int beeps = 0;

    // The texts of all messages shown, joined by '\n' per message; convenient for matching.
    std::vector<std::string> Texts() const;

private:
    IUserInterface* previous_;
};

} // namespace orvix
