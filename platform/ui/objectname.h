// The object names of the pages' controls, by which tests find them.
#pragma once
#include <QObject>
#include <QString>

namespace orvix {

// Gives a control the object name "ctl<id>" of its resource id, by which tests find it.
template <class W>
W* Named(W* widget, int id)
{
    widget->setObjectName(QStringLiteral("ctl%1").arg(id));
    return widget;
}

} // namespace orvix
