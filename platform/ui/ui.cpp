#include "platform/ui/ui.h"

#include <cstdio>

#include "platform/text/codepage.h"

namespace orvix {

namespace {

// Without a GUI: the text goes to stderr and the default button answers.
class CConsoleUI : public IUserInterface {
public:
    int MessageBox(const std::string& text, unsigned style, const std::string& caption) override
    {
        fprintf(stderr, "%s: %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
        return DefaultAnswer(style);
    }
    int RunModal(QDialog&) override { return IDCANCEL; }
    void Beep() override {}
    static int DefaultAnswer(unsigned style)
    {
        switch (style & 0xF) {
        case MB_YESNO:
        case MB_YESNOCANCEL:
            return IDYES;
        default:
            return IDOK;
        }
    }
};

CConsoleUI g_consoleUI;
IUserInterface* g_ui = &g_consoleUI;

} // namespace

IUserInterface& UI() { return *g_ui; }
void SetUI(IUserInterface* ui) { g_ui = ui ? ui : &g_consoleUI; }

int MessageBox(const std::string& text, unsigned style) { return UI().MessageBox(text, style, "Orvix"); }

CScriptedUI::CScriptedUI() : previous_(g_ui) { SetUI(this); }

CScriptedUI::~CScriptedUI()
{
    if (g_ui == this)
        SetUI(previous_ == this ? nullptr : previous_);
}

int CScriptedUI::MessageBox(const std::string& text, unsigned style, const std::string&)
{
    messages.push_back({text, style});
    if (!answers.empty()) {
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return CConsoleUI::DefaultAnswer(style);
}

int CScriptedUI::RunModal(QDialog& dialog)
{
    ++modalRuns;
    return onModal ? onModal(dialog) : IDCANCEL;
}

bool CScriptedUI::AskDataFolder(std::string& folder)
{
    ++modalRuns;
    return onAskDataFolder && onAskDataFolder(folder);
}

bool CScriptedUI::AskTransform(std::string& name, std::string& expression)
{
    ++modalRuns;
    return onAskTransform && onAskTransform(name, expression);
}

bool CScriptedUI::AskPassword(const std::string& prompt, std::string& password)
{
    ++modalRuns;
    return onAskPassword && onAskPassword(prompt, password);
}

bool CScriptedUI::AskOpenFile(std::string& path, const std::string& filter)
{
    ++modalRuns;
    return onAskOpenFile && onAskOpenFile(path, filter);
}

bool CScriptedUI::AskSaveAsFile(std::string& path)
{
    ++modalRuns;
    return onAskSaveAsFile && onAskSaveAsFile(path);
}

std::vector<std::string> CScriptedUI::Texts() const
{
    std::vector<std::string> out;
    for (const auto& m : messages)
        out.push_back(m.text);
    return out;
}

} // namespace orvix
