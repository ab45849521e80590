// Text across the widget boundary: the program keeps 8-bit text, widgets show it as Latin-1.
#pragma once
#include <QString>
#include <string>

namespace orvix {

inline QString ToQ(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }
inline std::string FromQ(const QString& text) { return text.toLatin1().toStdString(); }

} // namespace orvix
