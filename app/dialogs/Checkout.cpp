#include "app/dialogs/Checkout.h"

#include "app/common/ShellUtils.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/FileNameFields.h"
#include "platform/Shell.h"
#include "ui_Checkout.h"

#include <QDir>
#include <QFileInfo>

TfmCheckout::TfmCheckout(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmCheckout>()) {
    ui->setupUi(this);
    ConnectBrowse(ui->buBrowse, ui->edFolder, TBrowseKind::Folder, {});
    connect(ui->buOK, &QPushButton::clicked, this, &TfmCheckout::OkClick);
    CloseWith(ui->buCancel, this, mrCancel);
    ConnectHelp(ui->buHelp, "Hlp_Check_Out");
}

TfmCheckout::~TfmCheckout() = default;

QString TfmCheckout::GroupFolder() const {
    return QString::fromStdString(GetSpecialFolderPath(sfPrograms)) + '/' + ui->edGroupName->text();
}

void TfmCheckout::SetChoices(const QString& Folder, const QString& GroupName, bool ScanAvailable) {
    ui->edFolder->setText(Folder);
    ui->edGroupName->setText(GroupName);
    if (!ScanAvailable) {
        ui->ckVirusScan->setChecked(false);
        ui->ckVirusScan->setEnabled(false);
    }
}

TCheckoutOptions TfmCheckout::Options() const {
    TCheckoutOptions options;
    options.Folder = QDir::cleanPath(QFileInfo(ui->edFolder->text()).absoluteFilePath());
    options.Group = GroupFolder();
    options.MaxIcons = ui->edMaxIcons->value();
    options.OnlyOpenable = ui->ckCreateIcons->isChecked();
    options.VirusScan = ui->ckVirusScan->isChecked();
    options.Clear = FClear;
    return options;
}

void TfmCheckout::OkClick() {
    const QString folder = ui->edFolder->text(), group = ui->edGroupName->text();
    if (folder.isEmpty() || group.isEmpty() || ui->edMaxIcons->cleanText().isEmpty()) {
        MessageDlg("Please ensure that you have entered all the\r\nnecessary information before proceeding.",
                   mtWarning, mbOK);
        return;
    }
    if (!SafeCheckoutTarget(folder) || group.contains('/') || group == "." || group == "..") {
        MessageDlg(
            "The folder or group name you specified cannot be used for a check out.\r\nPlease choose another "
            "one.",
            mtWarning, mbOK);
        ui->edFolder->setFocus();
        return;
    }
    const bool folderExists = QFileInfo(folder).isDir();
    const bool groupExists = QFileInfo(GroupFolder()).isDir();
    QString question;
    if (folderExists && groupExists)
        question =
            "The folder you specified already exist. If you continue, all\r\nexisting files in this folder "
            "and "
            "its subfolders will be\r\ndeleted.\r\n\r\nThe group name you specified already exist. If you "
            "continue,\r\nall existing icons in this group will be deleted.\r\n\r\nDo you want to continue ?";
    else if (folderExists)
        question = "The folder you specified already exist. If you continue, all\r\nexisting files in this "
                   "folder and "
                   "its subfolders will be\r\ndeleted. \r\n\r\nDo you want to continue ?";
    else if (groupExists)
        question = "The group name you specified already exist. If you continue,\r\nall existing icons in "
                   "this group "
                   "will be deleted.\r\n\r\nDo you want to continue ?";
    // The files in the folder are named, and only the named ones are deleted; No is the default.
    const QStringList files = folderExists ? FilesNotWritten(folder, {}) : QStringList();
    if (!question.isEmpty() &&
        MessageDlg(question + NamedFilesText(files), mtWarning, mbYes | mbNo, mrNo) != mrYes) {
        ui->edFolder->setFocus();
        return;
    }
    FClear = NamedFiles(files);
    done(mrOk);
}
