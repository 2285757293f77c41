#include "app/dialogs/ViewOutput.h"

#include "app/dialogs/DialogSupport.h"
#include "ui_ViewOutput.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTextDocumentFragment>

TfmViewOutput::TfmViewOutput(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmViewOutput>()) {
    ui->setupUi(this);
    CloseWith(ui->buClose, this, mrOk);
    connect(ui->buCopy, &QPushButton::clicked, this, &TfmViewOutput::CopyClick);
}

TfmViewOutput::~TfmViewOutput() = default;

void TfmViewOutput::CopyClick() {
    // The selection's paragraph separators become line breaks.
    const QString selected = ui->meOutput->textCursor().selection().toPlainText();
    if (!selected.isEmpty()) QGuiApplication::clipboard()->setText(selected);
}
