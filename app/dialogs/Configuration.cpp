#include "app/dialogs/Configuration.h"
#include "ui_Configuration.h"

#include "app/common/AppSettings.h"
#include "app/common/FontText.h"
#include "app/common/Prompter.h"
#include "app/common/ShellUtils.h"
#include "app/common/SystemUtils.h"
#include "app/dialogs/DialogSupport.h"
#include "engine/core/krvGbls.h"
#include "platform/ProgramFolders.h"
#include "platform/Shell.h"
#include "platform/ShellLink.h"
#include "ui/LmBrowseDlg.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QStandardPaths>
#include <span>
#include <tuple>

namespace {

using S = TAppSettings;

struct TCheckField {
    const char* Control;
    bool S::*Field;
};

// Every check box that carries one Boolean of the record.
constexpr TCheckField CheckFields[] = {
    {"ckColDate", &S::ColDate},
    {"ckColPacked", &S::ColPacked},
    {"ckColUnpacked", &S::ColUnpacked},
    {"ckColRatio", &S::ColRatio},
    {"ckColMethod", &S::ColMethod},
    {"ckColAttributes", &S::ColAttributes},
    {"ckColPath", &S::ColPath},
    {"ckColFileType", &S::ColFileType},
    {"ckColCRC", &S::ColCRC},
    {"ckColFileOffset", &S::ColFileOffset},
    {"ckColEncrypted", &S::ColEncrypted},
    {"ckColVolumeID", &S::ColVolumeID},
    {"ckColFileComment", &S::ColFileComment},
    {"ckFullRowSelect", &S::FullRowSelect},
    {"ckShowGridLines", &S::ShowGridLines},
    {"ckShowFilter", &S::ShowFilter},
    {"ckFlatButtons", &S::FlatButtons},
    {"ckToolTips", &S::ToolTips},
    {"ckButtonText", &S::ButtonText},
    {"ckAVRunMinimised", &S::RunMinimized},
    {"ckShellExtensions", &S::ShellExtensions},
    {"ckSxCascade", &S::Cascade},
    {"ckSxShowIcon", &S::ShowIcon},
    {"ckSxAddToArc", &S::cmAddToArc},
    {"ckSxAddToFile", &S::cmAddToFile},
    {"ckSxAddToExe", &S::cmAddToExe},
    {"ckSxMailArchive", &S::cmMailArchive},
    {"ckSxExtractTo", &S::cmExtractTo},
    {"ckSxExtractHere", &S::cmExtractHere},
    {"ckSxExtractToFolder", &S::cmExtractToFolder},
    {"ckSxExtractMultiple", &S::cmExtractMultiple},
    {"ckSxExtractMultipleTo", &S::cmExtractMultipleTo},
    {"ckSxExtractMultipleSep", &S::cmExtractMultipleSep},
    {"ckSxExtractMultipleToSep", &S::cmExtractMultipleToSep},
    {"ckSxVirusScan", &S::cmVirusScan},
    {"ckSxConvert", &S::cmConvert},
    {"ckSxTest", &S::cmTest},
    {"ckSxMakeExe", &S::cmMakeExe},
    {"ckSxRepairZip", &S::cmRepairZip},
    {"ckSxDDExtractHere", &S::cmDDExtractHere},
    {"ckSxDDExtractTo", &S::cmDDExtractTo},
    {"ckSxDDExtractToFolder", &S::cmDDExtractToFolder},
    {"ckSxDDExtractMultipleHere", &S::cmDDExtractMultiple},
    {"ckSxDDExtractMultipleTo", &S::cmDDExtractMultipleTo},
    {"ckSxDDExtractMultipleSep", &S::cmDDExtractMultipleSep},
    {"ckSxArcTypeInfo", &S::itArcTypeInfo},
    {"ckSxDateInfo", &S::itDateInfo},
    {"ckSxPackedSizeInfo", &S::itPackedSizeInfo},
    {"ckSxUnpackedSizeInfo", &S::itUnpackedSizeInfo},
    {"ckSxNumFilesInfo", &S::itNumFilesInfo},
    {"ckSxRatioInfo", &S::itRatioInfo},
    {"ckSxShowListingInfo", &S::itShowListingInfo},
    {"ckEnableAssociations", &S::EnableAssociations},
    {"ckCheckAssociations", &S::CheckAssociations},
    {"ckTiEnableTray", &S::EnableTray},
    {"ckTiShowMRU", &S::ShowMRU},
    {"ckCommentsOpen", &S::CommentsOpen},
    {"ckStayOnTop", &S::StayOnTop},
    {"ckClearMRU", &S::ClearMRU},
    {"ckStartupWizard", &S::StartupWizard},
    {"ckStartupOpen", &S::StartupOpen},
    {"ckShortcutStartMenu", &S::ShortcutStartMenu},
    {"ckShortcutDesktop", &S::ShortcutDesktop},
    {"ckConfirmCompress", &S::ConfirmCompress},
    {"ckConfirmDecompress", &S::ConfirmDecompress},
};

// The 18 type check boxes and their flags.
constexpr TCheckField TypeFields[] = {
    {"ckAce", &S::Ace}, {"ckArc", &S::Arc}, {"ckArj", &S::Arj}, {"ckBh", &S::Bh},   {"ckCab", &S::Cab},
    {"ckGz", &S::Gz},   {"ckJar", &S::Jar}, {"ckLha", &S::Lha}, {"ckLzh", &S::Lzh}, {"ckRar", &S::Rar},
    {"ckTar", &S::Tar}, {"ckTgz", &S::Tgz}, {"ckUue", &S::Uue}, {"ckUu", &S::Uu},   {"ckXxe", &S::Xxe},
    {"ckZ", &S::Z},     {"ckZip", &S::Zip}, {"ckZoo", &S::Zoo}};

// The toolbar list's items in their order, each with its button's flag.
struct TToolbarItem {
    const char* Caption;
    bool S::*Field;
};
constexpr TToolbarItem ToolbarItems[] = {
    {"Add Files", &S::BtnAddFiles},
    {"Check Out", &S::BtnCheckOut},
    {"Close Archive", &S::BtnCloseArchive},
    {"Comment", &S::BtnComment},
    {"Configuration", &S::BtnConfiguration},
    {"Delete Files", &S::BtnDeleteFiles},
    {"Exit", &S::BtnExit},
    {"Explorer", &S::BtnExplorer},
    {"Extract Files", &S::BtnExtractFiles},
    {"Help", &S::BtnHelp},
    {"Install", &S::BtnInstall},
    {"Make .EXE", &S::BtnMakeExe},
    {"New Archive", &S::BtnNewArchive},
    {"Open Archive", &S::BtnOpenArchive},
    {"Print Content List", &S::BtnPrintContentList},
    {"Properties", &S::BtnProperties},
    {"Show Filter", &S::BtnFilter},
    {"Test Archive", &S::BtnTestArchive},
    {"View Files", &S::BtnViewFiles},
    {"Virus Scan", &S::BtnVirusScan},
    {"Wizard", &S::BtnWizard},
};

constexpr const char* PageTopics[] = {"Hlp_CFG_View",          "Hlp_CFG_Toolbar",       "Hlp_CFG_Folders",
                                      "Hlp_Program_Locations", "Hlp_Configuring_Shell", "Hlp_CFG_File",
                                      "Hlp_Configuring_Tray",  "Hlp_CFG_Miscellaneous"};
constexpr int AssociationsPage = 5;
constexpr int LocationsPage = 3;

const char* const InfoTipLines[7] = {
    " Type: ZIP ",
    " Modified Date: 29/03/2002 11:39AM ",
    " Packed Size: 72,538 bytes ",
    " Unpacked Size: 254,811 bytes ",
    " Files in Archive: 3 ",
    " Compression Ratio: 68% ",
    " Files Listing:\n\r - TestFile.txt\n\r - SomePic.jpg\n\r - YetAnotherFile.doc| "};

// Checks the radio button of Index among Buttons (the first one for an index out of range).
void CheckIndex(std::initializer_list<QRadioButton*> Buttons, int Index) {
    if (Index < 0 || Index >= static_cast<int>(Buttons.size())) Index = 0;
    (*(Buttons.begin() + Index))->setChecked(true);
}

int CheckedIndex(std::initializer_list<QRadioButton*> Buttons) {
    int index = 0;
    for (QRadioButton* button : Buttons) {
        if (button->isChecked()) return index;
        ++index;
    }
    return 0;
}

} // namespace

QString InfoTipSample(const bool Lines[7]) {
    QString sample;
    bool first = true;
    for (int i = 0; i < 7; ++i) {
        if (!Lines[i]) continue;
        if (!first) sample += QStringLiteral("\n\r");
        sample += QString::fromUtf8(InfoTipLines[i]);
        first = false;
    }
    return sample;
}

TfmConfiguration::TfmConfiguration(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmConfiguration>()) {
    ui->setupUi(this);
    // The up-downs' edits carry the names of the edits they stand beside.
    ui->udSxMaxFilesInfo->findChild<QLineEdit*>()->setObjectName(QStringLiteral("edSxMaxFilesInfo"));
    ui->udMRUList->findChild<QLineEdit*>()->setObjectName(QStringLiteral("edMRUList"));
    ui->laNoPermission->setText(
        QStringLiteral("These settings have been disabled. You need \r\nAdministrator "
                       "level access to change these settings.")
            .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    for (const TAntivirusPreset& preset : AntivirusPresets)
        ui->cbAVProduct->addItem(QString::fromUtf8(preset.Item));
    for (const TToolbarItem& item : ToolbarItems) {
        auto* row = new QListWidgetItem(QString::fromUtf8(item.Caption), ui->clbToolbarButtons);
        row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    }

    connect(ui->buOK, &QPushButton::clicked, this, &TfmConfiguration::buOKClick);
    connect(ui->buCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->buHelp, &QPushButton::clicked, this, [this] { ShowHelpPage(HelpTopic()); });
    connect(ui->buColDefaults, &QPushButton::clicked, this, &TfmConfiguration::buColDefaultsClick);
    connect(ui->buSetFont, &QPushButton::clicked, this, &TfmConfiguration::buSetFontClick);
    for (QRadioButton* button : {ui->rbSingleClick, ui->rbDoubleClick})
        connect(button, &QRadioButton::toggled, this, &TfmConfiguration::rbSingleClickClick);
    for (QRadioButton* button : {ui->rbOpenLast, ui->rbOpenCustom, ui->rbAddLast, ui->rbAddCustom,
                                 ui->rbExtractLast, ui->rbExtractSame, ui->rbExtractCustom})
        connect(button, &QRadioButton::toggled, this, &TfmConfiguration::FolderGroupsClick);
    connect(ui->ckShellExtensions, &QCheckBox::toggled, this, &TfmConfiguration::ckShellExtensionsClick);
    for (QCheckBox* box :
         {ui->ckSxArcTypeInfo, ui->ckSxDateInfo, ui->ckSxPackedSizeInfo, ui->ckSxUnpackedSizeInfo,
          ui->ckSxNumFilesInfo, ui->ckSxRatioInfo, ui->ckSxShowListingInfo})
        connect(box, &QCheckBox::toggled, this, &TfmConfiguration::ckSxArcTypeInfoClick);
    connect(ui->ckEnableAssociations, &QCheckBox::toggled, this,
            &TfmConfiguration::ckEnableAssociationsClick);
    for (auto [button, state] :
         {std::pair{ui->buAssocSelectAll, true}, std::pair{ui->buAssocDeselectAll, false}}) {
        connect(button, &QPushButton::clicked, this, [this, state] {
            for (const TCheckField& type : TypeFields)
                findChild<QCheckBox*>(QString::fromLatin1(type.Control))->setChecked(state);
        });
    }
    for (QCheckBox* box : {ui->ckTiEnableTray, ui->ckTiShowMRU})
        connect(box, &QCheckBox::toggled, this, &TfmConfiguration::ckTiEnableTrayClick);
    // At most one start-up action: pressing one clears the other.
    connect(ui->ckStartupWizard, &QCheckBox::clicked, this, [this] { ui->ckStartupOpen->setChecked(false); });
    connect(ui->ckStartupOpen, &QCheckBox::clicked, this, [this] { ui->ckStartupWizard->setChecked(false); });
    connect(ui->pcConfig, &QTabWidget::currentChanged, this, [this](int Index) {
        if (Index == AssociationsPage) AssociationsPageShown = true;
    });
    connect(ui->buCreateShortcuts, &QPushButton::clicked, this, &TfmConfiguration::buCreateShortcutsClick);
    for (auto [button, edit] :
         {std::pair{ui->rxdeOpenBrowse, ui->rxdeOpen}, std::pair{ui->rxdeAddBrowse, ui->rxdeAdd},
          std::pair{ui->rxdeExtractBrowse, ui->rxdeExtract}, std::pair{ui->rxdeTempBrowse, ui->rxdeTemp},
          std::pair{ui->rxdeCheckOutBrowse, ui->rxdeCheckOut}})
        connect(button, &QToolButton::clicked, this, [this, edit] { BrowseFolder(edit); });
    for (auto [button, edit] : {std::pair{ui->rxfeDefaultViewerBrowse, ui->rxfeDefaultViewer},
                                std::pair{ui->rxfeVirusScannerBrowse, ui->rxfeVirusScanner}})
        connect(button, &QToolButton::clicked, this, [this, edit] { BrowseFile(edit); });

    AssociationsPageShown = false;
    CopyToControls();
    // The preset fills the edits only when the user changes it, not when the record is shown.
    connect(ui->cbAVProduct, &QComboBox::currentIndexChanged, this, &TfmConfiguration::cbAVProductChange);
    ckEnableAssociationsClick();
    if (!AppSettings().UserIsAdmin) DisableAssociationsPage();
    ckSxArcTypeInfoClick();
}

TfmConfiguration::~TfmConfiguration() = default;

void TfmConfiguration::CopyToControls() {
    const TAppSettings& record = AppSettings();
    ui->ckColFilename->setChecked(true);
    ui->ckColFilename->setEnabled(false);
    for (const auto& fields :
         {std::span<const TCheckField>(CheckFields), std::span<const TCheckField>(TypeFields)}) {
        for (const TCheckField& field : fields)
            findChild<QCheckBox*>(QString::fromLatin1(field.Control))->setChecked(record.*field.Field);
    }
    for (int i = 0; i < static_cast<int>(std::size(ToolbarItems)); ++i)
        ui->clbToolbarButtons->item(i)->setCheckState(record.*ToolbarItems[i].Field ? Qt::Checked
                                                                                    : Qt::Unchecked);
    FFont = record.FileListFont;
    CheckIndex({ui->rbSingleClick, ui->rbDoubleClick}, record.DoubleClickSel ? 1 : 0);
    CheckIndex({ui->rbUnderlineMouse, ui->rbUnderlineNever, ui->rbUnderlineAlways},
               record.MouseSelection - 1);
    CheckIndex({ui->rbOpenLast, ui->rbOpenCustom}, record.OpenLast ? 0 : 1);
    CheckIndex({ui->rbAddLast, ui->rbAddCustom}, record.AddLast ? 0 : 1);
    CheckIndex({ui->rbExtractLast, ui->rbExtractSame, ui->rbExtractCustom},
               record.ExtractLast ? 0 : (record.ExtractSame ? 1 : 2));
    ui->rxdeOpen->setText(QString::fromStdString(record.OpenFolder));
    ui->rxdeAdd->setText(QString::fromStdString(record.AddFolder));
    ui->rxdeExtract->setText(QString::fromStdString(record.ExtractFolder));
    ui->rxdeTemp->setText(QString::fromStdString(record.TemporaryFolder));
    ui->rxdeCheckOut->setText(QString::fromStdString(record.CheckoutBaseFolder));
    // The temporary folder is not offered.
    ui->pnTemp->setVisible(false);
    CheckIndex({ui->rbViewerAssociated, ui->rbViewerExternal, ui->rbViewerExAssociated, ui->rbViewerAsk},
               record.ViewerType);
    ui->rxfeDefaultViewer->setText(QString::fromStdString(record.DefaultViewer));
    ui->cbAVProduct->setCurrentIndex(record.AVProduct);
    ui->rxfeVirusScanner->setText(QString::fromStdString(record.VirusScanner));
    ui->edAVParameters->setText(QString::fromStdString(record.Parameters));
    ui->udSxMaxFilesInfo->setValue(record.MaxFilesInfo);
    ui->cbSxPath->setCurrentIndex(record.adPath);
    ui->cbSxArcType->setCurrentIndex(record.adArcType);
    CheckIndex({ui->rbTiClickQuillar, ui->rbTiClickWizard, ui->rbTiClickBackup}, record.DoubleClick);
    CheckIndex({ui->rbTiMRUFilename, ui->rbTiMRUFullpath}, record.ListFormat);
    ui->udMRUList->setValue(record.MRUList);
    // The rules of the controls just set.
    rbSingleClickClick();
    FolderGroupsClick();
    ckShellExtensionsClick();
    ckTiEnableTrayClick();
}

void TfmConfiguration::CopyToRecord() {
    TAppSettings& record = AppSettings();
    for (const auto& fields :
         {std::span<const TCheckField>(CheckFields), std::span<const TCheckField>(TypeFields)}) {
        for (const TCheckField& field : fields)
            record.*field.Field = findChild<QCheckBox*>(QString::fromLatin1(field.Control))->isChecked();
    }
    for (int i = 0; i < static_cast<int>(std::size(ToolbarItems)); ++i)
        record.*ToolbarItems[i].Field = ui->clbToolbarButtons->item(i)->checkState() == Qt::Checked;
    record.FileListFont = FFont;
    record.DoubleClickSel = ui->rbDoubleClick->isChecked();
    record.MouseSelection =
        CheckedIndex({ui->rbUnderlineMouse, ui->rbUnderlineNever, ui->rbUnderlineAlways}) + 1;
    record.OpenLast = ui->rbOpenLast->isChecked();
    record.AddLast = ui->rbAddLast->isChecked();
    record.ExtractLast = ui->rbExtractLast->isChecked();
    record.ExtractSame = ui->rbExtractSame->isChecked();
    record.OpenFolder = ui->rxdeOpen->text().toStdString();
    record.AddFolder = ui->rxdeAdd->text().toStdString();
    record.ExtractFolder = ui->rxdeExtract->text().toStdString();
    record.TemporaryFolder = ui->rxdeTemp->text().toStdString();
    record.CheckoutBaseFolder = ui->rxdeCheckOut->text().toStdString();
    record.ViewerType = CheckedIndex(
        {ui->rbViewerAssociated, ui->rbViewerExternal, ui->rbViewerExAssociated, ui->rbViewerAsk});
    record.DefaultViewer = ui->rxfeDefaultViewer->text().toStdString();
    record.AVProduct = ui->cbAVProduct->currentIndex();
    record.VirusScanner = ui->rxfeVirusScanner->text().toStdString();
    record.Parameters = ui->edAVParameters->text().toStdString();
    record.MaxFilesInfo = ui->udSxMaxFilesInfo->value();
    record.adPath = ui->cbSxPath->currentIndex();
    record.adArcType = ui->cbSxArcType->currentIndex();
    record.DoubleClick = CheckedIndex({ui->rbTiClickQuillar, ui->rbTiClickWizard, ui->rbTiClickBackup});
    record.ListFormat = CheckedIndex({ui->rbTiMRUFilename, ui->rbTiMRUFullpath});
    record.MRUList = ui->udMRUList->value();
}

void TfmConfiguration::SetPage(int Index) {
    ui->pcConfig->setCurrentIndex(Index >= 0 && Index < ui->pcConfig->count() ? Index : 0);
}

QString TfmConfiguration::HelpTopic() const {
    const int page = ui->pcConfig->currentIndex();
    return page >= 0 && page < static_cast<int>(std::size(PageTopics)) ? QString::fromLatin1(PageTopics[page])
                                                                       : QStringLiteral("Hlp_Introduction");
}

void TfmConfiguration::buOKClick() {
    auto fail = [this](QLineEdit* Edit, const QString& Text, TMsgDlgType Type) {
        MessageDlg(Text, Type, mbOK);
        ui->pcConfig->setCurrentIndex(LocationsPage);
        Edit->setFocus();
    };
    const QString scanner = ui->rxfeVirusScanner->text();
    if (ui->cbAVProduct->currentIndex() != 0 && !scanner.isEmpty() && !QFileInfo(scanner).isFile()) {
        return fail(
            ui->rxfeVirusScanner,
            QStringLiteral("The location of your antivirus software is invalid. Please\r\nenter a valid "
                           "location or leave blank if you do not intend\r\nto scan archives for virus."),
            mtWarning);
    }
    const QString viewer = ui->rxfeDefaultViewer->text();
    if (!ui->rbViewerAssociated->isChecked() && (viewer.isEmpty() || !QFileInfo(viewer).isFile())) {
        return fail(
            ui->rxfeDefaultViewer,
            QStringLiteral("The location of your external viewer is invalid. Please\r\nspecify a valid "
                           "program to use as the external viewer\r\nor select \"Use Associated Program\" "
                           "option. \r\n\r\nIf you select the \"Use External Viewer\" or \"Ask Me\" "
                           "\r\noptions, you must specify a valid viewer."),
            mtError);
    }
    CopyToRecord();
    accept();
}

void TfmConfiguration::buColDefaultsClick() {
    const TAppSettings defaults;
    for (const TCheckField& field : CheckFields) {
        if (QString::fromLatin1(field.Control).startsWith(QLatin1String("ckCol")))
            findChild<QCheckBox*>(QString::fromLatin1(field.Control))->setChecked(defaults.*field.Field);
    }
    ui->ckFullRowSelect->setChecked(false);
    ui->ckShowGridLines->setChecked(false);
}

void TfmConfiguration::buSetFontClick() {
    TFontData font = FontDataOf(ui->buSetFont->font(), palette().text().color());
    StringToFont(FFont, font);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, FontOf(font), this);
    if (!ok) return;
    TFontData data = FontDataOf(chosen, palette().text().color());
    data.Color = font.Color; // the dialog chooses no colour
    FFont = FontToString(data);
}

void TfmConfiguration::rbSingleClickClick() {
    const bool single = ui->rbSingleClick->isChecked();
    for (QRadioButton* button : {ui->rbUnderlineMouse, ui->rbUnderlineNever, ui->rbUnderlineAlways})
        button->setEnabled(single);
}

void TfmConfiguration::FolderGroupsClick() {
    for (auto [custom, edit, browse] :
         {std::tuple{ui->rbOpenCustom, ui->rxdeOpen, ui->rxdeOpenBrowse},
          std::tuple{ui->rbAddCustom, ui->rxdeAdd, ui->rxdeAddBrowse},
          std::tuple{ui->rbExtractCustom, ui->rxdeExtract, ui->rxdeExtractBrowse}}) {
        edit->setEnabled(custom->isChecked());
        browse->setEnabled(custom->isChecked());
    }
}

void TfmConfiguration::cbAVProductChange(int Index) {
    if (Index < 0 || Index >= static_cast<int>(std::size(AntivirusPresets))) return;
    const TAntivirusPreset& preset = AntivirusPresets[Index];
    QString program = QString::fromUtf8(preset.Program);
    // An installed scanner by its full path.
    if (!program.isEmpty()) {
        const QString found = QStandardPaths::findExecutable(program);
        if (!found.isEmpty()) program = found;
    }
    ui->rxfeVirusScanner->setText(program);
    ui->edAVParameters->setText(QString::fromUtf8(preset.Parameters));
}

void TfmConfiguration::ckShellExtensionsClick() {
    const bool enabled = ui->ckShellExtensions->isChecked();
    for (QWidget* control : ui->tsShell->findChildren<QWidget*>()) {
        if (control != ui->ckShellExtensions && control != ui->laShellNote) control->setEnabled(enabled);
    }
    // The file count of the info tip follows its listing box while the page is enabled.
    if (enabled) ckSxArcTypeInfoClick();
}

void TfmConfiguration::ckSxArcTypeInfoClick() {
    const bool lines[7] = {ui->ckSxArcTypeInfo->isChecked(),    ui->ckSxDateInfo->isChecked(),
                           ui->ckSxPackedSizeInfo->isChecked(), ui->ckSxUnpackedSizeInfo->isChecked(),
                           ui->ckSxNumFilesInfo->isChecked(),   ui->ckSxRatioInfo->isChecked(),
                           ui->ckSxShowListingInfo->isChecked()};
    ui->imSxTestArea->setToolTip(InfoTipSample(lines));
    const bool listing = ui->ckSxShowListingInfo->isChecked();
    ui->udSxMaxFilesInfo->setEnabled(listing);
    ui->laSxMaxFilesInfo->setEnabled(listing);
}

void TfmConfiguration::ckEnableAssociationsClick() {
    const bool enabled = ui->ckEnableAssociations->isChecked();
    ui->ckCheckAssociations->setEnabled(enabled);
    ui->gbArchiveTypes->setEnabled(enabled);
    for (const TCheckField& type : TypeFields)
        findChild<QCheckBox*>(QString::fromLatin1(type.Control))->setEnabled(enabled);
}

void TfmConfiguration::ckTiEnableTrayClick() {
    const bool tray = ui->ckTiEnableTray->isChecked();
    for (QWidget* control :
         {static_cast<QWidget*>(ui->gbTiDoubleClick), static_cast<QWidget*>(ui->ckTiShowMRU)})
        control->setEnabled(tray);
    const bool format = tray && ui->ckTiShowMRU->isChecked();
    for (QWidget* control :
         {static_cast<QWidget*>(ui->laTiMRUFormat), static_cast<QWidget*>(ui->rbTiMRUFilename),
          static_cast<QWidget*>(ui->rbTiMRUFullpath)})
        control->setEnabled(format);
}

void TfmConfiguration::DisableAssociationsPage() {
    for (QWidget* control :
         {static_cast<QWidget*>(ui->ckEnableAssociations), static_cast<QWidget*>(ui->ckCheckAssociations),
          static_cast<QWidget*>(ui->buAssocSelectAll), static_cast<QWidget*>(ui->buAssocDeselectAll),
          static_cast<QWidget*>(ui->gbArchiveTypes)})
        control->setEnabled(false);
    for (const TCheckField& type : TypeFields)
        findChild<QCheckBox*>(QString::fromLatin1(type.Control))->setEnabled(false);
    ui->bvNoPermission->setVisible(true);
    ui->laNoPermission->setVisible(true);
}

void TfmConfiguration::buCreateShortcutsClick() {
    const bool menu = ui->ckShortcutStartMenu->isChecked();
    const bool desktop = ui->ckShortcutDesktop->isChecked();
    if (!menu && !desktop) {
        MessageDlg(
            QStringLiteral("You must select at least one type of shortcut to \r\ncreate before clicking "
                           "this button."),
            mtWarning, mbOK);
        return;
    }
    const std::string program = ProgramFilePath();
    // Each shortcut made or not, and why not: the user hears which one is there.
    QStringList made, failed;
    if (menu) {
        // The applications folder is made when this desktop has none yet.
        const std::string folder = GetSpecialFolderPath(sfStartMenu);
        if (!folder.empty() && ForceDirPath(folder) && CreateShellLink(folder, "Quillar", program, "quillar"))
            made << QStringLiteral("The menu entry was created.");
        else
            failed << QStringLiteral("The menu entry could not be created in ") +
                          QString::fromStdString(folder) + QLatin1Char('.');
    }
    if (desktop) {
        const QString folder = QString::fromStdString(GetSpecialFolderPath(sfDesktopDirectory));
        if (CreateShellLink(folder.toStdString(), "Quillar", program, "quillar"))
            made << QStringLiteral("The desktop shortcut was created.");
        else if (!QFileInfo(folder).isDir())
            failed << QStringLiteral(
                          "The desktop shortcut could not be created: there is no desktop folder ") +
                          folder + QLatin1Char('.');
        else
            failed << QStringLiteral("The desktop shortcut could not be created in ") + folder +
                          QLatin1Char('.');
    }
    if (failed.isEmpty())
        MessageDlg(QStringLiteral("Shortcuts successfully created."), mtInformation, mbOK);
    else if (made.isEmpty())
        MessageDlg(QStringLiteral("The shortcuts could not be created.\r\n") +
                       failed.join(QStringLiteral("\r\n")),
                   mtError, mbOK);
    else
        MessageDlg((made + failed).join(QStringLiteral("\r\n")), mtWarning, mbOK);
}

void TfmConfiguration::BrowseFolder(QLineEdit* Edit) {
    TLmBrowseDialog dialog(this, QStringLiteral("Select Folder"), Edit->text());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    HidePlacesBar(dialog);
    if (ShowModal(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        Edit->setText(dialog.selectedFiles().first());
}

void TfmConfiguration::BrowseFile(QLineEdit* Edit) {
    TLmBrowseDialog dialog(this, {}, Edit->text());
    dialog.setFileMode(QFileDialog::ExistingFile);
    HidePlacesBar(dialog);
    if (ShowModal(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        Edit->setText(dialog.selectedFiles().first());
}
