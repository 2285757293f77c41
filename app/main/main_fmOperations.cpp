// The operations on the archive as a whole, bound to their commands here: properties and the
// comment, uuencode and about. The window's side of the operations the command line shares
// lives in main_fmTestRepair.cpp (test, repair) and main_fmConvert.cpp (convert,
// self-extractor, the zip-and-go switches); the file commands in main_fmArchiveFile.cpp; check-out, install
// and the virus scan in main_fmCheckout.cpp.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/Prompter.h"
#include "app/common/QtStrings.h"
#include "app/dialogs/About.h"
#include "app/dialogs/Comment.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/OpReport.h"
#include "app/dialogs/Properties.h"
#include "app/dialogs/UUEncode.h"
#include "app/main/ArchiveModel.h"
#include "app/main/InputQuery.h"
#include "app/main/StatusLed.h"
#include "app/ops/OpComment.h"
#include "app/ops/OpObserver.h"
#include "app/ops/OpUUEncode.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvProduct.h"
#include "engine/read/krvKorva.h"
#include "platform/FileAttributes.h"
#include "ui/LmOpenDlg.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <cstdio>

namespace {

// Bytes with thousands separators and no decimals.
QString Grouped(double Bytes) {
    QLocale locale = QLocale::c();
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale.toString(Bytes, 'f', 0);
}

QString SizeLine(double Bytes) {
    return QString::number(Bytes / 1048576.0, 'f', 2) + QStringLiteral(" MB (") + Grouped(Bytes) +
           QStringLiteral(" bytes)");
}

} // namespace
void TfmMain::ConnectOperationActions() {
    connect(ui->acMoveArchive, &QAction::triggered, this, &TfmMain::MoveArchiveCommand);
    connect(ui->acCopyArchive, &QAction::triggered, this, &TfmMain::CopyArchiveCommand);
    connect(ui->acRenameArchive, &QAction::triggered, this, &TfmMain::RenameArchiveCommand);
    connect(ui->acDeleteArchive, &QAction::triggered, this, &TfmMain::DeleteArchiveCommand);
    connect(ui->acMailArchive, &QAction::triggered, this, &TfmMain::MailArchiveCommand);
    connect(ui->acProperties, &QAction::triggered, this, &TfmMain::PropertiesCommand);
    connect(ui->acViewComment, &QAction::triggered, this, &TfmMain::CommentCommand);
    connect(ui->acUUencode, &QAction::triggered, this, &TfmMain::UUEncodeCommand);
    connect(ui->acCheckOut, &QAction::triggered, this, &TfmMain::CheckOutCommand);
    connect(ui->acInstall, &QAction::triggered, this, &TfmMain::InstallCommand);
    connect(ui->acTest, &QAction::triggered, this, [this] {
        if (ArchiveOpen() && CheckArchiveExists()) CmdTest(Str(krvKorva->ArchiveFile()));
    });
    connect(ui->acVirusScan, &QAction::triggered, this, [this] {
        if (ArchiveOpen() && CheckArchiveExists()) CmdVirusScan(Str(krvKorva->ArchiveFile()));
    });
    connect(ui->acMakeSFX, &QAction::triggered, this, [this] {
        if (ArchiveOpen() && CheckArchiveExists()) CmdMakeSFX(Str(krvKorva->ArchiveFile()), {});
    });
    connect(ui->acConvert, &QAction::triggered, this, [this] {
        if (!krvKorva->ArchiveFile().empty() && !CheckArchiveExists()) return;
        CmdConvert(ArchiveOpen() ? Str(krvKorva->ArchiveFile()) : QString());
    });
    connect(ui->acRepair, &QAction::triggered, this, [this] {
        QString name;
        if (AutoAnswerDialogs()) {
            std::fprintf(stderr, "Select Zip File To Repair ...: [Cancel]\n");
            return;
        }
        TLmOpenDialog odgOpen(this);
        odgOpen.PlacesBar.Visible = false; // the program's file dialogs show no places bar
        odgOpen.Title = QStringLiteral("Select Zip File To Repair ...");
        odgOpen.Filter = QStringLiteral("Zip Archives (*.zip)|*.zip");
        odgOpen.DefaultExt = QStringLiteral("zip");
        odgOpen.Options.FileMustExist = true;
        if (odgOpen.Execute() && !odgOpen.FileName.isEmpty()) CmdRepair(odgOpen.FileName);
    });
    connect(ui->acAbout, &QAction::triggered, this, &TfmMain::AboutCommand);
    connect(ui->acHomepage, &QAction::triggered, this, [this] {
        LaunchProgram(QStringLiteral("xdg-open"), {QString::fromLatin1(ProductAddress) + QLatin1Char('/')});
    });
}

bool TfmMain::AskSaveName(const QString& Title, QString& FileName, const QString& Filter,
                          bool OverwritePrompt) {
    return MakeObserver(true)->AskSaveName(Title, FileName, Filter, 1, OverwritePrompt);
}

// ---- properties and comment ------------------------------------------------------------------

void TfmMain::PropertiesCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists()) return;
    const QString archive = Str(krvKorva->ArchiveFile());
    QString comment = QStringLiteral("Comments not supported for this archive format.");
    if (krvKorva->ArcType() == atZip) {
        // A directory that cannot be read shows no comment; the listing has said what is wrong.
        TCommentEdit edit(*MakeObserver(true));
        comment = edit.Open(krvKorva->ArchiveFile()) ? edit.Text() : QString();
    }
    // The totals count every entry, whatever the filter shows.
    const std::vector<std::string> spec = krvKorva->FileSpec;
    const bool filtered = spec != std::vector<std::string>{"*.*"};
    if (filtered) {
        krvKorva->FileSpec = {"*.*"};
        RefreshList(archive);
    }
    TfmProperties dialog(this);
    const QFileInfo file(archive);
    TPropertiesFacts facts;
    facts.FileName = archive;
    facts.Type = Str(ArcTypeNames[krvKorva->ArcType()]).trimmed();
    facts.Files = FModel->rowCount();
    facts.Date = QLocale::system().toString(file.lastModified(), QLocale::ShortFormat);
    const double packed =
        krvKorva->ArcType() == atCab ? static_cast<double>(file.size()) : krvKorva->TotalPackedSize;
    const double unpacked = krvKorva->TotalUnpackedSize;
    facts.PackedSize = SizeLine(packed);
    facts.UnpackedSize = SizeLine(unpacked);
    facts.Ratio = CompressRatioFloat(unpacked, packed);
    facts.Attributes = FileAttributesOf(archive.toStdString());
    facts.Comment = comment;
    dialog.SetFacts(facts);
    ShowModal(dialog);
    if (filtered) {
        krvKorva->FileSpec = spec;
        RefreshList(archive);
    }
}

void TfmMain::CommentCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists() || krvKorva->ArcType() != atZip) return;
    const std::unique_ptr<TOpObserver> observer = MakeObserver(true);
    TCommentEdit edit(*observer);
    if (!edit.Open(krvKorva->ArchiveFile())) {
        ReportComment(edit.Result(), false);
        return;
    }
    EditComment(edit);
}

void TfmMain::DisplayCommentIfExist() {
    if (krvKorva->ArcType() != atZip) return;
    const std::unique_ptr<TOpObserver> observer = MakeObserver(true);
    TCommentEdit edit(*observer);
    if (!edit.Open(krvKorva->ArchiveFile()) || edit.Text().isEmpty()) return;
    EditComment(edit);
}

void TfmMain::EditComment(TCommentEdit& Edit) {
    TfmComment dialog(Edit.Zip(), this);
    dialog.SetText(Edit.Text());
    ShowModal(dialog);
    ReportComment(Edit.Save(), true);
}

// ---- uuencode --------------------------------------------------------------------------------

void TfmMain::UUEncodeCommand() {
    if (!krvKorva->ArchiveFile().empty() && !CheckArchiveExists()) return;
    TfmUUEncode dialog(this);
    if (ArchiveOpen()) {
        const QString archive = Str(krvKorva->ArchiveFile());
        dialog.SetFiles(archive, Str(ReplaceFileExt(archive.toStdString(), ".uue")));
    }
    if (ShowModal(dialog) != mrOk) return;
    ClearOutput();
    const TUUEncodeOptions options = dialog.Options();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TOpResult result = UUEncode(options, *MakeObserver(true));
    QApplication::restoreOverrideCursor();
    const bool failed = !result.Cancelled && !(result.Done > 0 && result.Succeeded());
    SetLedColor(failed ? TStatusLed::FailedColor() : QColor(Qt::green));
    if (result.Done > 0 && result.Succeeded())
        MessageDlg(QStringLiteral("UUEncode completed successfully."), mtInformation, mbOK);
    else if (failed)
        MessageDlg(QStringLiteral("The file was not encoded; the output log says why."), mtError, mbOK);
}

// ---- about -----------------------------------------------------------------------------------

void TfmMain::AboutCommand() {
    TfmAbout dialog(this);
    ShowModal(dialog);
}
