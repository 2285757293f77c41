// The main window: start-up work (first run, settings, toolbar, columns), the archive list and
// its commands, the status bar and light. The operations themselves live in app/ops; the window
// runs them and shows their results. Its units: main_fm.cpp (life of the window and settings),
// main_fmActions.cpp (commands bound to handlers), main_fmList.cpp (opening and listing archives, totals,
// command enabling), main_fmToolbar.cpp (toolbar, sort menu, icons), main_fmSelect.cpp (selection and filter
// commands), main_fmEvents.cpp (the window's observer of the operations of app/ops, and the lister's events),
// main_fmExtract.cpp (extraction and view), main_fmAdd.cpp
// (new, add, password, delete), main_fmOperations.cpp, main_fmArchiveFile.cpp, main_fmTestRepair.cpp,
// main_fmConvert.cpp and main_fmCheckout.cpp (the other operations), main_fmHelp.cpp (help),
// main_fmBackup.cpp (backup sets), main_fmBatch.cpp (batch), main_fmWizard.cpp (wizard),
// main_fmFavourites.cpp (favourites, find), main_fmDragDrop.cpp (drag and drop), main_fmPrint.cpp
// (print, export, version check). The association upkeep is AssociationUpkeep, the start-up work
// ProgramStart; the command line runs without the window (app/cli).
#pragma once

#include "app/dialogs/DialogObserver.h"
#include "app/main/MruList.h"
#include "app/main/WizardHost.h"
#include "app/ops/CheckoutFiles.h"
#include "app/ops/OpAdd.h"
#include "app/ops/OpExtract.h"
#include "engine/core/krvCompBase.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/write/krvWriters.h"

#include <QColor>
#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TfmMain;
}
class QAction;
class QLabel;
class QMimeData;
class QFileSystemModel;
class QMenu;
class QModelIndex;
class TArchiveModel;
class TKorva;
class TCompBase;
class TfmAddBottom;
class TfmAddOptionsBottom;
struct TAddOptionsChoice;
class TfmProgress;
class TfmViewOutput;
class TProgressCyl;
class TAssociationUpkeep;
class TUnBase;
class TStatusLed;
class TUCLinePrinter;
class TZipCommon;
class TZip;
class TCommentEdit;
class TZipCheck;
class TZipRun;
class TOpObserver;
class TWindowObserver;

class TfmMain : public QMainWindow, public TWizardHost {
    Q_OBJECT
public:
    // Arguments: the command line without the program's name.
    explicit TfmMain(QStringList Arguments, QWidget* Parent = nullptr);
    ~TfmMain() override;

    // ---- settings -----------------------------------------------------------------------------
    void ApplyRegSettings();

    // ---- the archive list ---------------------------------------------------------------------
    // Opens an archive the user chose (menu, recent list, explorer, argument): the output
    // window is cleared, then the archive listed.
    void OpenArchiveFile(const QString& FileName);
    void DisplayArchive(const QString& FileName);
    // Lists FileName; true when its type is one the engine knows.
    bool RefreshList(const QString& FileName);
    void DisplayTotals(bool SelectionOnly);
    void EnableMenus();
    void GenerateColumns();
    void GenerateToolbar();
    void GenerateSortMenu();
    // Sorts by the column at Column: ascending when it is not the sorted one, else reversed.
    void SortByColumn(int Column);

    // ---- commands -----------------------------------------------------------------------------
    // The configuration dialog on the page of that index; on OK the settings are saved and
    // applied (the associations only when their page was shown).
    void ConfigurationCommand(int Page);
    void OpenArchiveCommand();
    void OpenRecent(const QString& FileName);
    void CloseArchive();
    void RefreshCommand();
    void SelectAll();
    void DeselectAll();
    void InvertSelection();
    // The group selection with a mask, as typed into its input box.
    void SelectGroup(const QString& Mask, bool Select);
    void ApplyFilter();
    void RemoveFilter();
    // Cancels the running task (an operation or a listing); nothing when none runs.
    void CancelTask();
    bool TaskRunning() const;

    // ---- extraction (main_fmExtract.cpp) ----
    void ExtractCommand();
    // The extraction of Options with the progress window around it; its message when
    // ShowResult (a refused start always says why).
    TExtractResult RunExtraction(const TExtractOptions& Options, bool ShowResult) override;
    // The options of an extraction of the selected rows of the open archive into Folder.
    TExtractOptions SelectedExtraction(const QString& Folder) const;
    void ViewSelected();

    // ---- adding and deleting (main_fmAdd.cpp) ----
    void NewArchiveCommand();
    void AddCommand();
    void PasswordCommand();
    void DeleteCommand();
    // The add of Options with the progress window, its messages (a refusal, a cancel, a full
    // disk, an archive not written; the count when ShowResult) and the archive listed after.
    // None of the files found is left to the caller to tell.
    TAddResult RunAdd(const TAddOptions& Options, bool ShowResult, bool NewArchive = false) override;

    // ---- the shared handlers (main_fmEvents.cpp) ----
    // The output window's text: the errors of the last operations.
    QString OutputLog() const;
    TfmProgress& ProgressWindow() { return *fmProgress; }
    // The temporary folders of the view command, inside the run-from-archive component's
    // folder, which goes with everything in it when the window goes.
    const std::vector<std::string>& ViewFolders() const { return FViewFolders; }

public:
    // ---- other archive operations (main_fmOperations.cpp and the units it names) ----
    // The check-out clean-up question; false when the user cancels.
    bool ExitCheckoutCheck();
    // The workers shared with the command line; each is true when its work succeeded.
    bool CmdTest(const QString& ArchiveName);
    bool CmdRepair(const QString& ZipName);
    bool CmdConvert(const QString& ArchiveName);
    bool CmdVirusScan(const QString& ArchiveName);
    // Target empty: the save dialog asks for it.
    bool CmdMakeSFX(const QString& ArchiveName, const QString& Target);
    void AboutCommand();

    // ---- backup sets (main_fmBackup.cpp) ----
    // Runs one set; true when it was run through to the packing step.
    bool ExecuteBackup(const QString& ScriptPath);
    void GenerateBackupMenu();
    // The backup manager and the runs it asks for.
    void ManageBackupsCommand();

    // ---- batch (main_fmBatch.cpp) ----
    // Tag 1..7: Test, Virus Scan, Make .EXE, Convert, Extract, Create, Add.
    void BatchCommand(int Tag);

    // ---- wizard (main_fmWizard.cpp) ----
    // The wizard, modal, with the window's actions suspended meanwhile.
    void WizardCommand();

    // ---- state --------------------------------------------------------------------------------
    bool Listing() const { return FListing; }
    // The start-up work of the show handler (the argument's archive) is done.
    bool StartupDone() const { return FStartupDone; }
    TKorva& Lister() { return *krvKorva; }
    TArchiveModel& Model() { return *FModel; }
    const TMruList& RecentList() const { return dfmruMainList; }
    QColor LedColor() const;
    QString InstallProgram() const { return QString::fromStdString(FInstallProgram); }
    QString PanelText(int Panel) const;
    int RatioGauge() const;
    // One line per fact of the window (caption, columns, panels, rows), for scripts and tests.
    QString StateReport() const;

    // Starts a program (the viewer, xdg-open) with Arguments; tests put their own in OnLaunch.
    bool LaunchProgram(const QString& Program, const QStringList& Arguments) override;
    std::function<bool(const QString& Program, const QStringList& Arguments)> OnLaunch;

    // The component the cancel path reaches: the running writer, else the running reader.
    TZipCommon* CurrentWriter = nullptr;
    TZipCommon* CurrentReader = nullptr;

signals:
    // The archive list was filled (or emptied) and the window waits again.
    void ListingDone();

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // ---- life (main_fm.cpp) ----
    void FormCreate();
    void FormShow();
    void FormDestroy();
    void ConnectActions();
    // Opens the explorer list's file at Index as an archive.
    void OpenExplorerFile(const QModelIndex& Index);
    void CreateStatusPanels();
    void ApplicationBusy();
    // The light back to green, or amber after a run that Failed.
    void ApplicationWaiting(bool Failed = false);
    // Takes the cancel's "Aborting ..." out of the status bar once the task has ended.
    void ClearAbortingMessage();
    void SetLedColor(const QColor& Color);
    void LoadColumnLayout();
    void SaveColumnLayout() const;
    void LoadPlacement();
    void SavePlacement() const;
    // Each group of commands binds its own actions (ConnectActions calls them).
    void ConnectOperationActions(); // main_fmOperations.cpp
    void ConnectBackupActions();    // main_fmBackup.cpp
    void ConnectBatchActions();     // main_fmBatch.cpp
    void ConnectWizardActions();    // main_fmWizard.cpp
    void ConnectFavouriteActions(); // main_fmFavourites.cpp (favourites, find)
    void ConnectPrintActions();     // main_fmPrint.cpp (print, export, version check)
    void ConnectHelpActions();      // main_fmHelp.cpp

    // ---- backup sets (main_fmBackup.cpp) ----
    // A Quick Backup item: runs the set of its caption.
    void QuickBackupSelect(QAction* Sender);

    // ---- wizard (main_fmWizard.cpp) ----
    // The open archive the wizard offers, and whether the Add command takes it.
    QString WizardArchive(bool& Addable) const override;

    // ---- the list (main_fmList.cpp) ----
    void krvKorvaRead(TZipCommon& Sender, std::int64_t Offset, int FileNum);
    void krvKorvaActivate(TZipCommon& Sender);
    void krvKorvaDeactivate(TZipCommon& Sender);
    void krvKorvaError(TZipCommon& Sender, const std::string& FileName, const std::string& ExtendedMsg,
                       const std::string& VolumeID, int ECode);
    void krvKorvaCorruptZipHeader(TZipCommon& Sender, THeaderTypeState HeadFlag, bool& Cancel);
    void ShowListErrors();
    void NoteInstallProgram(const std::string& Name, const std::string& Folder);
    void SetPanels(const QString& Type, int Ratio, const QString& Files, const QString& Packed,
                   const QString& Unpacked);
    // The panels without an archive.
    void ClearPanels();
    void RebuildRecentMenu();
    bool ArchiveOpen() const;
    // The check of every command on the open archive: false (after the message and closing
    // the archive) when its file is gone.
    bool CheckArchiveExists();
    // The archive's folder becomes the open folder when OpenLast is set.
    void RememberOpenFolder(const QString& FileName);

    // The exact-name masks of the selected rows.
    std::vector<std::string> SelectedEntryMasks() const;
    // The add dialog for a writer of Type: fills Options; false when nothing is to be added.
    bool AddFiles(bool NewArchive, const QString& NewName, TOutArcType Type, TAddOptions& Options);
    // The add-options save dialog (apsdAddOptions) for files from outside the window (dropped,
    // or named on the command line): FileName offered without its extension, the type at
    // FilterIndex (1 bh .. 7 zip), "Save full path info" as SaveFullPath says; each change of
    // type makes its writer current. False when the user cancels.
    bool AddOptionsDialog(const QString& FileName, int FilterIndex, bool SaveFullPath,
                          TAddOptionsChoice& Choice);
    // Its option panel, made on first use and kept (with the window as its owner) for the run.
    TfmAddOptionsBottom* fmAddOptionsBottom = nullptr;

    // ---- other archive operations (main_fmOperations.cpp, main_fmTestRepair.cpp,
    // main_fmConvert.cpp, main_fmArchiveFile.cpp, main_fmCheckout.cpp) ----
    void PropertiesCommand();
    void CommentCommand();
    // The comment window after opening a zip: shown only when the archive has a comment.
    void DisplayCommentIfExist();
    // The comment editor on the comments Edit has read; what changed is written back and a
    // failure shown.
    void EditComment(TCommentEdit& Edit);
    void UUEncodeCommand();
    void MailArchiveCommand();
    void MoveArchiveCommand();
    void CopyArchiveCommand();
    void RenameArchiveCommand();
    void DeleteArchiveCommand();
    // Deletes the open archive's file; false (after the message) when it could not.
    bool DeleteArchive(const QString& Path);
    void CheckOutCommand();
    void InstallCommand();
    // The scanner is set up; otherwise the message that says where to set it up.
    bool VirusScannerConfigured(bool Tell);
    // The save dialog of the repair, self-extractor and file commands (default answer: FileName).
    bool AskSaveName(const QString& Title, QString& FileName, const QString& Filter, bool OverwritePrompt);

    // ---- shared handlers (main_fmEvents.cpp) ----
    void CreateOperationForms();
    void StartProgress();
    void EndProgress();
    bool GetPassword(const QString& FileName, std::string& Password);
    void BindEngineEvents(TZipCommon& Component);
    void ClearOutput();
    void AppendOutput(const QString& Line);
    // Shows Prefix and Name in the status bar; returns the text shown (empty when not shown).
    QString ShowStatusText(const QString& Prefix, const QString& Name, int Reserved);
    // Clears the status bar's text when it is still Shown.
    void ClearStatusText(const QString& Shown);
    void krvUnZipProgress(TZipCommon& Sender, int ProgressByFile, int ProgressByArchive);
    void krvUnGZIPNestedTarFile(const std::string& FileName, bool& doUnTar);
    void krvUnZipGetPassword(TZipCommon& Sender, const std::string& FileName, std::string& Password,
                             bool& TryAgain);
    void krvKorvaNextVolume(TZipCommon& Sender, std::string& VolumeName, const std::string& VolumeID,
                            bool Exists, bool& Cancel);
    // A writer of an output type, kept for the add-options dialog's questions about it.
    TCompBase* WriterFor(TOutArcType Type);
    // The observer of the window's operations: progress window, status bar, output log, and
    // the questions through the dialogs. Quiet: no progress window (a delete).
    friend class TWindowObserver;
    std::unique_ptr<TDialogObserver> MakeObserver(bool Quiet = false);
    // The progress window's bars; true when the user asked to cancel.
    bool ShowProgress(int ProgressByFile, int ProgressByArchive);
    // Every command of the window off while an operation runs (Cancel stays), and back.
    void SuspendCommands(bool Suspend);
    bool FOperationRunning = false;
    bool FCancelRequested = false;
    std::vector<QAction*> FSuspendedActions;

    // ---- print, export and the version check (main_fmPrint.cpp) ----
    // Prints the contents list after the user confirms.
    void acPrintExecute();
    // Tag 1..3: the contents list as a text, CSV or HTML file, named in the save dialog.
    void ExportContentListClick(int Tag);
    // Each writes its file (replacing it whole); false after telling the user why it could not.
    bool ExportText(const QString& FileName);
    bool ExportCSV(const QString& FileName);
    bool ExportHTML(const QString& FileName);
    bool SaveExport(const QString& FileName, const QStringList& Lines);
    void CheckVersionCommand();
    TUCLinePrinter* FLinePrinter = nullptr; // owned by the window, found by its name "UCLinePrinter"

    // ---- toolbar (main_fmToolbar.cpp) ----
    void ApplyIcons();
    void ApplyToolbarLook();
    void ToolbarContextMenu(const QPoint& Pos);
    void ToggleToolbarSetting(const char* Name);
    void ToggleExplorer();
    void ToggleFilter();
    void SetFilterBarVisible(bool Visible);
    void SetExplorerVisible(bool Visible);

    std::unique_ptr<Ui::TfmMain> ui;
    std::unique_ptr<TKorva> krvKorva;                  // the displayed archive
    std::unique_ptr<TKorva> krvUtil;                   // the delete command's own lister
    std::unique_ptr<TAssociationUpkeep> FAssociations; // the shell's bindings of the archive types
    std::unique_ptr<TZipRun> krvZipRun;    // made by the first view; owns the folder views go into
    std::unique_ptr<TCompBase> FWriter;    // the add-options dialog's writer of the chosen type
    bool FExtractedOnce = false;           // an extraction ran (the extract dialog's tree stays put)
    TfmProgress* fmProgress = nullptr;     // owned by the window
    TfmViewOutput* fmViewOutput = nullptr; // owned by the window
    // A form of its own, found by name by the add dialog, which docks it.
    std::unique_ptr<TfmAddBottom> fmAddBottom;
    TArchiveModel* FModel = nullptr; // owned by the window
    QFileSystemModel* FExplorerFolders = nullptr;
    QFileSystemModel* FExplorerFiles = nullptr;
    QMenu* pmExplorerFilePopup = nullptr; // the explorer list's popup menu
    TStatusLed* pbxLed = nullptr;
    std::vector<QLabel*> FPanels;
    TProgressCyl* FRatioGauge = nullptr;
    TMruList dfmruMainList;
    std::vector<QAction*> FSortActions;
    QStringList FArguments;

    // ---- the window-wide state ----
    bool CheckOutActive = false;
    std::string CheckOutFolder, CheckOutGroup;
    TFolderFiles CheckOutWritten; // what the check-out wrote into its folder
    std::string FInstallProgram;
    std::vector<std::string> TempFolders;
    std::vector<std::string> FViewFolders;
    bool FindDone = false;
    QString FExtractTreeFolder; // where the extract dialog's folder tree was left (after a run)

    bool FShown = false;       // the show handler's start-up work ran
    bool FStartupDone = false; // ... and ended
    bool FListing = false;
    bool FCloseWhenListed = false;
    int FSortColumn = 0;
    Qt::SortOrder FSortOrder = Qt::AscendingOrder;
    std::int64_t FListedSoFar = 0;
    bool FCabinet = false;
    QStringList FListErrors;              // what the lister reported while it ran
    bool FCloseWhenListedArchive = false; // the user declined a damaged archive

    // ---- favourites, find, list keys (main_fmFavourites.cpp, main_fmSelect.cpp) and drag and
    // drop (main_fmDragDrop.cpp) ----
public:
    // The favourite items of the Favourites menu rebuilt from the store.
    void RefreshFavourites();
    // Removes the favourite items (every item after the fixed ones).
    void ClearFavourites();
    // Appends Path to the menu and stores it under its number.
    void InsertFavourite(const QString& Path);
    // True when Path is a favourite already.
    bool CheckDupFavourite(const QString& Path) const;
    // Opens the favourite folder of Item in the explorer pane.
    void FavouriteSelect(QAction* Item);
    void AddFavouriteCommand();
    void OrganizeFavouritesCommand();
    void FindCommand();
    void FindNextCommand();
    // Selects the next row that answers the find state (from the top when First); true when
    // one did.
    bool FindFile(bool First);

    // Whether dropped Data may be added now (its file URLs, the open archive's type).
    bool DropFileTargetDragOver(const QMimeData& Data) const;
    // Adds the dropped Paths: to the open archive, else to a new one the user names.
    void DropFileTargetDrop(const QStringList& Paths);
    // Starts a drag-out of the selected rows: a private folder and the data that announces the
    // entries' files in it; the entries are extracted when the data is first asked for.
    // nullptr when nothing can be dragged.
    std::unique_ptr<QMimeData> PrepareDragOut();
    // The extraction of the selected entries into a drag's Folder; true when it ran.
    bool DropFileSourceDrop(const QString& Folder);
    // The end of the drag loop: the window takes drops again. The drag's data may still be
    // asked for (X11 asks after the loop has returned).
    void DropFileSourceAfterDrop();
    // The drag's data is gone: its folder goes at once when nothing was extracted into it, else
    // once the target has had time to copy, and at the latest with the window.
    void DropFileSourceReleased(const QString& Folder, bool Extracted);
    QString DragTempFolder() const { return QString::fromStdString(FDragTempFolder); }

protected:
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;

private:
    void ConnectListKeys();
    void ConnectDragDrop();
    // Runs a drag of the selected rows out of the list (the drag loop returns when it ends).
    void DragOutOfList();

    std::string FDragTempFolder;
    // The find state, kept between find and find next.
    QString FindMask;
    bool FindAnyDate = true;
    bool FindAnySize = true;
    double FindDateFrom = 0, FindDateTo = 0; // whole days (TDateTime)
    int FindSizeOp = 0;                      // 0 >=, 1 <=, 2 =
    std::int64_t FindSizeBytes = 0;
};
