#include "app/main/GridLineDelegate.h"

#include <QPainter>

void TGridLineDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                              const QModelIndex& Index) const {
    QStyledItemDelegate::paint(Painter, Option, Index);
    Painter->save();
    Painter->setPen(Option.palette.color(QPalette::Midlight));
    Painter->drawLine(Option.rect.topRight(), Option.rect.bottomRight());
    Painter->drawLine(Option.rect.bottomLeft(), Option.rect.bottomRight());
    Painter->restore();
}
