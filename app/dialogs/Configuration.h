// The configuration dialog TfmConfiguration: eight pages over the settings record. The record
// is copied into the controls when the dialog is made and back only when OK passes its checks;
// saving and applying the record is the caller's work (it applies the associations only when
// the File Associations page was shown).
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class TfmConfiguration;
}

// The antivirus presets of the dialog's list: the scanner program and its parameters. A
// scanner installed here is given by its full path, so the dialog's check finds it.
struct TAntivirusPreset {
    const char* Item;
    const char* Program;
    const char* Parameters;
};
inline constexpr TAntivirusPreset AntivirusPresets[] = {
    {"None", "", ""},
    {"Custom", "", ""},
    {"ClamAV", "clamscan", "--recursive --infected ."},
    {"ClamAV Daemon", "clamdscan", "--fdpass --infected ."},
    {"Sophos Anti-Virus", "savscan", "-f -archive -rec ."},
    {"McAfee VirusScan", "uvscan", "--recursive --unzip ."},
    {"ESET NOD32", "esets_scan", "--clean-mode=none ."},
};

// The info-tip sample of the checked lines (in the dialog's order of its seven check boxes).
QString InfoTipSample(const bool Lines[7]);

class TfmConfiguration : public QDialog {
    Q_OBJECT
public:
    explicit TfmConfiguration(QWidget* Parent = nullptr);
    ~TfmConfiguration() override;

    // Set once the File Associations page has been the active page.
    bool AssociationsPageShown = false;
    // Shows the page of that index (0..7; any other number the first page).
    void SetPage(int Index);
    // The help topic of the active page.
    QString HelpTopic() const;
    // Checks the two program paths; when they pass, copies the controls into the record and
    // closes with OK.
    void buOKClick();
    // The Start-menu and desktop shortcuts, as checked.
    void buCreateShortcutsClick();

private:
    void CopyToControls();
    void CopyToRecord();
    void buColDefaultsClick();
    void buSetFontClick();
    void rbSingleClickClick();
    void FolderGroupsClick();
    void cbAVProductChange(int Index);
    void ckShellExtensionsClick();
    void ckSxArcTypeInfoClick();
    void ckEnableAssociationsClick();
    void ckTiEnableTrayClick();
    void DisableAssociationsPage();
    void BrowseFolder(class QLineEdit* Edit);
    void BrowseFile(class QLineEdit* Edit);

    std::unique_ptr<Ui::TfmConfiguration> ui;
    std::string FFont; // the list font, as the font dialog leaves it
};
