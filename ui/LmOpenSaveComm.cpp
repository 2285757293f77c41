#include "ui/LmOpenSaveComm.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QToolButton>
#include <QUrl>
#include <tuple>

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
         {"backButton", "forwardButton", "toParentButton", "newFolderButton", "listModeButton",
          "detailModeButton"}},
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

} // namespace

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
    setProxyModel(new TLmFilterProxy(ExtFilter, this));
    for (const char* name : {"listView", "treeView"}) {
        if (auto* view = findChild<QAbstractItemView*>(name)) {
            view->installEventFilter(this);             // keys
            view->viewport()->installEventFilter(this); // mouse and menu
        }
    }
    for (const char* name : {"toParentButton", "backButton", "newFolderButton"}) {
        if (auto* button = findChild<QToolButton*>(name)) button->installEventFilter(this);
    }
    // Connected after the dialog's own handlers, so these fire once the step was taken.
    if (auto* button = findChild<QToolButton*>("toParentButton")) {
        connect(button, &QToolButton::clicked, this, [this] {
            if (OnUpLevelNavigate) OnUpLevelNavigate(*this);
        });
    }
    if (auto* button = findChild<QToolButton*>("backButton")) {
        connect(button, &QToolButton::clicked, this, [this] {
            if (OnLastFolderNavigate) OnLastFolderNavigate(*this);
        });
    }
    if (QLineEdit* edit = FileNameEdit()) {
        connect(edit, &QLineEdit::textChanged, this, [this] {
            if (OnFilenameChange) OnFilenameChange(*this);
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
    setOption(QFileDialog::DontConfirmOverwrite, !Options.OverwritePrompt);
    setFilter(Options.ShowHidden ? filter() | QDir::Hidden : filter() & ~QDir::Hidden);
    setDefaultSuffix(DefaultExt);
    if (auto* proxy = qobject_cast<TLmFilterProxy*>(proxyModel())) proxy->invalidate();

    PrepareControls();
    ApplyPlacesBar();
    AttachPanels();
    if (FLastSize.isValid()) resize(FLastSize);
    PositionDialog();

    // Whatever way the run ends, the panels go back to their owners before anything else.
    struct TRunEnd {
        TLmCustomOpenDialog& Dialog;
        ~TRunEnd() {
            Dialog.FLastSize = Dialog.size();
            Dialog.DetachPanels();
            if (Dialog.PlacesBar.Visible && !Dialog.PlacesBar.Native &&
                !Dialog.PlacesBar.RegistryKey.isEmpty())
                SavePlaces(Dialog.PlacesBar.RegistryKey, Dialog.PlacesBar.Places);
            CurrentDialog() = Dialog.FPrevious;
        }
    } runEnd{*this};
    const bool confirmed = exec() == QDialog::Accepted;
    if (confirmed) {
        Files = selectedFiles();
        FileName = Files.value(0);
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
    if (OnFilenameEntering && FileNameEdit() && FileNameEdit()->hasFocus()) {
        bool allow = true;
        OnFilenameEntering(*this, allow);
        if (!allow) return;
    }
    QFileDialog::accept();
}

bool TLmCustomOpenDialog::eventFilter(QObject* Watched, QEvent* Event) {
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
        const TQuery& query = name == "toParentButton" ? OnUpLevelNavigating
                              : name == "backButton"   ? OnLastFolderNavigating
                                                       : OnFolderCreating;
        bool allow = true;
        if (query) query(*this, allow);
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
    // The list's menu leaves out what the styles do not allow (Qt enables its commands anew each
    // time the menu opens, so they are hidden rather than greyed).
    if (auto* rename = findChild<QAction*>("qt_rename_action"))
        rename->setVisible(ListViewStyles.EnableRename);
    if (auto* remove = findChild<QAction*>("qt_delete_action"))
        remove->setVisible(ListViewStyles.EnableDelete);
    if (QAbstractButton* cancel = CancelButton()) cancel->setVisible(VisibleControls & dcCancelBtn);
}

void TLmCustomOpenDialog::ApplyPlacesBar() {
    QWidget* sidebar = findChild<QWidget*>("sidebar");
    if (sidebar) sidebar->setVisible(PlacesBar.Visible);
    if (!PlacesBar.Visible || PlacesBar.Native) return;
    if (!PlacesBar.RegistryKey.isEmpty() && !LoadPlaces(PlacesBar.RegistryKey, PlacesBar.Places)) {
        const QString text = "Lumo Places Bar: Could not load data from registry";
        if (PlacesBar.OnMessage)
            PlacesBar.OnMessage(text);
        else
            QMessageBox::warning(this, windowTitle(), text);
    }
    QList<QUrl> urls;
    for (const TLmPlace& place : PlacesBar.Places) {
        const QString folder = PlaceFolder(place);
        if (!folder.isEmpty() && QFileInfo(folder).isDir()) urls << QUrl::fromLocalFile(folder);
    }
    setSidebarUrls(urls);
}

void TLmCustomOpenDialog::AttachPanels() {
    auto* grid = qobject_cast<QGridLayout*>(layout());
    if (!grid) return;
    auto find = [](const QString& Name, bool Enabled) {
        return Enabled ? FindApplicationForm(Name) : nullptr;
    };
    QWidget* left = find(DlgParams.LeftFormName, DlgParams.LeftPanels);
    QWidget* right = find(DlgParams.RightFormName, DlgParams.RightPanels);
    QWidget* top = find(DlgParams.TopFormName, DlgParams.TopPanels);
    QWidget* bottom = find(DlgParams.BottomFormName, DlgParams.BottomPanels);
    QWidget* custom = SelectionType == stCustom && (VisibleControls & dcSelectionCtrl)
                          ? FindApplicationForm(DlgParams.CustFormName)
                          : nullptr;
    auto take = [this](QWidget* Form) {
        FPanels.push_back({Form, Form->parentWidget(), Form->windowFlags(), Form->geometry()});
        Form->setParent(this, Qt::Widget);
        Form->show();
    };
    const int rows = grid->rowCount(), columns = grid->columnCount();
    FShiftRows = top ? 1 : 0;
    FShiftColumns = left ? 1 : 0;
    ShiftGrid(FShiftRows, FShiftColumns);
    const int width = FShiftColumns + columns + (right ? 1 : 0);
    const std::tuple<QWidget*, int, int, int, int> places[] = {
        {left, FShiftRows, 0, rows, 1},
        {right, FShiftRows, FShiftColumns + columns, rows, 1},
        {top, 0, 0, 1, width},
        {bottom, FShiftRows + rows, 0, 1, width},
    };
    for (const auto& [form, row, column, rowSpan, columnSpan] : places) {
        if (!form) continue;
        take(form);
        grid->addWidget(form, row, column, rowSpan, columnSpan);
    }
    if (custom) {
        if (auto* stack = findChild<QStackedWidget*>("stackedWidget")) {
            take(custom);
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
    }
    FPanels.clear();
    ShiftGrid(-FShiftRows, -FShiftColumns);
    FShiftRows = FShiftColumns = 0;
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
