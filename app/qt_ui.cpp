#include "app/qt_ui.h"

#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>

#include "app/filedialogs.h"
#include "document/datapathdlg.h"
#include "model/fieldtext.h"
#include "platform/text/qtext.h"
#include "tasklang/transformdlg.h"

namespace orvix {

bool EndActiveModal()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
        return false;
    // The key itself, not reject(): a message box's answer is the button Escape clicks.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(modal, &escape);
    return true;
}

int CQtUI::MessageBox(const std::string& text, unsigned style, const std::string& caption)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(ToQ(caption));
    box.setText(ToQ(text));
    switch (style & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    switch (style & 0xF) {
    case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MB_YESNOCANCEL: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Cancel: return IDCANCEL;
    default: return IDOK;
    }
}

int CQtUI::RunModal(QDialog& dialog)
{
    return dialog.exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CQtUI::Beep() { QApplication::beep(); }

bool CQtUI::AskDataFolder(std::string& folder)
{
    CDataPathDlg dialog;
    dialog.SetDirectory(folder);
    if (RunModal(dialog) != IDOK)
        return false;
    folder = dialog.Directory();
    return true;
}

bool CQtUI::AskTransform(std::string& name, std::string& expression)
{
    CTransformDlg dialog;
    if (RunModal(dialog) != IDOK)
        return false;
    name = dialog.name;
    expression = dialog.expression;
    return true;
}

bool CQtUI::AskPassword(const std::string& prompt, std::string& password)
{
    // Asked again, with the letter named, until the password can be the program's text.
    QString text;
    for (;;) {
        bool ok = false;
        text = QInputDialog::getText(QApplication::activeWindow(), "Password", ToQ(prompt), QLineEdit::Password,
                                     text, &ok);
        if (!ok)
            return false;
        if (TakeTyped(text, password, "the password"))
            return true;
    }
}

bool CQtUI::AskOpenFile(std::string& path, const std::string& filter)
{
    return AskExistingFile(QApplication::activeWindow(), path, filter);
}

bool CQtUI::AskSaveAsFile(std::string& path)
{
    std::string chosen = AskSaveAsPath(QApplication::activeWindow(), path);
    if (chosen.empty())
        return false;
    path = chosen;
    return true;
}

} // namespace orvix
