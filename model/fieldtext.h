// Text typed into a field, taken as the program's text: a letter that the code page cannot
// hold is refused where it is typed, through the UI service, and the field gets it back.
#pragma once
#include <QMetaObject>
#include <QString>
#include <string>

#include "platform/text/qtext.h"

namespace orvix {

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
// it was going first. (A template, for both kinds of
// field.)
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

} // namespace orvix
