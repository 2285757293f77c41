// The list's styles that the View settings choose: double-click selection keeps only header
// dragging and info tips; the mouse-selection values 1 to 3 add tracking and one-click
// activation with their underlining; any other value adds nothing.
#include "app/main/ListStyles.h"
#include "app/common/AppSettings.h"

#include <gtest/gtest.h>

TEST(ListStyles, FollowTheViewSettings) {
    const unsigned tracking = lvxTrackSelect | lvxHeaderDragDrop | lvxOneClickActivate | lvxInfoTip;
    struct {
        bool DoubleClick, FullRow, Grid;
        int Mouse;
        unsigned Expected;
    } const cases[] = {
        {true, false, false, 1, lvxHeaderDragDrop | lvxInfoTip},
        {true, true, true, 3, lvxFullRowSelect | lvxGridLines | lvxHeaderDragDrop | lvxInfoTip},
        {false, false, false, 1, tracking | lvxUnderlineHot},
        {false, false, false, 2, tracking},
        {false, true, false, 3, lvxFullRowSelect | tracking | lvxUnderlineHot | lvxUnderlineCold},
        {false, false, false, 0, 0},
        {false, false, true, 4, lvxGridLines},
    };
    for (const auto& c : cases) {
        TAppSettings settings;
        settings.DoubleClickSel = c.DoubleClick;
        settings.FullRowSelect = c.FullRow;
        settings.ShowGridLines = c.Grid;
        settings.MouseSelection = c.Mouse;
        EXPECT_EQ(ListStylesOf(settings), c.Expected) << c.DoubleClick << c.FullRow << c.Grid << c.Mouse;
    }
}
