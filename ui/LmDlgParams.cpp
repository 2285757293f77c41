#include "ui/LmDlgParams.h"

#include <algorithm>

QRect DialogPosition(const QRect& Current, const QPoint& Center, const TLmPosParams& Params,
                     const QRect& Screen) {
    QRect rect = Current;
    if (!Center.isNull()) rect.moveCenter(Center);
    rect.translate(Params.ShiftX, Params.ShiftY);
    if (Params.FitToScreen && Screen.isValid()) {
        rect.moveLeft(std::max(Screen.left(), std::min(rect.left(), Screen.right() - rect.width() + 1)));
        rect.moveTop(std::max(Screen.top(), std::min(rect.top(), Screen.bottom() - rect.height() + 1)));
    }
    return rect;
}

void TLmCustDlgParams::SetLeftFormName(const QString& Name) {
    if (LeftPanels) FLeftFormName = Name;
}

void TLmCustDlgParams::SetRightFormName(const QString& Name) {
    if (RightPanels) FRightFormName = Name;
}

void TLmCustDlgParams::SetTopFormName(const QString& Name) {
    if (TopPanels) FTopFormName = Name;
}

void TLmCustDlgParams::SetBottomFormName(const QString& Name) {
    if (BottomPanels) FBottomFormName = Name;
}
