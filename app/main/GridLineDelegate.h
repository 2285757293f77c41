// The archive list's cells with grid lines on their right and bottom edges.
#pragma once

#include <QStyledItemDelegate>

class TGridLineDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override;
};
