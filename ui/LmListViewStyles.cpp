#include "ui/LmListViewStyles.h"

#include <QPainter>

TLmListDelegate::TLmListDelegate(const TLmListViewStyles& Styles, QObject* Parent)
    : QStyledItemDelegate(Parent), FStyles(Styles) {}

void TLmListDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                            const QModelIndex& Index) const {
    QStyleOptionViewItem option(Option);
    if (!FStyles.RowSelect && Index.column() > 0 && (option.state & QStyle::State_Selected)) {
        // The row's own panel may have been painted selected already.
        option.state &= ~QStyle::State_Selected;
        Painter->fillRect(option.rect, option.palette.brush(QPalette::Base));
    }
    const bool hot = option.state & QStyle::State_MouseOver;
    if ((hot && (FStyles.HotTrackStyles & htUnderlineHot)) ||
        (!hot && (FStyles.HotTrackStyles & htUnderlineCold)))
        option.font.setUnderline(true);
    QStyledItemDelegate::paint(Painter, option, Index);
    if (!FStyles.GridLines) return;
    Painter->save();
    Painter->setPen(Option.palette.color(QPalette::Midlight));
    Painter->drawLine(Option.rect.topRight(), Option.rect.bottomRight());
    Painter->drawLine(Option.rect.bottomLeft(), Option.rect.bottomRight());
    Painter->restore();
}

int TLmOneClickStyle::styleHint(StyleHint Hint, const QStyleOption* Option, const QWidget* Widget,
                                QStyleHintReturn* Return) const {
    if (Hint == SH_ItemView_ActivateItemOnSingleClick) return 1;
    return QProxyStyle::styleHint(Hint, Option, Widget, Return);
}

QString FlatScrollBarSheet() {
    return QStringLiteral(
        "QScrollBar { border: none; background: palette(base); }"
        "QScrollBar::handle { border: none; background: palette(mid);"
        " min-width: 16px; min-height: 16px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { border: none; width: 0px; height: 0px; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: none; }");
}
