#include "app/dialogs/ViewOutput.h"

#include "app/dialogs/DialogSupport.h"
#include "ui_ViewOutput.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTemporaryFile>
#include <QTextDocumentFragment>
#include <QTimer>

namespace {

constexpr int FlushMilliseconds = 30;
// Waiting lines kept in memory before they go to the temporary file.
constexpr qsizetype MaxPendingLines = 4096;

} // namespace

TfmViewOutput::TfmViewOutput(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmViewOutput>()), FFlush(new QTimer(this)) {
    ui->setupUi(this);
    FFlush->setSingleShot(true);
    FFlush->setInterval(FlushMilliseconds);
    connect(FFlush, &QTimer::timeout, this, &TfmViewOutput::Flush);
    CloseWith(ui->buClose, this, mrOk);
    connect(ui->buCopy, &QPushButton::clicked, this, &TfmViewOutput::CopyClick);
}

TfmViewOutput::~TfmViewOutput() = default;

void TfmViewOutput::CopyClick() {
    // The selection's paragraph separators become line breaks.
    const QString selected = ui->meOutput->textCursor().selection().toPlainText();
    if (!selected.isEmpty()) QGuiApplication::clipboard()->setText(selected);
}

void TfmViewOutput::AppendLine(const QString& Line) {
    FPending << Line;
    if (isVisible()) {
        if (!FFlush->isActive()) FFlush->start();
        return;
    }
    if (FPending.size() < MaxPendingLines) return;
    if (!FSpilled) {
        FSpilled = std::make_unique<QTemporaryFile>();
        if (!FSpilled->open()) {
            // No room for the file: the lines stay in memory.
            FSpilled.reset();
            return;
        }
    }
    FSpilled->write((FPending.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    FPending.clear();
}

void TfmViewOutput::Clear() {
    FPending.clear();
    FSpilled.reset();
    FFlush->stop();
    ui->meOutput->clear();
}

QString TfmViewOutput::Text() {
    Flush();
    return ui->meOutput->toPlainText();
}

void TfmViewOutput::showEvent(QShowEvent* Event) {
    Flush();
    QDialog::showEvent(Event);
}

void TfmViewOutput::Flush() {
    if (FSpilled) {
        if (FSpilled->seek(0)) {
            QByteArray text = FSpilled->readAll();
            if (text.endsWith('\n')) text.chop(1);
            ui->meOutput->appendPlainText(QString::fromUtf8(text));
        }
        FSpilled.reset();
    }
    if (FPending.isEmpty()) return;
    ui->meOutput->appendPlainText(FPending.join(QLatin1Char('\n')));
    FPending.clear();
}
