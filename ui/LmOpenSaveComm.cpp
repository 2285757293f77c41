#include "ui/LmOpenSaveComm.h"

#include "ui/LmAddPlaceFrm.h"
#include "ui/LmBrowseDlg.h"
#include "ui/LmMessages.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <tuple>
#include <unistd.h>

namespace {

TLmCustomOpenDialog*& CurrentDialog() {
    static TLmCustomOpenDialog* current = nullptr;
    return current;
}

// The child widgets of Qt's file dialog that make up each control of the set.
const std::vector<std::pair<TLmOpenDlgControl, std::vector<const char*>>>& ControlWidgets() {
    static const std::vector<std::pair<TLmOpenDlgControl, std::vector<const char*>>> table = {
        {dcFolderCombo, {"lookInCombo"}},
        {dcFolderLabel, {"lookInLabel"}},
        {dcSelectionCtrl, {"stackedWidget"}},
        {dcFileName, {"fileNameEdit"}},
        {dcFileNameLabel, {"fileNameLabel"}},
        {dcFileType, {"fileTypeCombo"}},
        {dcFileTypeLabel, {"fileTypeLabel"}},
        {dcToolBar,
         {"backButton", "forwardButton", "toParentButton", "desktopButton", "newFolderButton",
          "listModeButton", "detailModeButton"}},
    };
    return table;
}

QPoint CenterOf(const QWidget* Widget) {
    return Widget ? Widget->frameGeometry().center() : QPoint();
}

QWidget* MainForm() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(widget)) return widget;
    }
    return nullptr;
}

// True when another program has the file busy or locked: an executable that runs (for writing),
// a lock of fcntl or flock that conflicts with reading it (or, for writing, with any use).
bool FileInUse(const QString& Path, bool Writing) {
    const QByteArray name = QFile::encodeName(Path);
    const int fd =
        ::open(name.constData(), (Writing ? O_WRONLY : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno == ETXTBSY || errno == EBUSY;
    struct TClose {
        int Fd;
        ~TClose() { ::close(Fd); }
    } closer{fd};
    struct flock lock {};
    lock.l_type = Writing ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK) return true;
    if (::flock(fd, (Writing ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) return errno == EWOULDBLOCK;
    ::flock(fd, LOCK_UN);
    return false;
}

} // namespace

// While the dialog runs, every event of the dialog and its controls passes here first.
class TLmCustomOpenDialog::THook : public QObject {
public:
    explicit THook(TLmCustomOpenDialog& Dialog) : QObject(&Dialog), FDialog(Dialog) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (!Watched->isWidgetType()) return false;
        auto* widget = static_cast<QWidget*>(Watched);
        if (widget != &FDialog && !FDialog.isAncestorOf(widget)) return false;
        return !FDialog.DoEventHooking(TLmDialogMessage{Watched, Event, cmdNone});
    }

private:
    TLmCustomOpenDialog& FDialog;
};

QWidget* FindApplicationForm(const QString& Name) {
    if (Name.isEmpty()) return nullptr;
    const QString className = "T" + Name;
    for (QWidget* widget : QApplication::allWidgets()) {
        if (QString::fromLatin1(widget->metaObject()->className()).compare(className, Qt::CaseInsensitive) ==
            0)
            return widget;
    }
    return nullptr;
}

TLmCustomOpenDialog::TLmCustomOpenDialog(QWidget* Owner, bool Save) : QFileDialog(Owner), FSave(Save) {
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::HideNameFilterDetails);
    setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    setProxyModel(new TLmFilterProxy(ExtFilter, this, [this](const QString& AFileName, bool& IncludeFile) {
        DoIncludeFile(AFileName, IncludeFile);
    }));
    for (const char* name : {"listView", "treeView"}) {
        if (auto* view = findChild<QAbstractItemView*>(name)) {
            view->installEventFilter(this);             // keys
            view->viewport()->installEventFilter(this); // mouse and menu
        }
    }
    for (const char* name : {"listView", "treeView"}) {
        if (auto* view = findChild<QAbstractItemView*>(name)) {
            view->setItemDelegate(new TLmListDelegate(ListViewStyles, view));
            connect(view, &QAbstractItemView::entered, this,
                    [this, view](const QModelIndex& Index) { ItemEntered(view, Index); });
            connect(view, &QAbstractItemView::viewportEntered, view,
                    [view] { view->viewport()->unsetCursor(); });
        }
    }
    // Deleting from the list asks through the dialog set's messages, not the file dialog's own
    // message boxes: the menu's item and the Delete key of both views.
    if (auto* remove = findChild<QAction*>("qt_delete_action")) {
        disconnect(remove, &QAction::triggered, this, nullptr);
        connect(remove, &QAction::triggered, this, &TLmCustomOpenDialog::DeleteSelected);
    }
    for (const char* name : {"listView", "treeView"}) {
        auto* view = findChild<QAbstractItemView*>(name);
        for (QShortcut* shortcut : view ? view->findChildren<QShortcut*>() : QList<QShortcut*>()) {
            if (shortcut->key() != QKeySequence(QKeySequence::Delete)) continue;
            disconnect(shortcut, &QShortcut::activated, this, nullptr);
            connect(shortcut, &QShortcut::activated, this, &TLmCustomOpenDialog::DeleteSelected);
        }
    }
    // Qt enables the list menu's rename and delete anew each time the menu opens; what the
    // styles do not allow is made grey again at once.
    for (const auto& [name, enabled] : {std::pair{"qt_rename_action", &TLmListViewStyles::EnableRename},
                                        std::pair{"qt_delete_action", &TLmListViewStyles::EnableDelete}}) {
        if (auto* action = findChild<QAction*>(name)) {
            connect(action, &QAction::changed, this, [this, action, enabled = enabled] {
                if (action->isEnabled() && !(ListViewStyles.*enabled)) action->setEnabled(false);
            });
        }
    }
    // The Desktop button, on the tool bar of our own, next to the parent-folder one.
    if (auto* toParent = findChild<QToolButton*>("toParentButton")) {
        for (auto* box : findChildren<QBoxLayout*>()) {
            const int at = box->indexOf(toParent);
            if (at < 0) continue;
            auto* desktop = new QToolButton(this);
            desktop->setObjectName(QStringLiteral("desktopButton"));
            desktop->setIcon(style()->standardIcon(QStyle::SP_DesktopIcon));
            desktop->setToolTip(QStringLiteral("Desktop"));
            desktop->setAutoRaise(toParent->autoRaise());
            desktop->hide();
            box->insertWidget(at + 1, desktop);
            connect(desktop, &QToolButton::clicked, this, &TLmCustomOpenDialog::GoToDesktop);
            break;
        }
    }
    // The detail view's size, type and date columns fit their texts ("32.5 KiB", "Zip archive").
    if (auto* details = findChild<QTreeView*>("treeView")) {
        for (int column = 1; column < 4; ++column)
            details->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    for (const char* name : {"toParentButton", "backButton", "desktopButton", "newFolderButton",
                             "listModeButton", "detailModeButton"}) {
        if (auto* button = findChild<QToolButton*>(name)) button->installEventFilter(this);
    }
    for (const char* name : {"listModeButton", "detailModeButton"}) {
        if (auto* button = findChild<QToolButton*>(name)) {
            connect(button, &QToolButton::clicked, this, [this] {
                const TLmViewStyle style = SelectionStyle();
                if (style == FStyle) return;
                FStyle = style;
                DoSelectionStyleChange(style);
            });
        }
    }
    connect(this, &QFileDialog::filterSelected, this, &TLmCustomOpenDialog::TypeChanged);
    // A Help button and a read-only box, shown only when their captions are set.
    if (auto* box = findChild<QDialogButtonBox*>("buttonBox")) {
        QPushButton* help = box->addButton(QDialogButtonBox::Help);
        help->setObjectName(QStringLiteral("helpButton"));
        help->hide();
        connect(help, &QPushButton::clicked, this, [this] { DoHelp(); });
    }
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        auto* readOnly = new QCheckBox(this);
        readOnly->setObjectName(QStringLiteral("readOnlyCheckBox"));
        readOnly->hide();
        grid->addWidget(readOnly, grid->rowCount(), 0, 1, grid->columnCount());
    }
    if (auto* bar = qobject_cast<QAbstractItemView*>(PlacesBarView()))
        bar->viewport()->installEventFilter(this);
    // Connected after the dialog's own handlers, so these fire once the step was taken.
    if (auto* button = findChild<QToolButton*>("toParentButton")) {
        connect(button, &QToolButton::clicked, this, [this] {
            DoUpLevelNavigate();
            Hooked(cmdUpLevel);
        });
    }
    if (auto* button = findChild<QToolButton*>("backButton")) {
        connect(button, &QToolButton::clicked, this, [this] {
            DoLastFolderNavigate();
            Hooked(cmdLastFolder);
        });
    }
    if (auto* button = findChild<QToolButton*>("newFolderButton"))
        connect(button, &QToolButton::clicked, this, [this] { Hooked(cmdNewFolder); });
    if (QLineEdit* edit = FileNameEdit()) {
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textChanged, this, [this] {
            DoFilenameChange();
            Hooked(cmdFileNameChange);
        });
    }
}

TLmCustomOpenDialog::~TLmCustomOpenDialog() {
    DetachPanels();
    if (CurrentDialog() == this) CurrentDialog() = FPrevious;
}

TLmCustomOpenDialog* TLmCustomOpenDialog::Current() {
    return CurrentDialog();
}

bool TLmCustomOpenDialog::Execute() {
    FPrevious = std::exchange(CurrentDialog(), this);
    if (!Title.isEmpty()) setWindowTitle(Title);
    if (!Filter.isEmpty()) {
        const QStringList filters = QtNameFilters(Filter);
        setNameFilters(filters);
        if (FilterIndex >= 1 && FilterIndex <= filters.size()) selectNameFilter(filters[FilterIndex - 1]);
    }
    if (!InitialDir.isEmpty()) setDirectory(InitialDir);
    if (!FileName.isEmpty()) selectFile(FileName);
    if (FSave)
        setFileMode(QFileDialog::AnyFile);
    else if (Options.AllowMultiSelect)
        setFileMode(QFileDialog::ExistingFiles);
    else
        setFileMode(Options.FileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // The overwrite question is asked by accept, as the program's own message.
    setOption(QFileDialog::DontConfirmOverwrite, true);
    setFilter(Options.ShowHidden ? filter() | QDir::Hidden : filter() & ~QDir::Hidden);
    setDefaultSuffix(DefaultExt);
    FollowTypeExtension();
    FStyle = SelectionStyle();
    if (auto* proxy = qobject_cast<TLmFilterProxy*>(proxyModel())) proxy->invalidate();

    PrepareControls();
    ApplyViewStyles();
    ApplyToolBar();
    ApplyPlacesBar();
    AttachPanels();
    if (FLastSize.isValid()) resize(FLastSize + PanelsExtent());
    PositionDialog();

    // Whatever way the run ends, the panels go back to their owners before anything else.
    struct TRunEnd {
        TLmCustomOpenDialog& Dialog;
        ~TRunEnd() {
            Dialog.FLastSize = Dialog.size() - Dialog.PanelsExtent();
            Dialog.DetachPanels();
            if (Dialog.PlacesBar.Visible && !Dialog.PlacesBar.Native &&
                !Dialog.PlacesBar.RegistryKey.isEmpty())
                SavePlaces(Dialog.PlacesBar.RegistryKey, Dialog.PlacesBar.Places);
            CurrentDialog() = Dialog.FPrevious;
            qApp->removeEventFilter(Dialog.FHook);
            Dialog.FRunning = false;
        }
    } runEnd{*this};
    if (!FHook) FHook = new THook(*this);
    qApp->installEventFilter(FHook);
    FRunning = true;
    FChosen.clear();
    const bool confirmed = exec() == QDialog::Accepted;
    if (confirmed) {
        Files = FChosen.isEmpty() ? selectedFiles() : FChosen;
        FileName = Files.value(0);
        if (auto* readOnly = findChild<QCheckBox*>(QStringLiteral("readOnlyCheckBox")))
            ReadOnly = readOnly->isChecked();
    }
    return confirmed;
}

QString TLmCustomOpenDialog::FileNameText() const {
    const QLineEdit* edit = FileNameEdit();
    return edit ? edit->text() : QString();
}

void TLmCustomOpenDialog::Press(int Button) {
    // A hidden button still presses: the program may hide OK and press it itself.
    if (Button == 1)
        accept();
    else if (Button == 2)
        reject();
}

void TLmCustomOpenDialog::accept() {
    const bool fromName = FileNameEdit() && FileNameEdit()->hasFocus();
    if (fromName && !DoFilenameEntering()) return;
    // A folder typed into the name box and entered stays selected, out of sight, beside what the
    // user then clicks in its list: only the listed items are the choice.
    if (!fromName) DropUnlistedSelection();
    const QStringList selected = selectedFiles();
    const auto isDir = [](const QString& Path) { return QFileInfo(Path).isDir(); };
    const auto exists = [](const QString& Path) { return QFileInfo::exists(Path); };
    const bool selectedFolders = std::any_of(selected.begin(), selected.end(), isDir);
    // Names typed in quotes are each the choice, whatever the list has selected of them so far
    // (it follows the box as the folder is read); folders picked in the list stay the choice
    // where folders may be chosen.
    const QStringList quoted = fileMode() == QFileDialog::ExistingFiles ? QuotedNames() : QStringList();
    const QStringList chosen =
        !quoted.isEmpty() && (fromName || !(Options.AllowFolders && selectedFolders)) ? quoted : selected;
    if (!PassesShareCheck(chosen)) return;
    if (!LmAcceptChecks(*this, chosen, FSave && Options.OverwritePrompt)) return;
    // Qt's dialog enters the first folder of the selection; here the selection is the choice.
    // A folder typed into the name box is still entered.
    if (Options.AllowFolders && fileMode() == QFileDialog::ExistingFiles && !fromName && selectedFolders &&
        std::all_of(chosen.begin(), chosen.end(), exists)) {
        FChosen = chosen;
        QDialog::accept();
        return;
    }
    if (chosen == quoted && !std::any_of(chosen.begin(), chosen.end(), isDir)) {
        FChosen = chosen;
        QDialog::accept();
        if (fromName) Hooked(cmdOk);
        return;
    }
    QFileDialog::accept();
    if (fromName) Hooked(cmdOk);
}

QStringList TLmCustomOpenDialog::QuotedNames() const {
    const QString text = FileNameText();
    if (!text.contains(QLatin1Char('"'))) return {};
    // "a" "b" ...: every second piece between the quotes is a name, relative to the folder shown.
    QStringList names;
    const QStringList pieces = text.split(QLatin1Char('"'));
    for (qsizetype i = 1; i < pieces.size(); i += 2) {
        if (pieces[i].isEmpty()) continue;
        names << (QDir::isAbsolutePath(pieces[i]) ? QDir::cleanPath(pieces[i])
                                                  : directory().absoluteFilePath(pieces[i]));
    }
    return names;
}

bool TLmCustomOpenDialog::PassesShareCheck(const QStringList& Chosen) {
    for (const QString& file : Chosen) {
        if (!QFileInfo(file).isFile() || !FileInUse(file, FSave)) continue;
        int result = ShareDefault;
        DoShareViolation(result, file);
        if (result == ShareFallThrough) continue;
        if (result != ShareNoWarn)
            LmMessage(this, windowTitle(),
                      file + QStringLiteral("\r\nThis file is in use.\r\nEnter a new name or close the file "
                                            "that is open in another program."),
                      TLmMessageKind::Warning);
        return false;
    }
    return true;
}

void TLmCustomOpenDialog::DeleteSelected() {
    auto* view = findChild<QAbstractItemView*>("listView");
    auto* files = findChild<QFileSystemModel*>();
    if (!view || !view->selectionModel() || !files || files->isReadOnly() || !ListViewStyles.EnableDelete)
        return;
    const QString caption = QStringLiteral("Delete");
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        if (*row == view->rootIndex()) continue;
        const QPersistentModelIndex index = proxyModel() ? proxyModel()->mapToSource(*row) : *row;
        if (!index.isValid()) continue;
        const QFileInfo info = files->fileInfo(index);
        const QString quoted = QLatin1Char('\'') + info.fileName() + QLatin1Char('\'');
        if (!QFileInfo(info.absolutePath()).isWritable() &&
            !LmMessage(this, caption,
                       quoted + QStringLiteral(" is write protected.\r\nDo you want to delete it anyway?"),
                       TLmMessageKind::RiskyQuestion))
            return;
        if (!LmMessage(this, caption,
                       QStringLiteral("Are you sure you want to delete ") + quoted + QLatin1Char('?'),
                       TLmMessageKind::RiskyQuestion))
            return;
        // The questions let the model work: the entry may have gone meanwhile.
        if (!index.isValid()) return;
        if (!files->remove(index) && info.isDir() && !info.isSymLink()) {
            LmMessage(this, windowTitle(), QStringLiteral("Could not delete directory."),
                      TLmMessageKind::Warning);
            return;
        }
    }
}

void TLmCustomOpenDialog::Hooked(TLmDialogCommand Command) {
    if (FRunning) DoEventHook(TLmDialogMessage{this, nullptr, Command});
}

void TLmCustomOpenDialog::GoToDesktop() {
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!QFileInfo(desktop).isDir()) desktop = QDir::homePath();
    setDirectory(desktop);
    DoDesktopNavigate();
    Hooked(cmdDesktop);
}

void TLmCustomOpenDialog::ItemEntered(QAbstractItemView* View, const QModelIndex& Index) {
    if (ListViewStyles.HotTrackStyles & htHandPoint)
        View->viewport()->setCursor(Qt::PointingHandCursor);
    else
        View->viewport()->unsetCursor();
    if (ListViewStyles.HotTrack && Index.isValid() && View->currentIndex().row() != Index.row())
        View->setCurrentIndex(Index);
}

void TLmCustomOpenDialog::ApplyViewStyles() {
    const TLmListViewStyles& styles = ListViewStyles;
    const bool tracking = styles.HotTrack || styles.HotTrackStyles != 0;
    const bool oneClick = styles.HotTrackStyles & htHandPoint;
    if (oneClick && !FOneClickStyle) {
        FOneClickStyle = new TLmOneClickStyle;
        FOneClickStyle->setParent(this); // goes after the views, which were made before it
    }
    for (const char* name : {"listView", "treeView"}) {
        auto* view = findChild<QAbstractItemView*>(name);
        if (!view) continue;
        view->setMouseTracking(tracking);
        view->viewport()->setAttribute(Qt::WA_Hover, tracking);
        view->viewport()->unsetCursor();
        view->setStyle(oneClick ? FOneClickStyle.data() : nullptr);
        const QString sheet = styles.FlatScrollBars ? FlatScrollBarSheet() : QString();
        for (QScrollBar* bar : {view->horizontalScrollBar(), view->verticalScrollBar()})
            bar->setStyleSheet(sheet);
        view->viewport()->update();
    }
    // Rename and delete stay in the menu; what is not allowed is grey.
    if (auto* rename = findChild<QAction*>("qt_rename_action"); rename && !styles.EnableRename)
        rename->setEnabled(false);
    if (auto* remove = findChild<QAction*>("qt_delete_action"); remove && !styles.EnableDelete)
        remove->setEnabled(false);
}

void TLmCustomOpenDialog::ApplyToolBar() {
    for (const auto& [control, names] : ControlWidgets()) {
        if (control != dcToolBar) continue;
        for (const char* name : names) {
            if (auto* button = findChild<QToolButton*>(name)) button->setAutoRaise(ToolBar.Flat);
        }
    }
    if (auto* desktop = findChild<QToolButton*>("desktopButton"))
        desktop->setVisible(ToolBar.CustomBar && (VisibleControls & dcToolBar));
}

void TLmCustomOpenDialog::DropUnlistedSelection() {
    auto* view = findChild<QAbstractItemView*>("listView");
    QItemSelectionModel* selection = view ? view->selectionModel() : nullptr;
    if (!selection) return;
    const QModelIndex listed = view->rootIndex();
    const QModelIndexList rows = selection->selectedRows();
    // A typed path alone (the file it names selected wherever it lies) is left to the dialog.
    if (std::none_of(rows.begin(), rows.end(),
                     [&](const QModelIndex& Row) { return Row.parent() == listed; }))
        return;
    for (const QModelIndex& row : rows) {
        if (row.parent() != listed)
            selection->select(row, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    }
}

bool TLmCustomOpenDialog::eventFilter(QObject* Watched, QEvent* Event) {
    // Keys typed into the name box while the toolkit's record of the active window lags behind
    // the window system's (under some window managers) make the dialog the active window: the
    // dialog keeps the typed names only while the box has the focus, and otherwise writes the
    // list's selection over them as they are typed.
    if (Watched == FileNameEdit() && Event->type() == QEvent::KeyPress) {
        if (isVisible() && QApplication::activeWindow() != this) QApplication::setActiveWindow(this);
        return QFileDialog::eventFilter(Watched, Event);
    }
    if (auto* bar = qobject_cast<QAbstractItemView*>(PlacesBarView()); bar && Watched == bar->viewport()) {
        if (PlacesBar.Visible && !PlacesBar.Native && FilterPlacesEvent(Event)) return true;
        return QFileDialog::eventFilter(Watched, Event);
    }
    auto* view = qobject_cast<QAbstractItemView*>(Watched);
    if (!view && Watched->isWidgetType()) {
        view = qobject_cast<QAbstractItemView*>(static_cast<QWidget*>(Watched)->parentWidget());
        if (view && view->viewport() != Watched) view = nullptr;
    }
    if (view) {
        if (FilterListEvent(view, Event)) return true;
        return QFileDialog::eventFilter(Watched, Event);
    }
    const bool press =
        Event->type() == QEvent::MouseButtonPress ||
        (Event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Space);
    if (press) {
        const QString name = Watched->objectName();
        if (name == QLatin1String("listModeButton") || name == QLatin1String("detailModeButton")) {
            const TLmViewStyle wanted = name == QLatin1String("listModeButton") ? vsList : vsReport;
            const bool allow = wanted == SelectionStyle() || DoSelectionStyleChanging(wanted);
            return !allow || QFileDialog::eventFilter(Watched, Event);
        }
        const bool allow = name == "toParentButton"  ? DoUpLevelNavigating()
                           : name == "backButton"    ? DoLastFolderNavigating()
                           : name == "desktopButton" ? DoDesktopNavigating()
                                                     : DoFolderCreating();
        if (!allow) return true;
    }
    return QFileDialog::eventFilter(Watched, Event);
}

// True when the list's event is dropped: a menu the styles do not allow, or Delete without delete.
bool TLmCustomOpenDialog::FilterListEvent(QWidget* View, QEvent* Event) {
    if (Event->type() == QEvent::ContextMenu) {
        const auto* view = static_cast<QAbstractItemView*>(View);
        const bool selected = view->selectionModel() && view->selectionModel()->hasSelection();
        return !((ListViewStyles.PopupOnEmpty || selected) && (ListViewStyles.PopupOnSelection || !selected));
    }
    return Event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Delete &&
           !ListViewStyles.EnableDelete;
}

TLmViewStyle TLmCustomOpenDialog::SelectionStyle() const {
    if (!findChild<QAbstractItemView*>("listView")) return vsList;
    return viewMode() == QFileDialog::Detail ? vsReport : vsList;
}

void TLmCustomOpenDialog::TypeChanged() {
    // The type list's own position: its texts leave out the patterns the filters carry.
    const auto* types = findChild<QComboBox*>("fileTypeCombo");
    const int index = types ? types->currentIndex() : -1;
    if (index < 0) return;
    FilterIndex = index + 1;
    FollowTypeExtension();
    DoTypeChange();
}

void TLmCustomOpenDialog::FollowTypeExtension() {
    if (!FSave || DefaultExt.isEmpty()) return;
    const QString extension = FilterExtension(Filter, FilterIndex);
    if (!extension.isEmpty()) setDefaultSuffix(extension);
}

QString FilterExtension(const QString& Filter, int Index) {
    const QStringList parts = Filter.split('|');
    const int at = 2 * (Index - 1) + 1;
    if (Index < 1 || at >= parts.size()) return {};
    const QStringList patterns = parts[at].split(';', Qt::SkipEmptyParts);
    if (patterns.size() != 1) return {};
    const QString pattern = patterns[0].trimmed();
    if (!pattern.startsWith(QLatin1String("*.")) || pattern.size() < 3) return {};
    const QString extension = pattern.mid(2);
    if (extension.contains('*') || extension.contains('?') || extension.contains('.')) return {};
    return extension;
}

QAbstractButton* TLmCustomOpenDialog::OkButton() const {
    auto* box = findChild<QDialogButtonBox*>("buttonBox");
    return box ? box->button(FSave ? QDialogButtonBox::Save : QDialogButtonBox::Open) : nullptr;
}

QAbstractButton* TLmCustomOpenDialog::CancelButton() const {
    auto* box = findChild<QDialogButtonBox*>("buttonBox");
    return box ? box->button(QDialogButtonBox::Cancel) : nullptr;
}

QLineEdit* TLmCustomOpenDialog::FileNameEdit() const {
    return findChild<QLineEdit*>("fileNameEdit");
}

void TLmCustomOpenDialog::PrepareControls() {
    const std::pair<QFileDialog::DialogLabel, const QString*> captions[] = {
        {QFileDialog::Accept, &DlgItemsCaptions.OK},
        {QFileDialog::Reject, &DlgItemsCaptions.Cancel},
        {QFileDialog::LookIn, &DlgItemsCaptions.LookIn},
        {QFileDialog::FileName, &DlgItemsCaptions.FileName},
        {QFileDialog::FileType, &DlgItemsCaptions.FileType},
    };
    for (const auto& [label, text] : captions) {
        if (!text->isEmpty()) setLabelText(label, *text);
    }
    for (const auto& [control, names] : ControlWidgets()) {
        for (const char* name : names) {
            if (auto* widget = findChild<QWidget*>(name)) widget->setVisible(VisibleControls & control);
        }
    }
    if (QAbstractButton* ok = OkButton()) ok->setVisible(VisibleControls & dcOkBtn);
    // The dialog renames its button after its own handlers of a change; ours runs after them.
    if (auto* list = findChild<QAbstractItemView*>(QStringLiteral("listView"));
        list && list->selectionModel())
        connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &TLmCustomOpenDialog::KeepAcceptCaption, Qt::UniqueConnection);
    if (QLineEdit* edit = FileNameEdit())
        connect(edit, &QLineEdit::textChanged, this, &TLmCustomOpenDialog::KeepAcceptCaption,
                Qt::UniqueConnection);
    connect(this, &QFileDialog::directoryEntered, this, &TLmCustomOpenDialog::KeepAcceptCaption,
            Qt::UniqueConnection);
    if (QAbstractButton* cancel = CancelButton()) cancel->setVisible(VisibleControls & dcCancelBtn);
    if (QAbstractButton* help = HelpButton()) {
        help->setVisible(!DlgItemsCaptions.Help.isEmpty());
        help->setText(DlgItemsCaptions.Help);
    }
    if (auto* readOnly = findChild<QCheckBox*>(QStringLiteral("readOnlyCheckBox"))) {
        readOnly->setVisible(!DlgItemsCaptions.ReadOnlyFlag.isEmpty());
        readOnly->setText(DlgItemsCaptions.ReadOnlyFlag);
        readOnly->setChecked(ReadOnly);
    }
}

void TLmCustomOpenDialog::KeepAcceptCaption() {
    QAbstractButton* ok = OkButton();
    if (!ok || FSave || DlgItemsCaptions.OK.isEmpty()) return;
    if (ok->text() != DlgItemsCaptions.OK) ok->setText(DlgItemsCaptions.OK);
}

QAbstractButton* TLmCustomOpenDialog::HelpButton() const {
    return findChild<QAbstractButton*>(QStringLiteral("helpButton"));
}

void TLmCustomOpenDialog::ApplyPlacesBar() {
    QWidget* sidebar = findChild<QWidget*>("sidebar");
    if (sidebar) sidebar->setVisible(PlacesBar.Visible);
    if (!PlacesBar.Visible || PlacesBar.Native) return;
    if (!PlacesBar.RegistryKey.isEmpty() && !LoadPlaces(PlacesBar.RegistryKey, PlacesBar.Places)) {
        PlacesMessage(windowTitle(), QStringLiteral("Lumo Places Bar: Could not load data from registry"));
    }
    FillPlacesBar();
}

QWidget* TLmCustomOpenDialog::PlacesBarView() const {
    return findChild<QWidget*>("sidebar");
}

// The bar shows the places whose folders exist, in their order.
void TLmCustomOpenDialog::FillPlacesBar() {
    QList<QUrl> urls;
    FPlaceRows.clear();
    for (std::size_t i = 0; i < PlacesBar.Places.size(); ++i) {
        const QString folder = PlaceFolder(PlacesBar.Places[i]);
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) continue;
        urls << QUrl::fromLocalFile(folder);
        FPlaceRows.push_back(static_cast<int>(i));
    }
    setSidebarUrls(urls);
    LabelPlaces();
    // The side bar names its rows after their folders again whenever a folder changes.
    if (auto* bar = qobject_cast<QAbstractItemView*>(PlacesBarView()); bar && !FLabelling) {
        FLabelling = connect(bar->model(), &QAbstractItemModel::dataChanged, this, [this] { LabelPlaces(); });
    }
}

void TLmCustomOpenDialog::LabelPlaces() {
    auto* bar = qobject_cast<QAbstractItemView*>(PlacesBarView());
    if (!bar || FInLabelPlaces) return;
    FInLabelPlaces = true;
    QAbstractItemModel* model = bar->model();
    for (int row = 0; row < model->rowCount() && row < static_cast<int>(FPlaceRows.size()); ++row) {
        const TLmPlace& place =
            PlacesBar.Places[static_cast<std::size_t>(FPlaceRows[static_cast<std::size_t>(row)])];
        const QModelIndex index = model->index(row, 0);
        // The caption and hint the user gave the place; the folder's name and path without them.
        const QString folder = PlaceFolder(place);
        const QString caption = place.PlaceName.isEmpty() ? QFileInfo(folder).fileName() : place.PlaceName;
        const QString hint = place.PlaceDesc.isEmpty() ? folder : place.PlaceDesc;
        if (!caption.isEmpty() && model->data(index, Qt::DisplayRole).toString() != caption)
            model->setData(index, caption, Qt::DisplayRole);
        if (model->data(index, Qt::ToolTipRole).toString() != hint)
            model->setData(index, hint, Qt::ToolTipRole);
    }
    FInLabelPlaces = false;
}

// True when the bar's event was handled here: its menu, and what is dragged onto it.
bool TLmCustomOpenDialog::FilterPlacesEvent(QEvent* Event) {
    auto* bar = static_cast<QAbstractItemView*>(PlacesBarView());
    auto placeAt = [this, bar](const QPoint& Pos) {
        const int row = bar->indexAt(Pos).row();
        return row >= 0 && row < static_cast<int>(FPlaceRows.size()) ? FPlaceRows[row] : -1;
    };
    switch (Event->type()) {
    case QEvent::ContextMenu: {
        const auto* menuEvent = static_cast<QContextMenuEvent*>(Event);
        const int place = placeAt(menuEvent->pos());
        QMenu menu(this);
        QAction* remove = menu.addAction(QStringLiteral("Delete place..."));
        QAction* change = menu.addAction(QStringLiteral("Properties..."));
        menu.addSeparator();
        QAction* add = menu.addAction(QStringLiteral("Add place..."));
        remove->setEnabled(PlacesBar.AllowDelete && place >= 0);
        change->setEnabled(PlacesBar.AllowEdit && place >= 0);
        add->setEnabled(PlacesBar.AllowEdit);
        QAction* chosen = menu.exec(menuEvent->globalPos());
        if (chosen == remove)
            AskDeletePlace(place);
        else if (chosen == change)
            EditPlace(place);
        else if (chosen == add)
            EditPlace(-1);
        return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(Event);
        if (drag->source() == bar || (PlacesBar.AllowDrop && drag->mimeData()->hasUrls()))
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(Event);
        const QPoint pos = drop->position().toPoint();
        if (drop->source() == bar) {
            // A place dragged onto another takes its position.
            const int from = bar->currentIndex().row();
            const int to = placeAt(pos);
            if (from >= 0 && from < static_cast<int>(FPlaceRows.size()) && to >= 0) {
                MovePlace(PlacesBar.Places, FPlaceRows[from], to);
                PlacesEdited();
            }
        } else if (PlacesBar.AllowDrop) {
            bool added = false;
            for (const QUrl& url : drop->mimeData()->urls()) {
                const QFileInfo folder(url.toLocalFile());
                if (!url.isLocalFile() || !folder.isDir()) continue;
                TLmPlace place;
                place.PlaceName = folder.fileName().isEmpty() ? folder.absoluteFilePath() : folder.fileName();
                place.PlacePath = folder.absoluteFilePath();
                place.PlaceIconDll = QStringLiteral("Shell32.dll");
                PlacesBar.Places.push_back(place);
                added = true;
            }
            if (added) PlacesEdited();
        }
        // Taken as a copy: a move would make the list remove the dragged entry after the drop,
        // when the bar has been filled anew already.
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        return true;
    }
    default:
        return false;
    }
}

void TLmCustomOpenDialog::EditPlace(int Index) {
    const bool adding = Index < 0 || Index >= static_cast<int>(PlacesBar.Places.size());
    TLmAddPlaceFrm form(this, adding);
    form.OnMessage = [this](const QString& Caption, const QString& Text) { PlacesMessage(Caption, Text); };
    if (!adding) form.SetPlace(PlacesBar.Places[Index]);
    if (form.exec() != QDialog::Accepted) return;
    if (adding)
        PlacesBar.Places.push_back(form.Place());
    else
        PlacesBar.Places[Index] = form.Place();
    PlacesEdited();
}

void TLmCustomOpenDialog::AskDeletePlace(int Index) {
    if (Index < 0 || Index >= static_cast<int>(PlacesBar.Places.size())) return;
    const QString caption = QStringLiteral("Place bar");
    const QString text = DeletePlaceQuestion(PlacesBar.Places[Index]);
    const bool yes = PlacesBar.OnConfirm ? PlacesBar.OnConfirm(caption, text)
                                         : LmMessage(this, caption, text, TLmMessageKind::Question);
    if (!yes) return;
    DeletePlace(PlacesBar.Places, Index);
    PlacesEdited();
}

// After every edit the bar shows the places anew and, with a key, they are saved at once.
void TLmCustomOpenDialog::PlacesEdited() {
    if (!PlacesBar.RegistryKey.isEmpty()) SavePlaces(PlacesBar.RegistryKey, PlacesBar.Places);
    FillPlacesBar();
}

void TLmCustomOpenDialog::PlacesMessage(const QString& Caption, const QString& Text) {
    if (PlacesBar.OnMessage)
        PlacesBar.OnMessage(Caption, Text);
    else
        LmMessage(this, Caption, Text, TLmMessageKind::Warning);
}

void TLmCustomOpenDialog::AttachPanels() {
    auto* grid = qobject_cast<QGridLayout*>(layout());
    if (!grid) return;
    auto find = [](const QString& Name, bool Enabled) {
        return Enabled ? FindApplicationForm(Name) : nullptr;
    };
    QWidget* left = find(DlgParams.LeftFormName(), DlgParams.LeftPanels);
    QWidget* right = find(DlgParams.RightFormName(), DlgParams.RightPanels);
    QWidget* top = find(DlgParams.TopFormName(), DlgParams.TopPanels);
    QWidget* bottom = find(DlgParams.BottomFormName(), DlgParams.BottomPanels);
    QWidget* custom = SelectionType == stCustom && (VisibleControls & dcSelectionCtrl)
                          ? FindApplicationForm(DlgParams.CustFormName)
                          : nullptr;
    auto take = [this](QWidget* Form, TPanelSide Side) {
        FPanels.push_back(
            {Form, Form->parentWidget(), Form->windowFlags(), Form->geometry(), !Form->isHidden(), Side});
        Form->setParent(this, Qt::Widget);
        Form->show();
    };
    const int rows = grid->rowCount(), columns = grid->columnCount();
    FShiftRows = top ? 1 : 0;
    FShiftColumns = left ? 1 : 0;
    ShiftGrid(FShiftRows, FShiftColumns);
    const int width = FShiftColumns + columns + (right ? 1 : 0);
    const std::tuple<QWidget*, TPanelSide, int, int, int, int> places[] = {
        {left, psLeft, FShiftRows, 0, rows, 1},
        {right, psRight, FShiftRows, FShiftColumns + columns, rows, 1},
        {top, psTop, 0, 0, 1, width},
        {bottom, psBottom, FShiftRows + rows, 0, 1, width},
    };
    for (const auto& [form, side, row, column, rowSpan, columnSpan] : places) {
        if (!form) continue;
        take(form, side);
        grid->addWidget(form, row, column, rowSpan, columnSpan);
    }
    if (custom) {
        if (auto* stack = findChild<QStackedWidget*>("stackedWidget")) {
            take(custom, psCustom);
            stack->addWidget(custom);
            stack->setCurrentWidget(custom);
        }
    }
}

void TLmCustomOpenDialog::DetachPanels() {
    auto* stack = findChild<QStackedWidget*>("stackedWidget");
    for (TPanel& panel : FPanels) {
        if (!panel.Form) continue;
        if (layout()) layout()->removeWidget(panel.Form);
        if (stack && stack->indexOf(panel.Form) >= 0) {
            stack->removeWidget(panel.Form);
            setViewMode(viewMode());
        }
        panel.Form->hide();
        panel.Form->setParent(panel.OldParent, panel.OldFlags);
        panel.Form->setGeometry(panel.OldGeometry);
        // The custom selection form is handed back as it was found; side panels hidden.
        if (panel.Side == psCustom && panel.OldVisible) panel.Form->show();
    }
    FPanels.clear();
    ShiftGrid(-FShiftRows, -FShiftColumns);
    FShiftRows = FShiftColumns = 0;
}

QSize TLmCustomOpenDialog::PanelsExtent() const {
    const auto* grid = qobject_cast<const QGridLayout*>(layout());
    const int across = grid ? std::max(grid->horizontalSpacing(), 0) : 0;
    const int down = grid ? std::max(grid->verticalSpacing(), 0) : 0;
    QSize extent(0, 0);
    for (const TPanel& panel : FPanels) {
        if (!panel.Form) continue;
        const QSize hint =
            panel.Form->sizeHint().expandedTo(panel.Form->minimumSize()).expandedTo(QSize(0, 0));
        if (panel.Side == psLeft || panel.Side == psRight)
            extent.rwidth() += hint.width() + across;
        else if (panel.Side == psTop || panel.Side == psBottom)
            extent.rheight() += hint.height() + down;
    }
    // The places bar of our own widens the dialog by its width.
    const QWidget* bar = PlacesBarView();
    if (PlacesBar.Visible && !PlacesBar.Native && bar && !bar->isHidden())
        extent.rwidth() += std::max(bar->sizeHint().width(), 0);
    return extent;
}

void TLmCustomOpenDialog::ShiftGrid(int Rows, int Columns) {
    auto* grid = qobject_cast<QGridLayout*>(layout());
    if (!grid || (Rows == 0 && Columns == 0)) return;
    std::vector<std::tuple<QLayoutItem*, int, int, int, int>> items;
    for (int i = grid->count() - 1; i >= 0; --i) {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
        items.emplace_back(grid->takeAt(i), row, column, rowSpan, columnSpan);
    }
    for (const auto& [item, row, column, rowSpan, columnSpan] : items)
        grid->addItem(item, row + Rows, column + Columns, rowSpan, columnSpan, item->alignment());
}

void TLmCustomOpenDialog::PositionDialog() {
    QWidget* mainForm = MainForm();
    QPoint center;
    switch (DlgParams.Position) {
    case dpDefault:
        break;
    case dpFormCenter:
        if (QWidget* form = FindApplicationForm(DlgParams.PosParams.FormName)) {
            center = CenterOf(form);
            break;
        }
        [[fallthrough]];
    case dpOwnerCenter:
        if (DlgParams.Position == dpOwnerCenter && parentWidget()) {
            center = CenterOf(parentWidget()->window());
            break;
        }
        [[fallthrough]];
    case dpMainFormCenter:
        if (mainForm) {
            center = CenterOf(mainForm);
            break;
        }
        [[fallthrough]];
    case dpScrCenter:
        if (QScreen* screen = QGuiApplication::primaryScreen()) center = screen->availableGeometry().center();
        break;
    }
    const TLmPosParams& params = DlgParams.PosParams;
    if (center.isNull() && params.ShiftX == 0 && params.ShiftY == 0 && !params.FitToScreen) return;
    ensurePolished();
    const QSize size = this->size().expandedTo(sizeHint());
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect rect =
        DialogPosition(QRect(pos(), size), center, params, screen ? screen->availableGeometry() : QRect());
    move(rect.topLeft());
}

// ---- the events, each fired through an operation a descendant may override ----------------

namespace {

bool Ask(const TLmCustomOpenDialog::TQuery& Query, TLmCustomOpenDialog& Sender) {
    bool allow = true;
    if (Query) Query(Sender, allow);
    return allow;
}

void Tell(const TLmCustomOpenDialog::TNotify& Notify, TLmCustomOpenDialog& Sender) {
    if (Notify) Notify(Sender);
}

} // namespace

void TLmCustomOpenDialog::DoIncludeFile(const QString& AFileName, bool& IncludeFile) {
    if (ExtFilter.OnIncludeFile) ExtFilter.OnIncludeFile(AFileName, IncludeFile);
}

void TLmCustomOpenDialog::DoDesktopNavigate() {
    Tell(OnDesktopNavigate, *this);
}

bool TLmCustomOpenDialog::DoDesktopNavigating() {
    return Ask(OnDesktopNavigating, *this);
}

void TLmCustomOpenDialog::DoUpLevelNavigate() {
    Tell(OnUpLevelNavigate, *this);
}

bool TLmCustomOpenDialog::DoUpLevelNavigating() {
    return Ask(OnUpLevelNavigating, *this);
}

void TLmCustomOpenDialog::DoLastFolderNavigate() {
    Tell(OnLastFolderNavigate, *this);
}

bool TLmCustomOpenDialog::DoLastFolderNavigating() {
    return Ask(OnLastFolderNavigating, *this);
}

void TLmCustomOpenDialog::DoSelectionStyleChange(TLmViewStyle AStyle) {
    if (OnSelectionStyleChange) OnSelectionStyleChange(*this, AStyle);
}

bool TLmCustomOpenDialog::DoSelectionStyleChanging(TLmViewStyle AStyle) {
    bool allow = true;
    if (OnSelectionStyleChanging) OnSelectionStyleChanging(*this, AStyle, allow);
    return allow;
}

bool TLmCustomOpenDialog::DoFolderCreating() {
    return Ask(OnFolderCreating, *this);
}

void TLmCustomOpenDialog::DoFilenameChange() {
    Tell(OnFilenameChange, *this);
}

bool TLmCustomOpenDialog::DoFilenameEntering() {
    return Ask(OnFilenameEntering, *this);
}

void TLmCustomOpenDialog::DoEventHook(const TLmDialogMessage& Msg) {
    if (OnEventHook) OnEventHook(*this, Msg);
}

bool TLmCustomOpenDialog::DoEventHooking(const TLmDialogMessage& Msg) {
    bool allow = true;
    if (OnEventHooking) OnEventHooking(*this, Msg, allow);
    return allow;
}

void TLmCustomOpenDialog::DoShareViolation(int& DlgResult, const QString& FileName) {
    if (OnShareViolation) OnShareViolation(*this, DlgResult, FileName);
}

void TLmCustomOpenDialog::DoHelp() {
    Tell(OnHelp, *this);
}

void TLmCustomOpenDialog::DoTypeChange() {
    Tell(OnTypeChange, *this);
}
