// The archive list's look and mouse behaviour that the View settings choose.
#pragma once

struct TAppSettings;

enum TLVExtendedStyle : unsigned {
    lvxFullRowSelect = 1u << 0,
    lvxGridLines = 1u << 1,
    lvxHeaderDragDrop = 1u << 2,
    lvxInfoTip = 1u << 3,
    lvxTrackSelect = 1u << 4,
    lvxOneClickActivate = 1u << 5,
    lvxUnderlineHot = 1u << 6,
    lvxUnderlineCold = 1u << 7,
};

// The styles of the settings: full-row selection and grid lines as set; with double-click
// selection only header dragging and info tips; otherwise MouseSelection 1 tracks the mouse,
// activates on one click and underlines the item under the mouse, 2 the same without
// underlining, 3 the same as 1 and underlines every item; other values add nothing.
unsigned ListStylesOf(const TAppSettings& Settings);
