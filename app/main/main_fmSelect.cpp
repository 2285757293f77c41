// Selection commands (all, none, inverted, by a mask) and the filter bar.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/WildcardMatch.h"
#include "app/main/ArchiveModel.h"
#include "engine/read/krvKorva.h"

#include <QItemSelection>

void TfmMain::SelectAll() {
    ui->dfelvArchiveView->selectAll();
    DisplayTotals(true);
}

void TfmMain::DeselectAll() {
    ui->dfelvArchiveView->clearSelection();
    DisplayTotals(true);
}

void TfmMain::InvertSelection() {
    if (FModel->rowCount() == 0) return;
    const QItemSelection all(FModel->index(0, 0),
                             FModel->index(FModel->rowCount() - 1, FModel->columnCount() - 1));
    ui->dfelvArchiveView->selectionModel()->select(all,
                                                   QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
    DisplayTotals(true);
}

void TfmMain::SelectGroup(const QString& Mask, bool Select) {
    const std::string pattern = Mask.toUpper().toStdString();
    QItemSelection matching;
    int first = -1;
    // Runs of matching rows become one range each.
    for (int row = 0; row <= FModel->rowCount(); ++row) {
        const bool match =
            row < FModel->rowCount() &&
            MatchWildcard(QString::fromStdString(FModel->Item(row).Name).toUpper().toStdString(), pattern);
        if (match && first < 0) first = row;
        if (!match && first >= 0) {
            matching.select(FModel->index(first, 0), FModel->index(row - 1, FModel->columnCount() - 1));
            first = -1;
        }
    }
    ui->dfelvArchiveView->selectionModel()->select(
        matching,
        (Select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) | QItemSelectionModel::Rows);
}

void TfmMain::ApplyFilter() {
    if (ArchiveOpen()) {
        QString spec = ui->rcbFilter->currentText().trimmed();
        if (spec.isEmpty()) {
            spec = QStringLiteral("*.*");
            ui->rcbFilter->setCurrentText(spec);
        } else {
            ui->rcbFilter->AddToHistory();
            ui->rcbFilter->setCurrentText(spec);
        }
        krvKorva->FileSpec = {spec.toStdString()};
        DisplayArchive(QString::fromStdString(krvKorva->ArchiveFile()));
    }
    ui->rcbFilter->setFocus();
}

void TfmMain::RemoveFilter() {
    ui->rcbFilter->setCurrentText(QString());
    ApplyFilter();
}
