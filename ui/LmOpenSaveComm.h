// The program's file dialogs: Qt's own file dialog (never the desktop's native one, so that
// panel forms can be placed in it) with panel forms docked on its sides, captions of its
// controls, a chosen set of visible controls, the places bar as its side bar, an extended
// filter, the list views' styles, tool bar options, events around navigation and the file-name
// box, an event hook, share violations (a busy or locked file), and a position of its own.
//
// Panel forms belong to the application: they are found by name when the dialog shows, placed
// in it for that run and handed back (hidden, with their earlier parent) on every way out,
// including the dialog's own deletion.
#pragma once

#include "ui/LmDlgParams.h"
#include "ui/LmFileFilter.h"
#include "ui/LmListViewStyles.h"
#include "ui/LmPlacesBar.h"

#include <QFileDialog>
#include <QPointer>
#include <functional>
#include <vector>

class QAbstractButton;
class QGridLayout;
class QLineEdit;

struct TLmOpenOptions {
    bool AllowMultiSelect = false;
    // With AllowMultiSelect: Open with folders among the selected items chooses them, folders
    // and files alike, instead of entering the first folder (a double click still enters one).
    bool AllowFolders = false;
    bool FileMustExist = false;
    bool OverwritePrompt = false;
    bool ShowHidden = false;
};

// The dialog's tool bar: flat buttons, and a bar of its own that adds the Desktop button.
struct TLmToolBarOptions {
    bool Flat = true;
    bool CustomBar = false;
};

// A message of the running dialog: an event (Event) on the dialog or one of its controls
// (Target), or, once one of the dialog's commands has run, that command (Event null).
enum TLmDialogCommand {
    cmdNone,
    cmdOk,
    cmdNewFolder,
    cmdDesktop,
    cmdUpLevel,
    cmdLastFolder,
    cmdFileNameChange
};
struct TLmDialogMessage {
    QObject* Target = nullptr;
    QEvent* Event = nullptr;
    TLmDialogCommand Command = cmdNone;
};

// What a share-violation handler returns: -1 leaves the dialog's own handling (a warning, and
// the dialog stays open); ShareWarn the same; ShareNoWarn stays open without a word;
// ShareFallThrough takes the file all the same.
inline constexpr int ShareDefault = -1, ShareWarn = 0, ShareNoWarn = 1, ShareFallThrough = 2;

// The file list's view styles; Qt's file dialog offers the list and the report (details) view.
enum TLmViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

class TLmCustomOpenDialog : public QFileDialog {
    Q_OBJECT
public:
    using TNotify = std::function<void(TLmCustomOpenDialog& Sender)>;
    using TQuery = std::function<void(TLmCustomOpenDialog& Sender, bool& AllowProceed)>;
    using TStyleNotify = std::function<void(TLmCustomOpenDialog& Sender, TLmViewStyle AStyle)>;
    using TStyleQuery =
        std::function<void(TLmCustomOpenDialog& Sender, TLmViewStyle AStyle, bool& AllowChange)>;
    using TMessageQuery =
        std::function<void(TLmCustomOpenDialog& Sender, const TLmDialogMessage& Msg, bool& AllowDispatch)>;
    using TMessageNotify = std::function<void(TLmCustomOpenDialog& Sender, const TLmDialogMessage& Msg)>;
    using TShareViolation =
        std::function<void(TLmCustomOpenDialog& Sender, int& DlgResult, const QString& FileName)>;

    explicit TLmCustomOpenDialog(QWidget* Owner = nullptr, bool Save = false);
    ~TLmCustomOpenDialog() override;

    // The ordinary file-dialog properties.
    QString Title;
    QString Filter; // "Text|*.a;*.b|..."
    int FilterIndex = 1;
    QString FileName; // the chosen file after Execute; the one to preselect before
    QStringList Files;
    QString DefaultExt;
    QString InitialDir;
    TLmOpenOptions Options;

    TLmCustDlgParams DlgParams;
    TLmOpenDlgCaptions DlgItemsCaptions;
    TLmOpenDlgControls VisibleControls = AllDlgControls;
    TLmSelectionType SelectionType = stStandard;
    TLmPlacesBarOptions PlacesBar;
    TLmFileFilter ExtFilter;
    TLmListViewStyles ListViewStyles;
    TLmToolBarOptions ToolBar;

    TQuery OnFilenameEntering, OnFolderCreating, OnDesktopNavigating, OnUpLevelNavigating,
        OnLastFolderNavigating;
    TNotify OnDesktopNavigate, OnUpLevelNavigate, OnLastFolderNavigate, OnFilenameChange;
    // While the dialog runs: every event of the dialog and its controls is offered first (a
    // refusal drops it); after each command above has run, its message comes last.
    TMessageQuery OnEventHooking;
    TMessageNotify OnEventHook;
    // The chosen file is busy or locked by another program (an executable that runs, a file
    // under another program's lock); DlgResult comes in as -1 (see ShareDefault).
    TShareViolation OnShareViolation;
    // The Help button, shown when DlgItemsCaptions.Help gives it a caption, was pressed.
    TNotify OnHelp;
    // The read-only box, shown when DlgItemsCaptions.ReadOnlyFlag gives it a caption: its state
    // before Execute and the user's choice after.
    bool ReadOnly = false;
    // The user chose another file type; FilterIndex is the new one. In a save dialog with a
    // default extension, a type of one extension makes that the extension a bare name gets.
    TNotify OnTypeChange;
    // The file list is about to change its view style (a refusal keeps the old one) / changed it.
    TStyleQuery OnSelectionStyleChanging;
    TStyleNotify OnSelectionStyleChange;

    // The file list's view style (vsList when there is no list).
    TLmViewStyle SelectionStyle() const;

    // One modal run; true when the user confirmed.
    bool Execute();
    // The dialog that runs now (the innermost of nested runs), or nullptr.
    static TLmCustomOpenDialog* Current();

    // While the dialog runs: the text of its file-name box, and a click on OK (1) or Cancel (2).
    QString FileNameText() const;
    void Press(int Button);

    void accept() override;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

    // Each event fires through an operation of its own, so that a descendant can react without
    // assigning the event; the queries answer whether the step may go on.
    virtual void DoIncludeFile(const QString& AFileName, bool& IncludeFile);
    virtual void DoDesktopNavigate();
    virtual bool DoDesktopNavigating();
    virtual void DoUpLevelNavigate();
    virtual bool DoUpLevelNavigating();
    virtual void DoLastFolderNavigate();
    virtual bool DoLastFolderNavigating();
    virtual void DoSelectionStyleChange(TLmViewStyle AStyle);
    virtual bool DoSelectionStyleChanging(TLmViewStyle AStyle);
    virtual bool DoFolderCreating();
    virtual void DoFilenameChange();
    virtual bool DoFilenameEntering();
    virtual void DoEventHook(const TLmDialogMessage& Msg);
    virtual bool DoEventHooking(const TLmDialogMessage& Msg);
    virtual void DoShareViolation(int& DlgResult, const QString& FileName);
    virtual void DoHelp();
    virtual void DoTypeChange();

private:
    class THook;
    enum TPanelSide { psLeft, psRight, psTop, psBottom, psCustom };
    struct TPanel {
        QPointer<QWidget> Form;
        QPointer<QWidget> OldParent;
        Qt::WindowFlags OldFlags;
        QRect OldGeometry;
        bool OldVisible = false;
        TPanelSide Side = psBottom;
    };
    void PrepareControls();
    void ApplyPlacesBar();
    void AttachPanels();
    void DetachPanels();
    // What the docked panels and the places bar of our own add to the dialog's size.
    QSize PanelsExtent() const;
    void PositionDialog();
    QAbstractButton* OkButton() const;
    QAbstractButton* CancelButton() const;
    QAbstractButton* HelpButton() const;
    QLineEdit* FileNameEdit() const;
    bool FilterListEvent(QWidget* View, QEvent* Event);
    // Deselects what the list does not show (the folder it lists, entered by a typed path)
    // when the user chose items in the list.
    void DropUnlistedSelection();
    // The list views' look and mouse behaviour, and the tool bar's, from the options.
    void ApplyViewStyles();
    void ApplyToolBar();
    void ItemEntered(QAbstractItemView* View, const QModelIndex& Index);
    void GoToDesktop();
    void Hooked(TLmDialogCommand Command);
    // The list's delete (its menu item and the Delete key): each selected item after the
    // questions, which go through the dialog set's messages.
    void DeleteSelected();
    // False when a chosen file is in use and the share-violation handling keeps the dialog open.
    bool PassesShareCheck(const QStringList& Chosen);
    // The names typed in quotes in the name box ("a" "b" ...), with their folders.
    QStringList QuotedNames() const;
    // Puts the OK caption back where the file dialog renamed its button "Open" for a chosen or
    // entered folder: the button keeps the caption the program gave it.
    void KeepAcceptCaption();
    // Moves every item of the dialog's grid by Rows and Columns.
    void ShiftGrid(int Rows, int Columns);
    void TypeChanged();
    // The places bar of our own (visible, not the desktop's): its places as the side bar's
    // entries, its menu, and folders dropped or moved on it.
    QWidget* PlacesBarView() const;
    void FillPlacesBar();
    // Each row of the side bar shows its place's caption, and its hint as the tooltip.
    void LabelPlaces();
    bool FilterPlacesEvent(QEvent* Event);
    void EditPlace(int Index); // -1 adds one
    void AskDeletePlace(int Index);
    void PlacesEdited();
    void PlacesMessage(const QString& Caption, const QString& Text);
    // A save dialog's bare names take the extension of the chosen type when it has just one.
    void FollowTypeExtension();

    bool FSave;
    std::vector<TPanel> FPanels;
    int FShiftRows = 0, FShiftColumns = 0;
    QSize FLastSize; // the size of the last run, less the panels and the places bar
    TLmCustomOpenDialog* FPrevious = nullptr;
    TLmViewStyle FStyle = vsList;
    std::vector<int> FPlaceRows; // the place behind each entry of the side bar
    QStringList FChosen;         // the items Open chose with folders among them
    QMetaObject::Connection FLabelling;
    bool FInLabelPlaces = false;
    QObject* FHook = nullptr; // the event hook while the dialog runs
    bool FRunning = false;    // within Execute's modal run
    QPointer<TLmOneClickStyle> FOneClickStyle;
};

// The one extension of the file type at Index (1-based) of a "Text|*.a|..." filter, without
// its dot; empty when that type has several patterns or a wildcard in its extension.
QString FilterExtension(const QString& Filter, int Index);

// Finds an application form by its name: the form whose class name is "T" + Name, without
// regard to case; nullptr when there is none.
QWidget* FindApplicationForm(const QString& Name);
