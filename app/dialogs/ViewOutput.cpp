#include "app/dialogs/ViewOutput.h"

#include "app/dialogs/DialogSupport.h"
#include "ui_ViewOutput.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTextDocumentFragment>
#include <QTimer>

namespace {

constexpr int FlushMilliseconds = 30;

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
    if (isVisible() && !FFlush->isActive()) FFlush->start();
}

void TfmViewOutput::Clear() {
    FPending.clear();
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
    if (FPending.isEmpty()) return;
    ui->meOutput->appendPlainText(FPending.join(QLatin1Char('\n')));
    FPending.clear();
}
