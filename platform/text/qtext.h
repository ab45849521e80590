// Text across the widget boundary: widgets hold Unicode (QString), the program its code page.
#pragma once
#include <QFile>
#include <QString>
#include <string>

#include "platform/text/codepage.h"

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

// Machine paths stay the file system's bytes; these show them and take them back.
inline QString PathToQ(const std::string& path) { return QFile::decodeName(path.c_str()); }
inline std::string PathFromQ(const QString& path) { return QFile::encodeName(path).toStdString(); }

} // namespace orvix
