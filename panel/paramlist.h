// How the parameter pages draw their name/value lines: each line as it is, its tab taken to
// one stop past the longest name, so that every value starts in one column and shows whole;
// the list's columns are as wide as its widest line.
#pragma once
#include <QStyledItemDelegate>

class QListWidget;

namespace orvix {

class CParamLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // Sets the tab stop and the list's column width (at least minColumn) from its lines.
    void Fit(QListWidget& list, int minColumn);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int tabStop_ = 80;
};

} // namespace orvix
