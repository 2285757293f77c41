// Drag and drop: files dropped on the window are added (to the open archive, or to a new one
// the user names), and selected entries dragged out of the list are handed to the target as
// files, extracted into a private folder when the target first asks for them.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/FileUtils.h"
#include "app/common/Prompter.h"
#include "app/common/SetAside.h"
#include "app/main/AddOptionsDialog.h"
#include "app/main/ArchiveModel.h"
#include "engine/core/krvUnBase.h"
#include "engine/read/krvKorva.h"

#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>

namespace {

const QString UriList = QStringLiteral("text/uri-list");

// How long a drop target may take to copy the dragged files before their folder goes.
constexpr int DragFolderGraceMs = 120000;

// Folder and name of an entry as a path below a folder of ours, as the readers confine it:
// separators of either kind, no drive letter, empty or "." parts; empty when a ".." part would
// climb out (the readers refuse those).
QString ConfinedEntryPath(const std::string& Folder, const std::string& Name) {
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:$"));
    QStringList parts;
    for (const QString& part : QString::fromStdString(Folder + Name).split(separators)) {
        if (part.isEmpty() || part == QLatin1String(".") || (parts.isEmpty() && drive.match(part).hasMatch()))
            continue;
        if (part == QLatin1String("..")) return {};
        parts.push_back(part);
    }
    return parts.join(QLatin1Char('/'));
}

// The data of a drag out of the list: the entries' files in the drag's private folder, offered
// as file URLs. The entries are extracted the first time the target asks for the URLs, which
// on X11 may be after the drag loop has returned; only files that then really lie in the folder
// are handed over. The folder lives as long as the data (the platform keeps it until the target
// has finished) and a grace time after.
class TDragOutData : public QMimeData {
public:
    TDragOutData(TfmMain& Window, QString Folder, QStringList Paths)
        : FWindow(&Window), FFolder(std::move(Folder)), FPaths(std::move(Paths)) {}
    ~TDragOutData() override {
        if (FWindow) FWindow->DropFileSourceReleased(FFolder, FExtracted);
    }
    TDragOutData(const TDragOutData&) = delete;
    TDragOutData& operator=(const TDragOutData&) = delete;

    QStringList formats() const override { return {UriList}; }
    bool hasFormat(const QString& MimeType) const override { return MimeType == UriList; }

protected:
    QVariant retrieveData(const QString& MimeType, QMetaType Type) const override {
        if (MimeType != UriList || !FWindow || !QFileInfo(FFolder).isDir()) return {};
        if (!FExtracted) {
            FExtracted = true; // a request during the extraction's own events waits for it
            FExtracted = FWindow->DropFileSourceDrop(FFolder);
        }
        const QString root = QFileInfo(FFolder).canonicalFilePath() + QLatin1Char('/');
        QList<QUrl> urls;
        for (const QString& path : FPaths) {
            const QFileInfo info(path);
            if (info.isFile() && !info.isSymLink() && info.canonicalFilePath().startsWith(root))
                urls.push_back(QUrl::fromLocalFile(path));
        }
        if (Type.id() == QMetaType::QVariantList) {
            QVariantList list;
            for (const QUrl& url : urls)
                list.push_back(url);
            return list;
        }
        QMimeData text;
        text.setUrls(urls);
        return text.data(UriList);
    }

private:
    QPointer<TfmMain> FWindow;
    QString FFolder;
    QStringList FPaths;
    mutable bool FExtracted = false;
};

// Watches the list's mouse for the start of a drag. A press on a row of a selection of many
// rows leaves the selection as it is until the button is released without a drag, so that all
// of them can be dragged.
class TDragOutWatcher : public QObject {
public:
    TDragOutWatcher(QTreeView& List, QAction& Extract, std::function<void()> StartDrag)
        : QObject(&List), FList(List), FExtract(Extract), FStartDrag(std::move(StartDrag)) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Watched != FList.viewport()) return false;
        switch (Event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(Event);
            FPressed = mouse->button() == Qt::LeftButton;
            FPressPos = mouse->position().toPoint();
            FDeferred = QPersistentModelIndex();
            const QModelIndex index = FList.indexAt(FPressPos);
            if (FPressed && mouse->modifiers() == Qt::NoModifier && index.isValid() &&
                FList.selectionModel()->isRowSelected(index.row(), {}) &&
                FList.selectionModel()->selectedRows().size() > 1 && FExtract.isEnabled()) {
                FDeferred = index;
                FList.setFocus(Qt::MouseFocusReason);
                return true;
            }
            return false;
        }
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(Event);
            if (!FPressed || !(mouse->buttons() & Qt::LeftButton)) return false;
            if ((mouse->position().toPoint() - FPressPos).manhattanLength() <
                QApplication::startDragDistance())
                return FDeferred.isValid();
            FPressed = false;
            FDeferred = QPersistentModelIndex();
            if (!FList.selectionModel()->hasSelection() || !FExtract.isEnabled()) return false;
            FStartDrag();
            return true;
        }
        case QEvent::MouseButtonRelease:
            FPressed = false;
            if (FDeferred.isValid()) {
                FList.selectionModel()->setCurrentIndex(FDeferred, QItemSelectionModel::ClearAndSelect |
                                                                       QItemSelectionModel::Rows);
                FDeferred = QPersistentModelIndex();
                return true;
            }
            return false;
        default:
            return false;
        }
    }

private:
    QTreeView& FList;
    QAction& FExtract;
    std::function<void()> FStartDrag;
    bool FPressed = false;
    QPoint FPressPos;
    QPersistentModelIndex FDeferred;
};

} // namespace

void TfmMain::ConnectDragDrop() {
    setAcceptDrops(true);
    QTreeView* list = ui->dfelvArchiveView;
    list->viewport()->installEventFilter(
        new TDragOutWatcher(*list, *ui->acExtract, [this] { DragOutOfList(); }));
}

bool TfmMain::DropFileTargetDragOver(const QMimeData& Data) const {
    // A drag of our own entries (also its data offered again after the drag), a listing under
    // way or an archive that takes no files refuse.
    if (!FDragTempFolder.empty() || dynamic_cast<const TDragOutData*>(&Data) || FListing || !Data.hasUrls())
        return false;
    const QList<QUrl> urls = Data.urls();
    if (!std::any_of(urls.begin(), urls.end(), [](const QUrl& Url) { return Url.isLocalFile(); }))
        return false;
    if (!ArchiveOpen()) return true;
    const TArcType type = krvKorva->ArcType();
    return TZipCommon::IsCompressibleArcType(type) && type != atCab;
}

void TfmMain::dragEnterEvent(QDragEnterEvent* Event) {
    dragMoveEvent(Event);
}

void TfmMain::dragMoveEvent(QDragMoveEvent* Event) {
    if (Event->mimeData() && DropFileTargetDragOver(*Event->mimeData())) {
        Event->setDropAction(Qt::CopyAction);
        Event->accept();
    } else {
        Event->ignore();
    }
}

void TfmMain::dropEvent(QDropEvent* Event) {
    if (!Event->mimeData() || !DropFileTargetDragOver(*Event->mimeData())) {
        Event->ignore();
        return;
    }
    QStringList paths;
    for (const QUrl& url : Event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile());
    Event->setDropAction(Qt::CopyAction);
    Event->accept();
    // The drop ends for its source first; the adding runs after.
    QTimer::singleShot(0, this, [this, paths] { DropFileTargetDrop(paths); });
}

void TfmMain::DropFileTargetDrop(const QStringList& Paths) {
    // A folder is added whole, with everything below it.
    const QStringList files = ExpandFolderArguments(Paths);
    if (files.isEmpty() || FOperationRunning) return;
    TAddOptions options;
    options.Files = files;
    if (ArchiveOpen()) {
        if (!CheckArchiveExists()) return;
        options.Archive = QString::fromStdString(krvKorva->ArchiveFile());
        RunAdd(options, true);
        return;
    }
    TAddOptionsChoice choice;
    if (!AddOptionsDialog(QString(), 7, false, choice)) return;
    options.Archive = choice.ArchiveName;
    options.Compression = choice.Compression;
    options.StoredDirNames = choice.SaveFullPath ? sdAbsoluteNoDrv : sdExplorer_Auto;
    options.Switch = choice.Switch;
    options.AllowSpanning = choice.AllowSpanning;
    options.Password = choice.Password;
    options.ReplaceArchive = true;
    options.OldToTrash = true;
    RunAdd(options, true, true);
}

std::unique_ptr<QMimeData> TfmMain::PrepareDragOut() {
    if (!FDragTempFolder.empty() || !ArchiveOpen() || !ui->acExtract->isEnabled()) return nullptr;
    QModelIndexList rows = ui->dfelvArchiveView->selectionModel()->selectedRows();
    if (rows.isEmpty()) return nullptr;
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& A, const QModelIndex& B) { return A.row() < B.row(); });
    const std::string temp = GetTempDirName();
    if (temp.empty()) {
        MessageDlg(QStringLiteral("Unable to create a temporary folder for the dragged files."), mtError,
                   mbOK);
        return nullptr;
    }
    FDragTempFolder = temp;
    TempFolders.push_back(temp);
    const QString folder = QString::fromStdString(temp);
    QStringList paths;
    QSet<QString> seen;
    for (const QModelIndex& index : rows) {
        const TItemData& item = FModel->Item(index.row());
        const QString path = ConfinedEntryPath(FModel->Folder(item), item.Name);
        if (path.isEmpty() || seen.contains(path)) continue;
        seen.insert(path);
        paths.push_back(folder + QLatin1Char('/') + path);
    }
    return std::make_unique<TDragOutData>(*this, folder, paths);
}

bool TfmMain::DropFileSourceDrop(const QString& Folder) {
    if (FListing || !ArchiveOpen()) return false;
    TExtractOptions options = SelectedExtraction(QString::fromStdString(AddBackslash(Folder.toStdString())));
    options.ConfirmOverwrites = false;
    RunExtraction(options, false);
    return true;
}

void TfmMain::DropFileSourceAfterDrop() {
    FDragTempFolder.clear();
}

void TfmMain::DropFileSourceReleased(const QString& Folder, bool Extracted) {
    const std::string folder = Folder.toStdString();
    const auto forget = [this, folder] {
        DeleteFolderTree(folder);
        TempFolders.erase(std::remove(TempFolders.begin(), TempFolders.end(), folder), TempFolders.end());
    };
    if (FDragTempFolder == folder) FDragTempFolder.clear();
    if (!Extracted) {
        forget();
        return;
    }
    // The target may still be copying the files (file managers copy after the drop has
    // ended), so the folder stays a while; the window removes it at the latest when it goes.
    QTimer::singleShot(DragFolderGraceMs, this, forget);
}

void TfmMain::DragOutOfList() {
    std::unique_ptr<QMimeData> data = PrepareDragOut();
    if (!data) return;
    // The drag owns its data and is deleted by Qt when the transfer is over.
    auto* drag = new QDrag(this);
    drag->setMimeData(data.release());
    drag->exec(Qt::CopyAction, Qt::CopyAction);
    DropFileSourceAfterDrop();
}
