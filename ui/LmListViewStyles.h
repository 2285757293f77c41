// The look and mouse behaviour of the file dialogs' list views: hot tracking, one-click
// activation, underlines, grid lines, whole-row or name-only selection and flat scroll bars.
// The delegate paints each cell by the styles; the proxy style gives one-click activation.
#pragma once

#include <QProxyStyle>
#include <QStyledItemDelegate>

// How the file list's items answer the mouse: the hand pointer opens an item with one click;
// the underlines mark the item under the mouse (hot) or every other item (cold).
enum TLmHotTrackStyle : unsigned {
    htHandPoint = 1u << 0,
    htUnderlineCold = 1u << 1,
    htUnderlineHot = 1u << 2
};
using TLmHotTrackStyles = unsigned;

// The file list's look and behaviour: which commands its menu offers and when the menu opens.
struct TLmListViewStyles {
    bool HotTrack = false; // the item under the mouse becomes the current, selected one
    TLmHotTrackStyles HotTrackStyles = 0;
    bool FlatScrollBars = false;
    bool GridLines = false;
    bool RowSelect = false; // the report view highlights the whole row, else only the name
    bool EnableRename = true;
    bool EnableDelete = true;     // off: the delete command is grey and the Delete key does nothing
    bool PopupOnEmpty = true;     // the menu opens with nothing selected
    bool PopupOnSelection = true; // the menu opens with something selected
};

// Paints the cells: grid lines on their right and bottom edges, the selection only on the
// name column unless RowSelect, the underlines of the hot-track styles.
class TLmListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TLmListDelegate(const TLmListViewStyles& Styles, QObject* Parent);
    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override;

private:
    const TLmListViewStyles& FStyles;
};

// The application's style, with items activated by one click.
class TLmOneClickStyle : public QProxyStyle {
    Q_OBJECT
public:
    int styleHint(StyleHint Hint, const QStyleOption* Option, const QWidget* Widget,
                  QStyleHintReturn* Return) const override;
};

// The scroll bars' style sheet with FlatScrollBars: flat, without arrow buttons.
QString FlatScrollBarSheet();
