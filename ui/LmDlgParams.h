// The settings of the file dialogs that are not the file dialog's own: where the dialog stands,
// which panel forms dock on which side, the captions of its controls and which controls show.
#pragma once

#include <QRect>
#include <QString>

enum TLmDlgPosition { dpDefault, dpScrCenter, dpMainFormCenter, dpOwnerCenter, dpFormCenter };

struct TLmPosParams {
    QString FormName; // the form dpFormCenter centres on
    int ShiftX = 0;
    int ShiftY = 0;
    bool FitToScreen = false;
};

class TLmCustDlgParams {
public:
    TLmDlgPosition Position = dpDefault;
    TLmPosParams PosParams;
    // The panel kinds each side takes.
    bool LeftPanels = true, RightPanels = true, TopPanels = true, BottomPanels = true;
    // Panel forms, found by name among the application's forms ("T" + name is the class name).
    // A side whose kind is off takes no name: setting one stores nothing (the name such a side
    // shows, "Not supported", comes back the same way, without a word).
    void SetLeftFormName(const QString& Name);
    void SetRightFormName(const QString& Name);
    void SetTopFormName(const QString& Name);
    void SetBottomFormName(const QString& Name);
    const QString& LeftFormName() const { return FLeftFormName; }
    const QString& RightFormName() const { return FRightFormName; }
    const QString& TopFormName() const { return FTopFormName; }
    const QString& BottomFormName() const { return FBottomFormName; }
    QString CustFormName;

private:
    QString FLeftFormName, FRightFormName, FTopFormName, FBottomFormName;
};

// Captions of the standard controls; an empty one keeps the dialog's own text.
struct TLmOpenDlgCaptions {
    QString OK, Cancel, Help, ReadOnlyFlag, FileType, FileName, LookIn;
};

enum TLmOpenDlgControl : unsigned {
    dcFolderCombo = 1u << 0,
    dcFolderLabel = 1u << 1,
    dcSelectionCtrl = 1u << 2,
    dcOkBtn = 1u << 3,
    dcCancelBtn = 1u << 4,
    dcFileName = 1u << 5,
    dcFileNameLabel = 1u << 6,
    dcFileType = 1u << 7,
    dcFileTypeLabel = 1u << 8,
    dcToolBar = 1u << 9,
};
using TLmOpenDlgControls = unsigned;
inline constexpr TLmOpenDlgControls AllDlgControls = (1u << 10) - 1;

enum TLmSelectionType { stStandard, stCustom };

// Where a dialog of Size stands: Center is the centre chosen by the position (an invalid point
// leaves Current as the system put it), moved by the shifts and, with FitToScreen, back inside
// Screen with its size kept.
QRect DialogPosition(const QRect& Current, const QPoint& Center, const TLmPosParams& Params,
                     const QRect& Screen);
