#include "app/main/ListStyles.h"

#include "app/common/AppSettings.h"

unsigned ListStylesOf(const TAppSettings& Settings) {
    unsigned styles = 0;
    if (Settings.FullRowSelect) styles |= lvxFullRowSelect;
    if (Settings.ShowGridLines) styles |= lvxGridLines;
    if (Settings.DoubleClickSel) return styles | lvxHeaderDragDrop | lvxInfoTip;
    const unsigned tracking = lvxTrackSelect | lvxHeaderDragDrop | lvxOneClickActivate | lvxInfoTip;
    switch (Settings.MouseSelection) {
    case 1:
        return styles | tracking | lvxUnderlineHot;
    case 2:
        return styles | tracking;
    case 3:
        return styles | tracking | lvxUnderlineHot | lvxUnderlineCold;
    default:
        return styles;
    }
}
