// Selection commands (all, none, inverted, by a mask), the list's keys and the filter bar.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/main/ArchiveModel.h"
#include "app/main/NameMask.h"
#include "engine/read/krvKorva.h"

#include <QItemSelection>
#include <QShortcut>

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
    QItemSelection matching;
    int first = -1;
    // Runs of matching rows become one range each.
    for (int row = 0; row <= FModel->rowCount(); ++row) {
        const bool match =
            row < FModel->rowCount() && MatchNameMask(QString::fromStdString(FModel->Item(row).Name), Mask);
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

void TfmMain::ConnectListKeys() {
    // Insert adds and Delete deletes, each while its command may run.
    QTreeView* list = ui->dfelvArchiveView;
    const std::pair<Qt::Key, QAction*> keys[] = {{Qt::Key_Insert, ui->acAdd}, {Qt::Key_Delete, ui->acDelete}};
    for (const auto& [key, action] : keys) {
        auto* shortcut = new QShortcut(QKeySequence(key), list, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, action, [action] {
            if (action->isEnabled()) action->trigger();
        });
    }
}
