// Printing and exporting the contents list, and the check for a newer version.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/Prompter.h"
#include "app/dialogs/About.h"
#include "app/dialogs/CheckVersion.h"
#include "app/dialogs/DialogSupport.h"
#include "app/main/ArchiveModel.h"
#include "app/main/ContentsExport.h"
#include "engine/read/krvKorva.h"
#include "ui/LmSaveDlg.h"
#include "ui/UCLinePrinter.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace {

struct TExportKind {
    const char* Ext;
    const char* Filter;
};

constexpr TExportKind ExportKinds[] = {
    {"txt", "Text File (*.txt)|*.txt|All Files (*.*)|*.*"},
    {"csv", "Comma Separated Values (*.csv)|*.csv|All Files (*.*)|*.*"},
    {"html", "HTML File (*.html)|*.html|All Files (*.*)|*.*"},
};

// Path with its last extension replaced by Ext (added when it has none).
QString WithExtension(const QString& Path, const QString& Ext) {
    const QFileInfo info(Path);
    const QString base = info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
    return info.dir().filePath(base + QLatin1Char('.') + Ext);
}

} // namespace

void TfmMain::ConnectPrintActions() {
    FLinePrinter = new TUCLinePrinter(this);
    FLinePrinter->setObjectName(QStringLiteral("UCLinePrinter"));
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::TypeWriter); // a fixed-pitch face where Courier New is not installed
    font.setFixedPitch(true);
    FLinePrinter->Font = font;
    FLinePrinter->WordWrap = false;
    FLinePrinter->PrintPageNumbers = true;
    FLinePrinter->TitleOnPrintout = TPrintTitlePlacement::TopOfPage;

    connect(ui->acPrint, &QAction::triggered, this, &TfmMain::acPrintExecute);
    connect(ui->miExportText, &QAction::triggered, this, [this] { ExportContentListClick(1); });
    connect(ui->miExportCsv, &QAction::triggered, this, [this] { ExportContentListClick(2); });
    connect(ui->miExportHtml, &QAction::triggered, this, [this] { ExportContentListClick(3); });
    connect(ui->acCheckVersion, &QAction::triggered, this, &TfmMain::CheckVersionCommand);
}

void TfmMain::acPrintExecute() {
    if (!ArchiveOpen() || !CheckArchiveExists()) return;
    if (MessageDlg(QStringLiteral("Print the archive contents list ?"), mtConfirmation, mbYes | mbNo) !=
        mrYes)
        return;
    const QString archive = QString::fromStdString(krvKorva->ArchiveFile());
    FLinePrinter->Lines = ContentsTextLines(*FModel, {archive, ArchiveFileDateText(archive)});
    FLinePrinter->PrintTitle = QStringLiteral("Quillar : ") + QFileInfo(archive).fileName();
    if (FLinePrinter->Printer) {
        // A printer chosen beforehand (a test's PDF file) prints without the dialog.
        if (!FLinePrinter->Print()) MessageDlg(FLinePrinter->ErrorText(), mtError, mbOK);
        return;
    }
    // The print dialog chooses the printer; with none installed it offers Qt's PDF output, into
    // a file beside the archive.
    QPrinter printer(QPrinter::HighResolution);
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(WithExtension(archive, QStringLiteral("pdf")));
    }
    if (!printer.isValid()) {
        MessageDlg(QStringLiteral("There is no printer to print on, and no PDF file can be written. Set up a "
                                  "printer and try again."),
                   mtError, mbOK);
        return;
    }
    QPrintDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("PrintDialog"));
    if (ShowModal(dialog) != QDialog::Accepted) return;
    FLinePrinter->Printer = &printer;
    const bool printed = FLinePrinter->Print();
    FLinePrinter->Printer = nullptr;
    if (!printed)
        MessageDlg(FLinePrinter->ErrorText(), mtError, mbOK);
    else if (printer.outputFormat() == QPrinter::PdfFormat)
        MessageDlg(QStringLiteral("Archive contents list printed to:\r") + printer.outputFileName(),
                   mtInformation, mbOK);
}

void TfmMain::ExportContentListClick(int Tag) {
    if (Tag < 1 || Tag > 3 || !ArchiveOpen()) return;
    if (FModel->rowCount() == 0) {
        MessageDlg(
            QStringLiteral("Contents list cannot be exported because there are no\r\nfiles in this archive."),
            mtInformation, mbOK);
        return;
    }
    const TExportKind& kind = ExportKinds[Tag - 1];
    const QString archive = QString::fromStdString(krvKorva->ArchiveFile());
    TLmSaveDialog sdgSave(this);
    sdgSave.PlacesBar.Visible = false; // the program's file dialogs show no places bar
    sdgSave.setObjectName(QStringLiteral("sdgSave"));
    sdgSave.Title = QStringLiteral("Save As ...");
    sdgSave.Filter = QString::fromLatin1(kind.Filter);
    sdgSave.DefaultExt = QString::fromLatin1(kind.Ext);
    sdgSave.FileName = WithExtension(archive, sdgSave.DefaultExt);
    sdgSave.InitialDir = QFileInfo(archive).absolutePath();
    sdgSave.Options.OverwritePrompt = true;
    if (!sdgSave.Execute() || sdgSave.FileName.isEmpty()) return;
    const QString target = sdgSave.FileName;
    const bool saved = Tag == 1 ? ExportText(target) : Tag == 2 ? ExportCSV(target) : ExportHTML(target);
    if (saved)
        MessageDlg(QStringLiteral("Archive contents list exported to:\r") + target, mtInformation, mbOK);
}

bool TfmMain::ExportText(const QString& FileName) {
    const QString archive = QString::fromStdString(krvKorva->ArchiveFile());
    return SaveExport(FileName, ContentsTextLines(*FModel, {archive, ArchiveFileDateText(archive)}));
}

bool TfmMain::ExportCSV(const QString& FileName) {
    // The columns as the user sees them: in the header's order, hidden ones left out.
    const QHeaderView* header = ui->dfelvArchiveView->header();
    std::vector<TArchiveColumn> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (logical < 0 || header->isSectionHidden(logical) ||
            logical >= static_cast<int>(FModel->Columns().size()))
            continue;
        columns.push_back(FModel->Columns()[static_cast<std::size_t>(logical)]);
    }
    return SaveExport(FileName, ContentsCsvLines(*FModel, columns));
}

bool TfmMain::ExportHTML(const QString& FileName) {
    const QString archive = QString::fromStdString(krvKorva->ArchiveFile());
    return SaveExport(FileName, ContentsHtmlLines(*FModel, {archive, ArchiveFileDateText(archive)}));
}

bool TfmMain::SaveExport(const QString& FileName, const QStringList& Lines) {
    QString error;
    if (SaveContentsLines(FileName, Lines, error)) return true;
    MessageDlg(error, mtError, mbOK);
    return false;
}

void TfmMain::CheckVersionCommand() {
    TfmCheckVersion dialog(this);
    dialog.CurrentVersion = QString::fromLatin1(QuillarVersionText);
    if (ShowModal(dialog) == mrDownloadNow)
        LaunchProgram(QStringLiteral("xdg-open"), {dialog.DownloadLocation()});
}
