// The main window: start-up work (first run, settings, toolbar, columns), the archive list and
// its commands, the status bar and light, and the window-wide state that the archive
// operations share. Its units: main_fm.cpp (life of the window and settings), main_fmList.cpp
// (opening and listing archives, totals, command enabling), main_fmToolbar.cpp (toolbar, sort
// menu, icons), main_fmSelect.cpp (selection and filter commands), main_fmAssoc.cpp
// (association upkeep), main_fmCommandLine.cpp (the command line's switches).
#pragma once

#include "app/main/MruList.h"
#include "engine/core/krvRegisterKorva.h"

#include <QColor>
#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TfmMain;
}
class QAction;
class QLabel;
class QFileSystemModel;
class TArchiveModel;
class TKorva;
class TProgressCyl;
class TRegArchive;
class TStatusLed;
class TZipCommon;

class TfmMain : public QMainWindow {
    Q_OBJECT
public:
    // Arguments: the command line without the program's name.
    explicit TfmMain(QStringList Arguments, QWidget* Parent = nullptr);
    ~TfmMain() override;

    // ---- settings -----------------------------------------------------------------------------
    void ApplyRegSettings();

    // ---- the archive list ---------------------------------------------------------------------
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
    void CancelTask();

    // The switches of two or more arguments; returns the program's exit code.
    int ProcContextMenu();

    // ---- association upkeep (main_fmAssoc.cpp) -------------------------------------------------
    // Brings the shell's bindings in line with the record's flags (administrators only).
    void ApplyFileAssociations();
    // Associates every flagged extension again.
    void RestoreFileAssociations();
    // The registrar's list: every flagged extension, dotted.
    void UpdateRegArchiveExt();
    // The association question; true for Yes.
    bool ShowFileAssociationDlg();
    TRegArchive& RegArchive() { return *krvRegArchive; }

    // ---- state --------------------------------------------------------------------------------
    bool Interactive() const { return FInteractive; }
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
    void FirstRun();
    void FormShow();
    void FormDestroy();
    void ConnectActions();
    void CreateStatusPanels();
    void UpdateTrayProgram();
    void ApplicationBusy();
    void ApplicationWaiting();
    void SetLedColor(const QColor& Color);
    void LoadColumnLayout();
    void SaveColumnLayout() const;
    void LoadPlacement();
    void SavePlacement() const;
    // Commands that later work brings; until then they tell the user so.
    void CommandNotAvailable();

    // ---- associations (main_fmAssoc.cpp) ----
    // The start-up check: when the registrar finds the flagged types not the program's and the
    // user agrees, they are associated again.
    void CheckFileAssociations();
    // The first run's question: Yes associates every type, No resets the bookkeeping.
    void AskFirstAssociation();
    // -SYS -REMOVEREG: previous bindings back, shell extensions and the program's keys removed.
    void RemoveRegistration();
    // -SYS -CONFIG [page]
    void ConfigureFromCommandLine();

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
    std::unique_ptr<TKorva> krvKorva; // the displayed archive
    std::unique_ptr<TKorva> krvUtil;  // the delete command's own lister
    std::unique_ptr<TRegArchive> krvRegArchive;
    TArchiveModel* FModel = nullptr; // owned by the window
    QFileSystemModel* FExplorerFolders = nullptr;
    QFileSystemModel* FExplorerFiles = nullptr;
    TStatusLed* pbxLed = nullptr;
    std::vector<QLabel*> FPanels;
    TProgressCyl* FRatioGauge = nullptr;
    TMruList dfmruMainList;
    std::vector<QAction*> FSortActions;
    QStringList FArguments;

    // ---- the window-wide state ----
    bool FInteractive = true;
    bool TestFailed = false;
    std::string CurrentPassword;
    bool BadPassword = false;
    bool CrcError = false;
    bool DiskFull = false;
    bool AllowSpanning = true;
    bool Aborted = false;
    int ReplaceAll = 0;
    bool SkipAllDupes = false;
    bool CheckOutActive = false;
    std::string CheckOutFolder, CheckOutGroup;
    std::string FInstallProgram;
    std::vector<std::string> TempFolders;
    bool FindDone = false;

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
};
