#include "platform/Registry.h"
#include "ui/LmAddPlaceFrm.h"
#include "ui/LmBrowseDlg.h"
#include "ui/LmOpenDlg.h"
#include "ui/LmSaveDlg.h"

#include "ChildProcess.h"
#include "DesktopSandbox.h"
#include "DialogDriver.h"
#include "RegistrySandbox.h"
#include "ScriptedPrompter.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// An application form the dialogs look up by name.
class TfmTestBottom : public QWidget {
    Q_OBJECT
};

// Runs the dialog's Execute with one step inside its modal loop.
bool ExecuteWith(TLmCustomOpenDialog& Dialog, std::function<void()> Step) {
    QTimer::singleShot(0, &Dialog, [&Dialog, Step] {
        Step();
        if (Dialog.isVisible()) Dialog.Press(2);
    });
    return Dialog.Execute();
}

// The row of Name in the dialog's view, once the folder has been listed.
QModelIndex RowOf(QAbstractItemView& View, const QString& Name) {
    QModelIndex found;
    (void)QTest::qWaitFor([&] {
        const QModelIndex root = View.rootIndex();
        for (int row = 0; row < View.model()->rowCount(root); ++row) {
            const QModelIndex index = View.model()->index(row, 0, root);
            if (index.data().toString() == Name) found = index;
        }
        return found.isValid();
    });
    return found;
}

// How many pixels of Color the view shows inside Area.
int PixelsOf(QAbstractItemView& View, const QRect& Area, const QColor& Color) {
    const QImage image = View.viewport()->grab().toImage();
    int count = 0;
    for (int y = Area.top(); y <= Area.bottom(); ++y)
        for (int x = Area.left(); x <= Area.right(); ++x)
            count += image.rect().contains(x, y) && image.pixelColor(x, y) == Color;
    return count;
}

} // namespace

// A docked form is the dialog's for one run only: it goes back on every exit and outlives the
// dialog, so the next dialog can place it again.
TEST(LmOpenDialog, PanelIsLentForOneRunAndSurvivesTheDialog) {
    {
        TfmTestBottom panel;
        panel.resize(300, 40);
        for (int run = 0; run < 2; ++run) {
            auto dialog = std::make_unique<TLmOpenDialog>();
            dialog->DlgParams.SetBottomFormName("FMTESTBOTTOM"); // found without regard to case
            ExecuteWith(*dialog, [&] {
                EXPECT_EQ(panel.parentWidget(), dialog.get());
                EXPECT_TRUE(panel.isVisible());
                EXPECT_EQ(TLmCustomOpenDialog::Current(), dialog.get());
            });
            EXPECT_EQ(panel.parentWidget(), nullptr);
            EXPECT_FALSE(panel.isVisible());
            EXPECT_EQ(panel.size(), QSize(300, 40));
            dialog.reset();
            EXPECT_EQ(TLmCustomOpenDialog::Current(), nullptr);
        }
    }
    // A custom selection form stands in for the file list for one run.
    {
        TfmTestBottom custom;
        TLmOpenDialog dialog;
        dialog.DlgParams.CustFormName = "fmTestBottom";
        dialog.SelectionType = stCustom;
        ExecuteWith(dialog, [&] {
            EXPECT_EQ(Find<QStackedWidget>(dialog, "stackedWidget")->currentWidget(), &custom);
        });
        EXPECT_EQ(custom.parentWidget(), nullptr);
        EXPECT_NE(Find<QStackedWidget>(dialog, "stackedWidget")->currentWidget(), &custom);
    }
    // Left and right panels, and a name that matches no form: no panel and no error.
    TfmTestBottom side;
    TLmSaveDialog dialog;
    dialog.DlgParams.SetLeftFormName("fmTestBottom");
    dialog.DlgParams.SetRightFormName("fmNoSuchForm");
    ExecuteWith(dialog, [&] { EXPECT_EQ(side.parentWidget(), &dialog); });
    EXPECT_EQ(side.parentWidget(), nullptr);
    // The grid is back as it was: a second run places the panel again.
    ExecuteWith(dialog, [&] { EXPECT_EQ(side.parentWidget(), &dialog); });
}

TEST(LmOpenDialog, CaptionsAndVisibleControls) {
    TLmOpenDialog dialog;
    dialog.Title = "Select Files to Add";
    dialog.Filter = "All Files (*.*)|*.*";
    dialog.DlgItemsCaptions.OK = "&Add";
    dialog.DlgItemsCaptions.FileName = "Name:";
    dialog.VisibleControls = AllDlgControls & ~(dcFileType | dcFileTypeLabel | dcToolBar);
    ExecuteWith(dialog, [&] {
        EXPECT_EQ(dialog.windowTitle(), "Select Files to Add");
        auto* box = Find<QDialogButtonBox>(dialog, "buttonBox");
        EXPECT_EQ(box->button(QDialogButtonBox::Open)->text(), "&Add");
        EXPECT_EQ(Find<QLabel>(dialog, "fileNameLabel")->text(), "Name:");
        EXPECT_FALSE(Find<QWidget>(dialog, "fileTypeCombo")->isVisible());
        EXPECT_FALSE(Find<QWidget>(dialog, "backButton")->isVisible());
        EXPECT_TRUE(Find<QWidget>(dialog, "fileNameEdit")->isVisible());
        EXPECT_TRUE(Find<QWidget>(dialog, "sidebar")->isVisible()); // the desktop's own places
    });
    dialog.PlacesBar.Visible = false;
    ExecuteWith(dialog, [&] {
        EXPECT_FALSE(Find<QWidget>(dialog, "sidebar")->isVisible());
        // No Help or read-only caption: neither control shows.
        EXPECT_FALSE(Find<QWidget>(dialog, "helpButton")->isVisible());
        EXPECT_FALSE(Find<QWidget>(dialog, "readOnlyCheckBox")->isVisible());
    });
    // The Help and read-only captions show their controls; the box's state comes back.
    dialog.DlgItemsCaptions.Help = "&Help me";
    dialog.DlgItemsCaptions.ReadOnlyFlag = "Open &read-only";
    int helped = 0;
    dialog.OnHelp = [&](TLmCustomOpenDialog&) { ++helped; };
    dialog.FileName = QString::fromStdString((fs::path(QUILLAR_CORPUS_DIR) / "SOURCES.tsv").string());
    dialog.InitialDir = QString::fromStdString(QUILLAR_CORPUS_DIR);
    EXPECT_TRUE(ExecuteWith(dialog, [&] {
        auto* help = Find<QAbstractButton>(dialog, "helpButton");
        EXPECT_TRUE(help->isVisible());
        EXPECT_EQ(help->text(), "&Help me");
        help->click();
        auto* readOnly = Find<QCheckBox>(dialog, "readOnlyCheckBox");
        EXPECT_TRUE(readOnly->isVisible());
        EXPECT_EQ(readOnly->text(), "Open &read-only");
        readOnly->setChecked(true);
        dialog.Press(1);
    }));
    EXPECT_EQ(helped, 1);
    EXPECT_TRUE(dialog.ReadOnly);
}

TEST(LmOpenDialog, FiltersBecomeQtNameFilters) {
    const std::vector<std::pair<QString, QStringList>> cases = {
        {"All Files (*.*)|*.*", {"All Files (*.*) (*)"}},
        {"Text|*.a;*.b|Any|*.*", {"Text (*.a *.b)", "Any (*)"}},
        {"Executables|*.exe;*.dll;*.ocx;*.bpl;*.cpl;|Icons|*.ico|All files|*.*",
         {"Executables (*.exe *.dll *.ocx *.bpl *.cpl)", "Icons (*.ico)", "All files (*)"}},
        {"Odd|", {"Odd (*)"}},
        {"", {}},
        {"No patterns", {}},
    };
    for (const auto& [filter, expected] : cases)
        EXPECT_EQ(QtNameFilters(filter), expected) << filter.toStdString();
}

// The extended filter hides what its owner refuses, and folders when told to.
TEST(LmOpenDialog, ExtendedFilterAsksAboutEachFile) {
    TempDir dir;
    for (const char* name : {"keep.txt", "drop.log"})
        WriteFile(dir / name, "x");
    fs::create_directories(dir / "folder");
    for (const bool showFolders : {true, false}) {
        TLmFileFilter filter;
        filter.Enabled = true;
        filter.ShowFolders = showFolders;
        QStringList asked;
        filter.OnIncludeFile = [&](const QString& Name, bool& Include) {
            asked << QFileInfo(Name).fileName();
            Include = !Name.endsWith(".log");
        };
        QFileSystemModel model;
        QSignalSpy loaded(&model, &QFileSystemModel::directoryLoaded);
        const QModelIndex root = model.setRootPath(QString::fromStdString(dir.Str()));
        ASSERT_TRUE(loaded.wait(10000));
        TLmFilterProxy proxy(filter, nullptr);
        proxy.setSourceModel(&model);
        QStringList shown;
        const QModelIndex proxyRoot = proxy.mapFromSource(root);
        for (int row = 0; row < proxy.rowCount(proxyRoot); ++row)
            shown << proxy.index(row, 0, proxyRoot).data().toString();
        shown.sort();
        EXPECT_EQ(shown, showFolders ? QStringList({"folder", "keep.txt"}) : QStringList({"keep.txt"}));
        EXPECT_TRUE(asked.contains("drop.log"));
        EXPECT_FALSE(asked.contains("folder"));
    }
}

// The program reads the file-name box while the dialog runs and presses its buttons itself.
TEST(LmOpenDialog, FileNameTextAndPressDuringTheRun) {
    TempDir dir;
    std::ofstream(dir / "a.txt") << "a";
    TLmOpenDialog dialog;
    dialog.InitialDir = QString::fromStdString(dir.Str());
    dialog.Options.FileMustExist = true;
    int changes = 0;
    dialog.OnFilenameChange = [&](TLmCustomOpenDialog&) { ++changes; };
    const bool confirmed = ExecuteWith(dialog, [&] {
        Find<QLineEdit>(dialog, "fileNameEdit")->setText("a.txt");
        EXPECT_EQ(dialog.FileNameText(), "a.txt");
        dialog.Press(1);
    });
    EXPECT_TRUE(confirmed);
    EXPECT_EQ(dialog.FileName, QString::fromStdString((dir / "a.txt").string()));
    EXPECT_GE(changes, 1);
    EXPECT_FALSE(ExecuteWith(dialog, [&] { dialog.Press(2); }));
}

// A refused query drops the step; an allowed one takes it and the after event follows.
TEST(LmOpenDialog, NavigationQueriesCanRefuse) {
    TempDir dir;
    fs::create_directories(dir / "sub");
    const QString sub = QString::fromStdString((dir / "sub").string());
    TLmOpenDialog dialog;
    dialog.InitialDir = sub;
    bool allow = false;
    int asked = 0, moved = 0;
    dialog.OnUpLevelNavigating = [&](TLmCustomOpenDialog&, bool& AllowProceed) {
        ++asked;
        AllowProceed = allow;
    };
    dialog.OnUpLevelNavigate = [&](TLmCustomOpenDialog&) { ++moved; };
    ExecuteWith(dialog, [&] {
        auto* up = Find<QToolButton>(dialog, "toParentButton");
        QTest::mouseClick(up, Qt::LeftButton);
        EXPECT_EQ(dialog.directory().absolutePath(), sub);
        allow = true;
        QTest::mouseClick(up, Qt::LeftButton);
        EXPECT_EQ(dialog.directory().absolutePath(), QString::fromStdString(dir.Str()));
    });
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(moved, 1);
}

// A descendant reacts through the dialog's operations without assigning the events; a side
// whose panels are off takes no form name; the custom selection form goes back as visible as
// it came; the size kept for the next run leaves out the docked panels.
TEST(LmOpenDialog, DescendantsSidesCustomFormAndTheKeptSize) {
    class TRefusingDialog : public TLmOpenDialog {
    public:
        int Asked = 0;

    protected:
        bool DoUpLevelNavigating() override { return ++Asked, false; }
    };
    TempDir dir;
    fs::create_directories(dir / "sub");
    const QString sub = QString::fromStdString((dir / "sub").string());
    {
        TRefusingDialog dialog;
        dialog.InitialDir = sub;
        ExecuteWith(dialog,
                    [&] { QTest::mouseClick(Find<QToolButton>(dialog, "toParentButton"), Qt::LeftButton); });
        EXPECT_EQ(dialog.Asked, 1);
        EXPECT_EQ(dialog.directory().absolutePath(), sub);
    }

    TLmCustDlgParams params;
    params.BottomPanels = false;
    params.SetBottomFormName("fmTestBottom");
    params.SetTopFormName("fmTestBottom");
    EXPECT_EQ(params.BottomFormName(), "");
    EXPECT_EQ(params.TopFormName(), "fmTestBottom");

    {
        TfmTestBottom custom;
        custom.show();
        TLmOpenDialog dialog;
        dialog.DlgParams.CustFormName = "fmTestBottom";
        dialog.SelectionType = stCustom;
        ExecuteWith(dialog, [&] { EXPECT_TRUE(dialog.isAncestorOf(&custom)); });
        EXPECT_EQ(custom.parentWidget(), nullptr);
        EXPECT_TRUE(custom.isVisible());
    }

    TfmTestBottom bottom;
    bottom.setMinimumHeight(120);
    TLmOpenDialog dialog;
    dialog.DlgParams.SetBottomFormName("fmTestBottom");
    ExecuteWith(dialog, [&] { dialog.resize(760, 620); });
    dialog.DlgParams.SetBottomFormName("");
    QSize without;
    ExecuteWith(dialog, [&] { without = dialog.size(); });
    EXPECT_EQ(without.width(), 760);
    EXPECT_LE(without.height(), 500);
    dialog.DlgParams.SetBottomFormName("fmTestBottom");
    ExecuteWith(dialog, [&] { EXPECT_EQ(dialog.size(), QSize(760, 620)); });
}

// The program's plain browse dialogs ask through its prompter: a missing file keeps the dialog
// open with a warning, an existing one to save over is a question whose No keeps it open.
TEST(LmOpenDialog, BrowseDialogsAskThroughThePrompter) {
    TempDir dir;
    WriteFile(dir / "old.txt", "x");
    ScriptedPrompterGuard prompter;
    prompter.Prompter().Answers = {mrOk, mrNo, mrYes};
    TLmBrowseDialog open(nullptr, "Browse", QString::fromStdString(dir.Str()));
    open.setFileMode(QFileDialog::ExistingFile);
    QTimer::singleShot(0, &open, [&] {
        open.selectFile("missing.txt");
        open.accept();
        EXPECT_TRUE(open.isVisible());
        open.reject();
    });
    open.exec();
    TLmBrowseDialog save(nullptr, "Save", QString::fromStdString(dir.Str()));
    save.setAcceptMode(QFileDialog::AcceptSave);
    QTimer::singleShot(0, &save, [&] {
        save.selectFile("old.txt");
        save.accept();
        EXPECT_TRUE(save.isVisible());
        save.accept();
    });
    EXPECT_EQ(save.exec(), QDialog::Accepted);
    ASSERT_EQ(prompter.Prompter().Prompts.size(), 3u);
    EXPECT_TRUE(prompter.Prompter().Prompts[0].Text.startsWith("missing.txt\r\nFile not found."));
    EXPECT_EQ(prompter.Prompter().Prompts[1].Text, "old.txt already exists.\r\nDo you want to replace it?");
    EXPECT_EQ(prompter.Prompter().Prompts[1].DefaultAnswer(), mrNo);
}

TEST(LmOpenDialog, ListMenuFollowsTheStyles) {
    TempDir dir;
    std::ofstream(dir / "a.txt") << "a";
    TLmOpenDialog dialog;
    dialog.InitialDir = QString::fromStdString(dir.Str());
    dialog.ListViewStyles.EnableDelete = false;
    dialog.ListViewStyles.PopupOnEmpty = false;
    ExecuteWith(dialog, [&] {
        auto* list = Find<QAbstractItemView>(dialog, "listView");
        // On a selected file the menu holds rename and a grey delete.
        const QModelIndex file = RowOf(*list, "a.txt");
        ASSERT_TRUE(file.isValid());
        list->setCurrentIndex(file);
        bool shown = false;
        QTimer::singleShot(0, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                shown = true;
                EXPECT_TRUE(Find<QAction>(dialog, "qt_rename_action")->isEnabled());
                EXPECT_TRUE(Find<QAction>(dialog, "qt_delete_action")->isVisible());
                EXPECT_FALSE(Find<QAction>(dialog, "qt_delete_action")->isEnabled());
                popup->close();
            }
        });
        const QPoint at = list->visualRect(file).center();
        QContextMenuEvent onFile(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &onFile);
        EXPECT_TRUE(shown);
        int menus = 0;
        QObject::connect(list, &QWidget::customContextMenuRequested, [&] { ++menus; });
        // Should a menu open after all, it is closed so that the test goes on.
        QTimer::singleShot(0, [] {
            if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        });
        list->clearSelection();
        QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), list->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(list->viewport(), &menu);
        EXPECT_EQ(menus, 0);
    });
    // Where deleting is allowed, the list's delete asks through the program's messages: No
    // keeps the file, Yes deletes it.
    dialog.ListViewStyles.EnableDelete = true;
    ScriptedPrompterGuard prompter;
    prompter.Prompter().Answers = {mrNo, mrYes};
    ExecuteWith(dialog, [&] {
        auto* list = Find<QAbstractItemView>(dialog, "listView");
        list->selectionModel()->select(RowOf(*list, "a.txt"),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        auto* remove = Find<QAction>(dialog, "qt_delete_action");
        remove->setEnabled(true); // as the menu enables it on a selection
        for (int press = 0; press < 2; ++press)
            remove->trigger();
    });
    ASSERT_EQ(prompter.Prompter().Prompts.size(), 2u);
    EXPECT_EQ(prompter.Prompter().Prompts[0].Text, "Are you sure you want to delete 'a.txt'?");
    EXPECT_EQ(prompter.Prompter().Prompts[0].DefaultAnswer(), mrNo);
    EXPECT_FALSE(fs::exists(dir / "a.txt"));
}

// The list styles as the views show them: grid lines, a selection on the name only or on the
// whole row, flat scroll bars without arrows, the item under the mouse taken as the current
// one, and one click opening a folder with the hand pointer.
TEST(LmOpenDialog, ListStylesShowOnTheViews) {
    TempDir dir;
    std::ofstream(dir / "a.txt") << "a";
    fs::create_directories(dir / "sub");
    TLmOpenDialog dialog;
    dialog.InitialDir = QString::fromStdString(dir.Str());
    dialog.setViewMode(QFileDialog::Detail);
    auto* details = Find<QTreeView>(dialog, "treeView");
    QPalette palette = details->palette();
    palette.setColor(QPalette::Highlight, QColor(255, 0, 0));
    palette.setColor(QPalette::Midlight, QColor(0, 0, 255));
    palette.setColor(QPalette::Base, QColor(255, 255, 255));
    details->setPalette(palette);
    const auto addLine = [](QScrollBar* Bar) {
        QStyleOptionSlider option;
        option.initFrom(Bar);
        option.orientation = Bar->orientation();
        option.maximum = 100;
        option.rect = QRect(0, 0, 200, 16);
        return Bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarAddLine, Bar);
    };
    for (const bool on : {false, true}) {
        SCOPED_TRACE(on ? "styles on" : "styles off");
        dialog.ListViewStyles.GridLines = on;
        dialog.ListViewStyles.RowSelect = on;
        dialog.ListViewStyles.FlatScrollBars = on;
        ExecuteWith(dialog, [&] {
            const QModelIndex file = RowOf(*details, "a.txt");
            ASSERT_TRUE(file.isValid());
            details->setCurrentIndex(file);
            const QRect name = details->visualRect(file);
            const QRect size = details->visualRect(file.siblingAtColumn(1));
            EXPECT_GT(PixelsOf(*details, name, Qt::red), 0);
            EXPECT_EQ(PixelsOf(*details, size, Qt::red) > 0, on);
            EXPECT_EQ(PixelsOf(*details, QRect(name.left(), name.bottom(), name.width(), 1), Qt::blue) > 0,
                      on);
            EXPECT_EQ(addLine(details->horizontalScrollBar()).isEmpty(), on);
        });
    }

    dialog.setViewMode(QFileDialog::List);
    dialog.ListViewStyles.HotTrack = true;
    dialog.ListViewStyles.HotTrackStyles = htHandPoint | htUnderlineHot;
    const QString sub = QString::fromStdString((dir / "sub").string());
    ExecuteWith(dialog, [&] {
        auto* list = Find<QAbstractItemView>(dialog, "listView");
        const QModelIndex folder = RowOf(*list, "sub");
        ASSERT_TRUE(folder.isValid());
        const QPoint at = list->visualRect(folder).center();
        QMouseEvent move(QEvent::MouseMove, at, list->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &move);
        EXPECT_EQ(list->currentIndex().data().toString(), "sub");
        EXPECT_EQ(list->viewport()->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(dialog.directory().absolutePath(), sub);
    });
}

// The Desktop button of the own tool bar with its query and after event; the event hook that
// may drop any event and hears of each command; a file another program holds locked.
TEST(LmOpenDialog, DesktopEventHookAndShareViolation) {
    DesktopSandbox desktop;
    fs::create_directories(desktop.Home() / "Desktop");
    TempDir dir;
    std::ofstream(dir / "busy.txt") << "busy";
    std::ofstream(dir / "free.txt") << "free";
    TLmOpenDialog dialog;
    dialog.InitialDir = QString::fromStdString(dir.Str());
    ExecuteWith(dialog, [&] {
        EXPECT_FALSE(Find<QWidget>(dialog, "desktopButton")->isVisible());
        EXPECT_TRUE(Find<QToolButton>(dialog, "toParentButton")->autoRaise());
    });

    dialog.ToolBar.CustomBar = true;
    dialog.ToolBar.Flat = false;
    bool allow = false, refuseKeys = true;
    int asked = 0, moved = 0;
    std::vector<TLmDialogCommand> commands;
    dialog.OnDesktopNavigating = [&](TLmCustomOpenDialog&, bool& AllowProceed) {
        ++asked;
        AllowProceed = allow;
    };
    dialog.OnDesktopNavigate = [&](TLmCustomOpenDialog&) { ++moved; };
    dialog.OnEventHook = [&](TLmCustomOpenDialog&, const TLmDialogMessage& Msg) {
        commands.push_back(Msg.Command);
    };
    dialog.OnEventHooking = [&](TLmCustomOpenDialog& Sender, const TLmDialogMessage& Msg,
                                bool& AllowDispatch) {
        if (refuseKeys && Msg.Target == Find<QLineEdit>(Sender, "fileNameEdit") &&
            Msg.Event->type() == QEvent::KeyPress)
            AllowDispatch = false;
    };
    ExecuteWith(dialog, [&] {
        auto* button = Find<QToolButton>(dialog, "desktopButton");
        EXPECT_TRUE(button->isVisible());
        EXPECT_FALSE(button->autoRaise());
        EXPECT_FALSE(Find<QToolButton>(dialog, "toParentButton")->autoRaise());
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(dialog.directory().absolutePath(), QString::fromStdString(dir.Str()));
        allow = true;
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(dialog.directory().absolutePath(),
                  QString::fromStdString((desktop.Home() / "Desktop").string()));
        auto* edit = Find<QLineEdit>(dialog, "fileNameEdit");
        QTest::keyClicks(edit, "x");
        EXPECT_EQ(edit->text(), "");
        refuseKeys = false;
        QTest::keyClicks(edit, "x");
        EXPECT_EQ(edit->text(), "x");
        // OK from the name box: the choice is taken, and its command comes last.
        dialog.activateWindow();
        edit->setFocus();
        dialog.Press(1);
    });
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(commands, (std::vector<TLmDialogCommand>{cmdDesktop, cmdFileNameChange, cmdOk}));

    // Another holder's lock on busy.txt: the handler hears of it; -1 warns and keeps the
    // dialog open, ShareNoWarn keeps it open silently, ShareFallThrough takes the file.
    const int holder = ::open((dir / "busy.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    TLmOpenDialog locked;
    locked.InitialDir = QString::fromStdString(dir.Str());
    std::vector<int> answers = {ShareDefault, ShareNoWarn, ShareFallThrough};
    std::vector<QString> reported;
    locked.OnShareViolation = [&](TLmCustomOpenDialog&, int& DlgResult, const QString& FileName) {
        EXPECT_EQ(DlgResult, ShareDefault);
        reported.push_back(QFileInfo(FileName).fileName());
        DlgResult = answers[reported.size() - 1];
    };
    // The warning is the program's message: its prompter answers it.
    ScriptedPrompterGuard prompter;
    prompter.Prompter().Answers = {mrOk};
    const bool confirmed = ExecuteWith(locked, [&] {
        auto* edit = Find<QLineEdit>(locked, "fileNameEdit");
        edit->setText("busy.txt");
        for (int press = 0; press < 3; ++press) {
            locked.Press(1);
            QTest::qWait(50);
            EXPECT_EQ(locked.isVisible(), press < 2) << press;
        }
    });
    ::close(holder);
    EXPECT_TRUE(confirmed);
    EXPECT_EQ(reported, (std::vector<QString>{"busy.txt", "busy.txt", "busy.txt"}));
    ASSERT_EQ(prompter.Prompter().Prompts.size(), 1u);
    EXPECT_TRUE(prompter.Prompter().Prompts[0].Text.contains("in use"));
    EXPECT_EQ(prompter.Prompter().Prompts[0].Type, mtWarning);
    EXPECT_EQ(QFileInfo(locked.FileName).fileName(), "busy.txt");

    // A program that runs cannot be written: saving over it is a share violation.
    const fs::path program = dir / "running";
    fs::copy_file("/bin/sleep", program);
    TChild running({program.string(), "30"});
    ASSERT_TRUE(running.Started());
    (void)QTest::qWaitFor([&] {
        const int fd = ::open(program.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return errno == ETXTBSY;
        ::close(fd);
        return false;
    });
    TLmSaveDialog save;
    save.InitialDir = QString::fromStdString(dir.Str());
    QString busy;
    save.OnShareViolation = [&](TLmCustomOpenDialog&, int& DlgResult, const QString& FileName) {
        busy = FileName;
        DlgResult = ShareNoWarn;
    };
    EXPECT_FALSE(ExecuteWith(save, [&] {
        Find<QLineEdit>(save, "fileNameEdit")->setText("running");
        save.Press(1);
    }));
    EXPECT_EQ(busy, QString::fromStdString(program.string()));

    TLmOpenDialog unlocked;
    unlocked.InitialDir = QString::fromStdString(dir.Str());
    unlocked.OnShareViolation = [&](TLmCustomOpenDialog&, int&, const QString&) { ADD_FAILURE(); };
    EXPECT_TRUE(ExecuteWith(unlocked, [&] {
        Find<QLineEdit>(unlocked, "fileNameEdit")->setText("free.txt");
        unlocked.Press(1);
    }));
}

TEST(LmOpenDialog, PositionShiftsAndFitsTheScreen) {
    const QRect screen(0, 0, 1000, 800);
    const QRect dialog(50, 60, 400, 300);
    struct Case {
        QPoint Center;
        TLmPosParams Params;
        QPoint TopLeft;
    };
    const std::vector<Case> cases = {
        {{}, {}, {50, 60}},
        {{500, 400}, {}, {301, 251}},
        {{500, 400}, {"", 30, -20, false}, {331, 231}},
        {{950, 780}, {"", 0, 0, false}, {751, 631}},
        {{950, 780}, {"", 0, 0, true}, {600, 500}},
        {{10, 10}, {"", -50, 0, true}, {0, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DialogPosition(dialog, c.Center, c.Params, screen).topLeft(), c.TopLeft);
}

TEST(LmPlacesBar, TwelvePlacesRoundTripInOrderAndDeletionKeepsIndexes) {
    RegistrySandbox sandbox;
    const QString key = "\\Software\\Quillar\\Places";
    TLmPlaces places;
    for (int i = 0; i < 12; ++i) {
        TLmPlace place;
        place.PlaceName = QString("Place %1").arg(i);
        place.PlacePath = QString("/tmp/p%1").arg(i);
        place.PlaceIcon = i;
        place.PlaceHotIcon = 100 + i;
        place.AutoCaption = i % 2 == 1;
        places.push_back(place);
    }
    places[3].PlaceSpecPath = ftPersonal;
    places[4].PlaceSpecPath = ftRecent; // read back as no special folder
    ASSERT_TRUE(SavePlaces(key, places));
    TLmPlaces loaded;
    ASSERT_TRUE(LoadPlaces(key, loaded));
    ASSERT_EQ(loaded.size(), 12u);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(loaded[i].PlaceName, places[i].PlaceName);
        EXPECT_EQ(loaded[i].PlaceHotIcon, 100 + i);
        EXPECT_EQ(loaded[i].AutoCaption, i % 2 == 1);
    }
    EXPECT_EQ(loaded[3].PlaceSpecPath, ftPersonal);
    EXPECT_EQ(loaded[4].PlaceSpecPath, ftNone);

    DeletePlace(loaded, 1);
    ASSERT_TRUE(SavePlaces(key, loaded));
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(key.toStdString()));
    std::vector<std::string> names = reg.GetKeyNames();
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected;
    for (int i = 0; i < 11; ++i)
        expected.push_back("Place_" + std::to_string(i));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    TLmPlaces again{places[0]}; // an existing place of the same name is updated, not doubled
    again[0].PlaceIcon = 77;
    ASSERT_TRUE(LoadPlaces(key, again));
    ASSERT_EQ(again.size(), 11u);
    EXPECT_EQ(again[0].PlaceIcon, 0);
    EXPECT_EQ(again[1].PlaceName, "Place 2");
    EXPECT_EQ(again[10].PlaceName, "Place 11");
}

// A bar of its own shows the places whose folders exist, tells once that its key is missing,
// and keeps the places it has.
TEST(LmPlacesBar, DialogShowsPlacesAndReportsAMissingKey) {
    RegistrySandbox sandbox;
    TempDir dir;
    TLmOpenDialog dialog;
    dialog.PlacesBar.Native = false;
    dialog.PlacesBar.RegistryKey = "\\Software\\Quillar\\NoPlaces";
    TLmPlace place;
    place.PlaceName = "Work";
    place.PlacePath = QString::fromStdString(dir.Str());
    dialog.PlacesBar.Places = {place, TLmPlace{"Gone", "/no/such/folder"}};
    QStringList messages;
    dialog.PlacesBar.OnMessage = [&](const QString&, const QString& Text) { messages << Text; };
    ExecuteWith(dialog,
                [&] { EXPECT_EQ(dialog.sidebarUrls(), QList<QUrl>{QUrl::fromLocalFile(place.PlacePath)}); });
    EXPECT_EQ(messages, QStringList{"Lumo Places Bar: Could not load data from registry"});
    TLmPlaces saved;
    ASSERT_TRUE(LoadPlaces(dialog.PlacesBar.RegistryKey, saved));
    EXPECT_EQ(saved.size(), 2u);
}

// Opens the places bar's menu on Row and picks the item Text there; Enabled tells whether it
// could be picked (a disabled one is not, and the menu is closed).
bool PickFromPlacesMenu(TLmCustomOpenDialog& Dialog, int Row, const QString& Text) {
    auto* bar = Find<QAbstractItemView>(Dialog, "sidebar");
    bool enabled = false;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions()) {
            if (action->text() != Text) continue;
            enabled = action->isEnabled();
            if (enabled) menu->setActiveAction(action);
        }
        QTest::keyClick(menu, enabled ? Qt::Key_Return : Qt::Key_Escape);
    });
    const QPoint pos = Row >= 0 ? bar->visualRect(bar->model()->index(Row, 0)).center() : QPoint(2, 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, bar->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(bar->viewport(), &event);
    return enabled;
}

// Places are deleted after the question, changed and added through the place form, and made
// from dropped folders; each edit is saved at once under the bar's key without gaps.
TEST(LmPlacesBar, PlacesAreEditedThroughTheirForm) {
    RegistrySandbox sandbox;
    TempDir dir;
    for (const char* name : {"a", "b", "c", "dropped"})
        fs::create_directories(dir / name);
    auto folder = [&](const char* Name) { return QString::fromStdString((dir / Name).string()); };
    const QString key = "\\Software\\Quillar\\Places";
    TLmPlaces places;
    for (const char* name : {"a", "b", "c"})
        places.push_back(TLmPlace{QString(name).toUpper(), folder(name)});
    ASSERT_TRUE(SavePlaces(key, places));
    TLmOpenDialog dialog;
    dialog.PlacesBar.Native = false;
    dialog.PlacesBar.RegistryKey = key;
    QStringList questions;
    dialog.PlacesBar.OnConfirm = [&](const QString& Caption, const QString& Text) {
        questions << Caption + "|" + Text;
        return true;
    };
    auto stored = [&] {
        TLmPlaces loaded;
        EXPECT_TRUE(LoadPlaces(key, loaded));
        QStringList names;
        for (const TLmPlace& place : loaded)
            names << place.PlaceName;
        return names;
    };
    auto urls = [&](std::initializer_list<const char*> Names) {
        QList<QUrl> list;
        for (const char* name : Names)
            list << QUrl::fromLocalFile(folder(name));
        return list;
    };
    ExecuteWith(dialog, [&] {
        EXPECT_EQ(dialog.sidebarUrls(), urls({"a", "b", "c"}));
        EXPECT_TRUE(PickFromPlacesMenu(dialog, 1, "Delete place..."));
        EXPECT_EQ(questions, QStringList{"Place bar|Are you sure you want to delete this place?\rPlace: B"});
        EXPECT_EQ(stored(), (QStringList{"A", "C"}));
        EXPECT_EQ(dialog.sidebarUrls(), urls({"a", "c"}));

        AnswerNextModal<TLmAddPlaceFrm>([&](TLmAddPlaceFrm& Form) {
            EXPECT_EQ(Form.windowTitle(), "Places bar item");
            EXPECT_EQ(Find<QLineEdit>(Form, "edCaption")->text(), "A");
            EXPECT_EQ(Find<QLineEdit>(Form, "edTarget")->text(), folder("a"));
            Find<QLineEdit>(Form, "edCaption")->setText("Work");
            Find<QLineEdit>(Form, "edHint")->setText("Where the work is");
            Find<QLineEdit>(Form, "edTarget")->setText(folder("b"));
            Find<QListWidget>(Form, "lvSelected")->setCurrentRow(3);
            Find<QPushButton>(Form, "buOK")->click();
        });
        EXPECT_TRUE(PickFromPlacesMenu(dialog, 0, "Properties..."));
        EXPECT_EQ(stored(), (QStringList{"Work", "C"}));
        EXPECT_EQ(dialog.PlacesBar.Places[0].PlaceHotIcon, 3);
        EXPECT_EQ(dialog.sidebarUrls(), urls({"b", "c"}));
        // The bar shows the caption and the hint typed into the form, not the folder's name and path.
        auto* barModel = Find<QAbstractItemView>(dialog, "sidebar")->model();
        EXPECT_EQ(barModel->index(0, 0).data(Qt::DisplayRole).toString(), "Work");
        EXPECT_EQ(barModel->index(0, 0).data(Qt::ToolTipRole).toString(), "Where the work is");
        EXPECT_EQ(barModel->index(1, 0).data(Qt::DisplayRole).toString(), "C");
        EXPECT_EQ(barModel->index(1, 0).data(Qt::ToolTipRole).toString(), folder("c"));

        // A special folder left without caption takes the system's.
        AnswerNextModal<TLmAddPlaceFrm>([&](TLmAddPlaceFrm& Form) {
            EXPECT_EQ(Form.windowTitle(), "New Places Bar item");
            Find<QComboBox>(Form, "cbTargetType")->setCurrentIndex(2);
            Find<QComboBox>(Form, "cbSpecFolder")->setCurrentIndex(2);
            Find<QPushButton>(Form, "buOK")->click();
        });
        EXPECT_TRUE(PickFromPlacesMenu(dialog, -1, "Add place..."));
        ASSERT_EQ(dialog.PlacesBar.Places.size(), 3u);
        EXPECT_EQ(dialog.PlacesBar.Places[2].PlaceSpecPath, ftPersonal);
        EXPECT_TRUE(dialog.PlacesBar.Places[2].AutoCaption);
        EXPECT_EQ(stored(), (QStringList{"Work", "C", "My Documents"}));

        // A cancelled form changes nothing.
        AnswerNextModal<TLmAddPlaceFrm>([&](TLmAddPlaceFrm& Form) {
            Find<QLineEdit>(Form, "edCaption")->setText("Never");
            Find<QPushButton>(Form, "buCancel")->click();
        });
        EXPECT_TRUE(PickFromPlacesMenu(dialog, 1, "Properties..."));
        EXPECT_EQ(stored(), (QStringList{"Work", "C", "My Documents"}));

        // A folder dropped on the bar becomes a place; a file does not.
        auto* bar = Find<QAbstractItemView>(dialog, "sidebar");
        QMimeData data;
        data.setUrls(
            {QUrl::fromLocalFile(folder("dropped")), QUrl::fromLocalFile(folder("a") + "/none.txt")});
        QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        // Straight to the dialog's filter: the application delivers drops only during a drag.
        static_cast<QObject&>(dialog).eventFilter(bar->viewport(), &drop);
        EXPECT_EQ(stored(), (QStringList{"Work", "C", "My Documents", "dropped"}));
        EXPECT_EQ(dialog.PlacesBar.Places[3].PlaceIconDll, "Shell32.dll");

        // Without the right to delete or edit the items cannot be picked.
        dialog.PlacesBar.AllowDelete = false;
        dialog.PlacesBar.AllowEdit = false;
        EXPECT_FALSE(PickFromPlacesMenu(dialog, 0, "Delete place..."));
        EXPECT_FALSE(PickFromPlacesMenu(dialog, 0, "Properties..."));
        EXPECT_EQ(questions.size(), 1);
    });
    TLmPlaces moved = dialog.PlacesBar.Places;
    MovePlace(moved, 3, 0);
    EXPECT_EQ(moved[0].PlaceName, "dropped");
    EXPECT_EQ(moved[1].PlaceName, "Work");
    MovePlace(moved, 0, 3);
    EXPECT_EQ(moved[3].PlaceName, "dropped");
}

// The place form's icon libraries: the system's own name gives the theme's icons, an icon file
// its images, and a file without any the message.
TEST(LmPlacesBar, PlaceFormLoadsIconLibraries) {
    TempDir dir;
    const QString ico = QString::fromStdString((dir / "one.ico").string());
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(QImageWriter(ico, "ico").write(image));
    WriteFile(dir / "none.dll", "no icons in here");
    TLmAddPlaceFrm form(nullptr, true);
    QStringList messages;
    form.OnMessage = [&](const QString& Caption, const QString& Text) { messages << Caption + "|" + Text; };
    auto* library = Find<QLineEdit>(form, "edIconDll");
    EXPECT_EQ(library->text(), "shell32.dll");
    EXPECT_GT(Find<QListWidget>(form, "lvNormal")->count(), 4);
    library->setText(ico);
    EXPECT_TRUE(form.LoadIcons());
    EXPECT_EQ(Find<QListWidget>(form, "lvNormal")->count(), 1);
    EXPECT_EQ(Find<QListWidget>(form, "lvSelected")->count(), 1);
    library->setText(QString::fromStdString((dir / "none.dll").string()));
    EXPECT_FALSE(form.LoadIcons());
    EXPECT_EQ(messages, QStringList{"New place - Icon library|No icons were found in the file"});
    EXPECT_EQ(Find<QListWidget>(form, "lvNormal")->count(), 0);
}

// A change of type is told and follows the filter index; a save dialog's bare name takes the
// chosen type's extension. The list's view style asks before it changes.
TEST(LmOpenDialog, TypeAndViewStyleChanges) {
    const std::vector<std::tuple<QString, int, QString>> extensions = {
        {"Zip|*.zip|Tar|*.tar", 2, "tar"},
        {"Zip|*.zip", 1, "zip"},
        {"Any|*.*", 1, ""},
        {"Two|*.a;*.b", 1, ""},
        {"Odd|*.t?z", 1, ""},
        {"Zip|*.zip", 2, ""},
        {"Gz|*.tar.gz", 1, ""},
        {"Exe|*.exe;|Ico|*.ico", 1, "exe"},
    };
    for (const auto& [filter, index, extension] : extensions)
        EXPECT_EQ(FilterExtension(filter, index), extension) << filter.toStdString() << " " << index;

    TempDir dir;
    TLmSaveDialog dialog;
    dialog.Filter = "Zip Archive (*.zip)|*.zip|Unix Tape Archive (*.tar)|*.tar";
    dialog.DefaultExt = "zip";
    dialog.InitialDir = QString::fromStdString(dir.Str());
    std::vector<int> types;
    dialog.OnTypeChange = [&](TLmCustomOpenDialog& Sender) { types.push_back(Sender.FilterIndex); };
    bool allow = false;
    std::vector<TLmViewStyle> asked, changed;
    dialog.OnSelectionStyleChanging = [&](TLmCustomOpenDialog&, TLmViewStyle Style, bool& AllowChange) {
        asked.push_back(Style);
        AllowChange = allow;
    };
    dialog.OnSelectionStyleChange = [&](TLmCustomOpenDialog&, TLmViewStyle Style) {
        changed.push_back(Style);
    };
    dialog.setViewMode(QFileDialog::List); // not the one an earlier dialog left in Qt's settings
    const bool confirmed = ExecuteWith(dialog, [&] {
        EXPECT_EQ(dialog.SelectionStyle(), vsList);
        auto* details = Find<QToolButton>(dialog, "detailModeButton");
        QTest::mouseClick(details, Qt::LeftButton);
        EXPECT_EQ(dialog.SelectionStyle(), vsList);
        allow = true;
        QTest::mouseClick(details, Qt::LeftButton);
        EXPECT_EQ(dialog.SelectionStyle(), vsReport);
        QTest::mouseClick(Find<QToolButton>(dialog, "listModeButton"), Qt::LeftButton);

        auto* typeBox = Find<QComboBox>(dialog, "fileTypeCombo");
        typeBox->setFocus();
        QTest::keyClick(typeBox, Qt::Key_Down);

        Find<QLineEdit>(dialog, "fileNameEdit")->setText("made");
        dialog.Press(1);
    });
    EXPECT_TRUE(confirmed);
    EXPECT_EQ(types, std::vector<int>{2});
    EXPECT_EQ(dialog.FilterIndex, 2);
    EXPECT_EQ(dialog.FileName, QString::fromStdString((dir / "made.tar").string()));
    EXPECT_EQ(asked, (std::vector<TLmViewStyle>{vsReport, vsReport, vsList}));
    EXPECT_EQ(changed, (std::vector<TLmViewStyle>{vsReport, vsList}));
}

#include "LmOpenDialogTest.moc"
