#include "app/dialogs/OverwriteDlg.h"

#include "app/dialogs/DialogSupport.h"
#include "app/common/Prompter.h"
#include "ui_OverwriteDlg.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStyle>
#include <algorithm>

TfmOverwriteDlg::TfmOverwriteDlg(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmOverwriteDlg>()) {
    ui->setupUi(this);
    ui->imQuestion->setPixmap(
        QIcon::fromTheme("dialog-question", style()->standardIcon(QStyle::SP_MessageBoxQuestion))
            .pixmap(32, 32));
    CloseWith(ui->bbYes, this, mrYes);
    CloseWith(ui->bbYesAll, this, mrOverwriteYesToAll);
    CloseWith(ui->bbNo, this, mrNo);
    CloseWith(ui->bbNoAll, this, mrOverwriteNoToAll);
    CloseWith(ui->bbCancel, this, mrCancel);
    connect(ui->bbRename, &QPushButton::clicked, this, &TfmOverwriteDlg::RenameClick);
    ConnectHelp(ui->bbHelp, "Hlp_Overwrite_Dialog");
}

TfmOverwriteDlg::~TfmOverwriteDlg() = default;

void TfmOverwriteDlg::SetFiles(const QString& Existing, const QString& IncomingText) {
    const QFileInfo existing(Existing);
    ui->laReplaceFilename->setText(
        ui->laReplaceFilename->fontMetrics().elidedText(existing.filePath(), Qt::ElideMiddle,
                                                        std::max(ui->laReplaceFilename->width() - 1, 200)) +
        QLatin1Char('\n') + QString::number(existing.size()) + QStringLiteral(" bytes, ") +
        existing.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm")));
    ui->laWithName->setText(IncomingText);
    FileName = existing.filePath();
}

// The new name is a name in the existing file's folder: a separator or a dot folder would put
// the extracted file elsewhere, and a name already taken would overwrite another file after all.
void TfmOverwriteDlg::RenameClick() {
    const QFileInfo existing(FileName);
    QString name = existing.fileName();
    if (!InputQuery("Rename File", "Please enter a different file name.", name)) return;
    if (name.isEmpty() || name.contains('/') || name == "." || name == "..") {
        MessageDlg("In order to rename the file, you must enter a valid file name.", mtInformation, mbOK);
        return;
    }
    const QString path = existing.dir().filePath(name);
    if (QFileInfo(path).exists() || QFileInfo(path).isSymLink()) {
        MessageDlg(
            "In order to change the file name, you must enter \r\na file name that is different from the "
            "original file.",
            mtError, mbOK);
        return;
    }
    NewFileName = path;
    done(mrOverwriteRename);
}
