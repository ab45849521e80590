#include "panel/paramlist.h"

#include <QApplication>
#include <QListWidget>
#include <QPainter>
#include <QTextOption>
#include <algorithm>

namespace orvix {

namespace {

// The blank the item views leave on each side of an item's text.
int TextMargin(const QWidget* widget)
{
    const QStyle* style = widget ? widget->style() : QApplication::style();
    return style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
}

int LineWidth(const QFontMetrics& metrics, const QString& line, int tabStop)
{
    const qsizetype tab = line.indexOf('\t');
    return tab < 0 ? metrics.horizontalAdvance(line) : tabStop + metrics.horizontalAdvance(line.mid(tab + 1));
}

} // namespace

void CParamLineDelegate::Fit(QListWidget& list, int minColumn)
{
    const QFontMetrics metrics(list.font());
    int names = 0;
    for (int i = 0; i < list.count(); ++i) {
        const QString line = list.item(i)->text();
        const qsizetype tab = line.indexOf('\t');
        if (tab >= 0)
            names = std::max(names, metrics.horizontalAdvance(line.left(tab)));
    }
    tabStop_ = names + metrics.horizontalAdvance(' ') * 2;
    int widest = 0;
    for (int i = 0; i < list.count(); ++i)
        widest = std::max(widest, LineWidth(metrics, list.item(i)->text(), tabStop_));
    const int column = std::max(minColumn, widest + 2 * TextMargin(&list) + 2);
    if (list.gridSize().width() != column)
        list.setGridSize(QSize(column, metrics.height() + 2));
    list.viewport()->update();
}

void CParamLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString line = item.text;
    item.text.clear();
    const QWidget* widget = item.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

    const int margin = TextMargin(widget);
    QTextOption text(Qt::AlignLeft | Qt::AlignVCenter);
    text.setWrapMode(QTextOption::NoWrap);
    text.setTabStopDistance(tabStop_);
    const bool selected = item.state & QStyle::State_Selected;
    painter->save();
    painter->setFont(item.font);
    painter->setPen(item.palette.color(item.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled,
                                       selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(QRectF(item.rect.adjusted(margin, 0, -margin, 0)), line, text);
    painter->restore();
}

QSize CParamLineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString line = index.data(Qt::DisplayRole).toString();
    size.setWidth(LineWidth(QFontMetrics(option.font), line, tabStop_) + 2 * TextMargin(option.widget));
    return size;
}

} // namespace orvix
