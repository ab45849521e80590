#include "model/fieldtext.h"

#include "platform/ui/ui.h"

namespace orvix {

namespace {

// The refused letter's index in the widget's text, from its line and column (in letters).
qsizetype Place(const QString& typed, const TextRefusal& why)
{
    size_t line = 1, column = 1;
    for (qsizetype i = 0; i < typed.size(); ++i) {
        if (typed[i].isLowSurrogate())
            continue;
        if (line == why.line && column == why.column)
            return i;
        if (typed[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return typed.size();
}

bool g_refusing = false;

} // namespace

bool TakeTyped(const QString& typed, std::string& text, const std::string& field, qsizetype* at, qsizetype* length)
{
    TextRefusal why;
    std::string taken;
    if (FromQ(typed, taken, &why)) {
        text = std::move(taken);
        return true;
    }
    const qsizetype place = Place(typed, why);
    if (at)
        *at = place;
    if (length)
        *length = place < typed.size() ? (typed[place].isHighSurrogate() ? 2 : 1) : 0;
    if (!g_refusing) {
        g_refusing = true;
        MessageBox(RefusalMessage(why, field, false), MB_ICONWARNING);
        g_refusing = false;
    }
    return false;
}

} // namespace orvix
