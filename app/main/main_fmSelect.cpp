// Selection commands (all, none, inverted, by a mask), the list's keys and the filter bar.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/main/ArchiveModel.h"
#include "app/main/NameMask.h"
#include "engine/read/krvKorva.h"

#include <QItemSelection>
#include <QKeyEvent>

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

namespace {

// Insert and Delete on the list, read from the list's own key events. Those reach the list
// whenever it has the keyboard, also when the toolkit's record of the active window lags behind
// the window system's (after a file dialog closed under some window managers), where a shortcut
// bound to the list's focus would not fire.
class TListKeys : public QObject {
public:
    TListKeys(QObject* Parent, QAction* Insert, QAction* Delete)
        : QObject(Parent), FInsert(Insert), FDelete(Delete) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() != QEvent::KeyPress) return QObject::eventFilter(Watched, Event);
        const auto* key = static_cast<QKeyEvent*>(Event);
        QAction* action = key->key() == Qt::Key_Insert   ? FInsert
                          : key->key() == Qt::Key_Delete ? FDelete
                                                         : nullptr;
        if (!action || (key->modifiers() & ~Qt::KeypadModifier)) return QObject::eventFilter(Watched, Event);
        // Each while its command may run.
        if (action->isEnabled()) action->trigger();
        return true;
    }

private:
    QAction* FInsert;
    QAction* FDelete;
};

} // namespace

void TfmMain::ConnectListKeys() {
    // Insert adds and Delete deletes.
    QTreeView* list = ui->dfelvArchiveView;
    list->installEventFilter(new TListKeys(list, ui->acAdd, ui->acDelete));
}
