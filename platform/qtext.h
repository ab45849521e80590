// Text across the widget boundary: widgets hold Unicode (QString), the program its code page.
#pragma once
#include <QFile>
#include <QObject>
#include <QString>
#include <string>

#include "platform/codepage.h"

namespace orvix {

// The program's text for a widget.
inline QString ToQ(const std::string& text) { return QString::fromStdString(ToUtf8(text)); }

// Text typed into a widget as the program's text; false, with the letter in `why`, when the
// code page cannot hold one of its letters (the caller refuses the field's value with a message).
inline bool FromQ(const QString& typed, std::string& text, TextRefusal* why = nullptr)
{
    return FromUtf8(typed.toStdString(), text, why);
}

// Text that the program itself put into a widget (a list's lines, a pane, a combo box it
// filled), back as the program's text: every letter ToQ gives comes back as the byte it was.
// A text with a letter the code page cannot hold comes back empty (a number field so typed
// holds no number).
inline std::string FromShown(const QString& shown)
{
    std::string text;
    FromQ(shown, text);
    return text;
}

// Text typed into a field, as the program's text. A letter the code page cannot hold is
// refused where it is typed: a message through the UI service names the letter and the field
// (`field`, program text, reads after "in": "the value of SubjectName"), `text` stays as it
// was and the result is false; `at` and `length` then give the letter's place in `typed`
// (UTF-16 units). A refusal met while the message of another is up (a field that loses the
// focus to the message box) says nothing more.
bool TakeTyped(const QString& typed, std::string& text, const std::string& field, qsizetype* at = nullptr,
               qsizetype* length = nullptr);

// The same for a line edit or a plain-text edit: refused, the field's window and the field get
// the focus back with the letter selected, so that the user can mend it; again once the
// events waiting are done, for a refusal met as the focus leaves the field goes on to where
// it was going first. (A template, so that the platform needs no widgets: it is only ever
// made for them.)
template <class Field>
bool TakeField(Field& edit, std::string& text, const std::string& field)
{
    qsizetype at = 0, length = 0;
    if constexpr (requires { edit.toPlainText(); }) {
        if (TakeTyped(edit.toPlainText(), text, field, &at, &length))
            return true;
    } else {
        if (TakeTyped(edit.text(), text, field, &at, &length))
            return true;
    }
    auto mark = [&edit, at, length] {
        if constexpr (requires { edit.toPlainText(); }) {
            auto cursor = edit.textCursor();
            cursor.setPosition(static_cast<int>(at));
            cursor.setPosition(static_cast<int>(at + length), decltype(cursor)::KeepAnchor);
            edit.setTextCursor(cursor);
        } else {
            edit.setSelection(static_cast<int>(at), static_cast<int>(length));
        }
        // The message's window may hand the activation to another of the program's windows.
        edit.activateWindow();
        edit.setFocus();
    };
    mark();
    QMetaObject::invokeMethod(&edit, mark, Qt::QueuedConnection);
    return false;
}

// Machine paths stay the file system's bytes; these show them and take them back.
inline QString PathToQ(const std::string& path) { return QFile::decodeName(path.c_str()); }
inline std::string PathFromQ(const QString& path) { return QFile::encodeName(path).toStdString(); }

} // namespace orvix
