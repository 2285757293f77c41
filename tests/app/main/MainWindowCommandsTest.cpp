// The main window's commands on an open archive: which commands each archive type allows, the
// totals of the status bar for the archive and for a selection, the filter bar, group
// selection, the install program, sorting from the sort menu, and what a file that is no
// archive, or an archive that went away, leaves behind.
#include "DialogDriver.h"
#include "MainWindowFixture.h"
#include "ToolChecks.h"

#include "app/main/ArchiveModel.h"
#include "app/main/QtEngineHost.h"
#include "engine/core/krvGbls.h"
#include "ui/LmOpenSaveComm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <functional>
#include <map>

using namespace testsupport;

namespace {

// A zip of text and other files in a folder and at its root, made by zip.
std::string MakeZip(const TempDir& Dir, const std::vector<std::string>& Names) {
    for (const std::string& name : Names) {
        fs::create_directories((Dir / name).parent_path());
        WriteFile(Dir / name, TextBytes(1000 + name.size() * 100, static_cast<std::uint32_t>(name.size())));
    }
    std::vector<std::string> argv = {"zip", "-q", "-X", "t.zip"};
    argv.insert(argv.end(), Names.begin(), Names.end());
    Must(RunTool(argv, Dir.Path()));
    return (Dir / "t.zip").string();
}

using TCommandTest = MainWindowTest;

TEST_F(TCommandTest, CommandsFollowTheArchiveType) {
    TempDir dir;
    WriteFile(dir / "a.txt", TextBytes(5000));
    Must(RunTool({"zip", "-q", "t.zip", "a.txt"}, dir.Path()));
    Must(RunTool({"arj", "a", "-y", "t.arj", "a.txt"}, dir.Path()));
    Must(RunTool({"bsdtar", "-cf", "t.tar", "a.txt"}, dir.Path()));
    Must(RunTool({"gzip", "-k", "a.txt"}, dir.Path()));
    const char* const commands[] = {"acAdd",     "acDelete",   "acTest",       "acExtract",
                                    "acMakeSFX", "acPassword", "acViewComment"};
    struct {
        std::string Archive;
        const char* Enabled; // one digit per command above
    } const cases[] = {
        {(dir / "t.zip").string(), "1111111"},
        {(dir / "t.arj").string(), "0011100"},
        {(dir / "t.tar").string(), "1111000"},
        // A plain gzip file takes the gzip writer.
        {(dir / "a.txt.gz").string(), "1111000"},
        {(CorpusDir() / "lhasa/lha213/lh5.lzh").string(), "1111100"},
        // Read only, and cabinets cannot be tested.
        {(CorpusDir() / "patool/t.cab").string(), "0001000"},
        {(CorpusDir() / "sharpcompress/rar/Rar.solid.rar").string(), "0011100"},
        {(CorpusDir() / "patool/t.zoo").string(), "0011000"},
        {(CorpusDir() / "sharpcompress/arc/Arc.uncompressed.arc").string(), "0011000"},
    };
    Open();
    for (const auto& c : cases) {
        Display(c.Archive);
        std::string enabled;
        for (const char* name : commands)
            enabled += Action(name).isEnabled() ? '1' : '0';
        EXPECT_EQ(enabled, c.Enabled) << c.Archive;
        EXPECT_TRUE(Action("acCloseArchive").isEnabled() && Action("acSelectAll").isEnabled()) << c.Archive;
        EXPECT_GT(Rows(), 0) << c.Archive;
    }
    Action("acCloseArchive").trigger();
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(FWindow->windowTitle(), "Quillar");
    for (const char* name : {"acCloseArchive", "acRefresh", "acSelectAll", "acExtract", "acAdd", "acTest"})
        EXPECT_FALSE(Action(name).isEnabled()) << name;
    EXPECT_EQ(FWindow->PanelText(2), "0 files");
    EXPECT_TRUE(FPrompter.Prompter().Prompts.empty());
}

TEST_F(TCommandTest, TotalsOfTheArchiveAndOfTheSelection) {
    TempDir dir;
    const std::string zip = MakeZip(dir, {"a.txt", "b.doc", "sub/c.txt"});
    Open({QString::fromStdString(zip)});
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(FWindow->windowTitle(), QString::fromStdString(zip) + " - Quillar");
    EXPECT_EQ(FWindow->PanelText(0), "ZIP");
    EXPECT_EQ(FWindow->PanelText(2), "3 files");
    std::int64_t packed = 0, unpacked = 0;
    for (int r = 0; r < Rows(); ++r) {
        packed += Raw(r, "Packed").toLongLong();
        unpacked += Raw(r, "Unpacked").toLongLong();
    }
    EXPECT_EQ(FWindow->PanelText(3), QString("Packed: %1 MB").arg(packed / 1048576.0, 0, 'f', 2));
    EXPECT_EQ(FWindow->PanelText(1), QString("Ratio: %1%").arg(CompressRatioFloat(unpacked, packed)));
    EXPECT_EQ(FWindow->RatioGauge(), CompressRatioFloat(unpacked, packed));

    // One selected row: its own figures, and the singular.
    const int row = RowOf("b.doc");
    List().selectionModel()->select(List().model()->index(row, 0),
                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(FWindow->PanelText(2), "1 file");
    EXPECT_EQ(FWindow->PanelText(1), QString("Ratio: %1%")
                                         .arg(CompressRatioFloat(Raw(row, "Unpacked").toLongLong(),
                                                                 Raw(row, "Packed").toLongLong())));
    Action("acInvertSelection").trigger();
    EXPECT_EQ(List().selectionModel()->selectedRows().size(), 2);
    EXPECT_EQ(FWindow->PanelText(2), "2 files");
    // Nothing selected: the whole archive again.
    Action("acDeselectAll").trigger();
    EXPECT_EQ(FWindow->PanelText(2), "3 files");
    Action("acSelectAll").trigger();
    EXPECT_EQ(List().selectionModel()->selectedRows().size(), 3);
}

TEST_F(TCommandTest, CabinetEntriesShowNoPackedSize) {
    const std::string cab = (CorpusDir() / "patool/t.cab").string();
    Open({QString::fromStdString(cab)});
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(0, "Packed"), "0");
    EXPECT_EQ(FWindow->PanelText(3), QString("Packed: %1 MB").arg(fs::file_size(cab) / 1048576.0, 0, 'f', 2));
}

TEST_F(TCommandTest, FilterAndGroupSelection) {
    TempDir dir;
    const std::string zip = MakeZip(dir, {"a.txt", "B.TXT", "c.doc", "sub/d.txt", "sub/e.dat"});
    Open({QString::fromStdString(zip)});
    ASSERT_EQ(Rows(), 5);

    // Both sides of a group mask are upper-cased; other rows keep their state.
    FWindow->SelectGroup("*.doc", true);
    FWindow->SelectGroup("*.TXT", true);
    EXPECT_EQ(List().selectionModel()->selectedRows().size(), 4);
    FWindow->SelectGroup("b*", false);
    EXPECT_EQ(List().selectionModel()->selectedRows().size(), 3);
    EXPECT_FALSE(List().selectionModel()->isRowSelected(RowOf("B.TXT"), {}));

    // The same through the command and its input box.
    Action("acDeselectAll").trigger();
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "Select Group");
        box->setTextValue("*.dat");
        box->accept();
    });
    Action("acSelectGroup").trigger();
    EXPECT_EQ(List().selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(FWindow->PanelText(2), "1 file");

    auto* filter = FWindow->findChild<QComboBox*>("rcbFilter");
    ASSERT_NE(filter, nullptr);
    filter->setCurrentText("*.txt");
    FWindow->ApplyFilter();
    WaitIdle();
    EXPECT_EQ(Rows(), 3); // a.txt, B.TXT and sub/d.txt
    EXPECT_EQ(FWindow->PanelText(2), "3 files");
    // An empty box lists everything and shows "*.*".
    FWindow->RemoveFilter();
    WaitIdle();
    EXPECT_EQ(Rows(), 5);
    EXPECT_EQ(filter->currentText(), "*.*");
}

TEST_F(TCommandTest, SortMenuAndInstallProgram) {
    TempDir dir;
    const std::string zip = MakeZip(dir, {"INSTALL.EXE", "bin/SETUP.EXE", "SETUP.EXE", "readme.txt"});
    Open({QString::fromStdString(zip)});
    ASSERT_EQ(Rows(), 4);
    // SETUP.EXE at the root wins over INSTALL.EXE, whatever their order; one in a folder does not count.
    EXPECT_EQ(FWindow->InstallProgram(), "SETUP.EXE");
    EXPECT_TRUE(Action("acInstall").isEnabled());

    auto* sortMenu = FWindow->findChild<QMenu*>("miSortBy");
    ASSERT_NE(sortMenu, nullptr);
    QAction* byUnpacked = nullptr;
    for (QAction* item : sortMenu->actions())
        if (item->text() == "Unpacked") byUnpacked = item;
    ASSERT_NE(byUnpacked, nullptr);
    byUnpacked->trigger();
    for (int r = 1; r < Rows(); ++r)
        EXPECT_LE(Raw(r - 1, "Unpacked").toLongLong(), Raw(r, "Unpacked").toLongLong());
    // The same column again reverses the order.
    byUnpacked->trigger();
    for (int r = 1; r < Rows(); ++r)
        EXPECT_GE(Raw(r - 1, "Unpacked").toLongLong(), Raw(r, "Unpacked").toLongLong());
}

// A header click sorts by that column with its arrow, a second click reverses; columns switched
// on later in the configuration sort the same way and join the sort menu.
TEST_F(TCommandTest, HeaderClicksSortEveryColumnAndTheMenuListsThemAll) {
    TempDir dir;
    struct {
        const char* Name;
        std::size_t Size;
        const char* Date;
    } const files[] = {{"b/alpha.txt", 3000, "2001-02-03 04:05:06"},
                       {"Beta.dat", 400, "1999-01-01 00:00:00"},
                       {"c/gamma.bin", 50000, "2020-06-07 08:09:10"},
                       {"delta.log", 1000, "2010-10-10 10:10:10"}};
    std::vector<std::string> argv = {"zip", "-q", "-X", "-n", ".log", "t.zip"};
    for (const auto& file : files) {
        fs::create_directories((dir / file.Name).parent_path());
        WriteFile(dir / file.Name, TextBytes(file.Size));
        Must(RunTool({"touch", "-d", file.Date, (dir / file.Name).string()}));
        argv.push_back(file.Name);
    }
    Must(RunTool(argv, dir.Path()));
    Open({QString::fromStdString((dir / "t.zip").string())});
    ASSERT_EQ(Rows(), 4);

    QHeaderView* header = List().header();
    const auto click = [&](const QString& Caption) {
        const int column = Column(Caption);
        EXPECT_GE(column, 0) << Caption.toStdString();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                                 header->height() / 2));
        EXPECT_TRUE(header->isSortIndicatorShown());
        EXPECT_EQ(header->sortIndicatorSection(), column) << Caption.toStdString();
    };
    const auto names = [&] {
        QStringList out;
        for (int r = 0; r < Rows(); ++r)
            out << Cell(r, QStringLiteral("File Name"));
        return out;
    };
    const auto checkOrders = [&](const QString& Caption, QStringList Ascending) {
        click(Caption);
        EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder) << Caption.toStdString();
        EXPECT_EQ(names(), Ascending) << Caption.toStdString();
        click(Caption);
        EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder) << Caption.toStdString();
        std::reverse(Ascending.begin(), Ascending.end());
        EXPECT_EQ(names(), Ascending) << Caption.toStdString();
    };
    checkOrders("Unpacked", {"Beta.dat", "delta.log", "alpha.txt", "gamma.bin"});
    checkOrders("File Name", {"alpha.txt", "Beta.dat", "delta.log", "gamma.bin"});
    checkOrders("Date", {"Beta.dat", "alpha.txt", "delta.log", "gamma.bin"});

    // Method and CRC switched on in the configuration: the header and the menu both have them.
    FPrompter.Prompter().DefaultsAllowed = true;
    AnswerNextModal<QDialog>([](QDialog& Dialog) {
        Find<QCheckBox>(Dialog, "ckColMethod")->setChecked(true);
        Find<QCheckBox>(Dialog, "ckColCRC")->setChecked(true);
        Find<QPushButton>(Dialog, "buOK")->click();
    });
    Action("acConfiguration").trigger();
    ASSERT_EQ(Rows(), 4);
    ASSERT_GE(Column("Method"), 0);
    click("Method");
    EXPECT_EQ(Cell(3, "File Name"), "delta.log"); // stored sorts after deflated
    click("CRC");
    auto* sortMenu = FWindow->findChild<QMenu*>("miSortBy");
    ASSERT_NE(sortMenu, nullptr);
    QStringList menu, shown;
    for (QAction* item : sortMenu->actions())
        menu << item->text();
    for (int c = 0; c < List().model()->columnCount(); ++c) {
        const QString caption = List().model()->headerData(c, Qt::Horizontal).toString();
        shown << (caption == "Attr" ? QStringLiteral("Attributes") : caption);
    }
    EXPECT_EQ(menu, shown);
    EXPECT_TRUE(menu.contains("Method") && menu.contains("CRC"));
}

// Each access key of the menu bar leads to one menu, and View and Convert of the Actions menu
// have keys of their own.
TEST_F(TCommandTest, AccessKeysOfTheMenuBarAreUnique) {
    Open();
    const auto key = [](const QString& Text) {
        const int at = Text.indexOf('&');
        return at >= 0 && at + 1 < Text.size() ? Text.at(at + 1).toLower() : QChar();
    };
    const auto unique = [&](const QList<QAction*>& Actions, const QString& Where) {
        std::map<QChar, QString> seen;
        for (QAction* action : Actions) {
            if (action->isSeparator()) continue;
            const QString text = action->menu() ? action->menu()->title() : action->text();
            const QChar letter = key(text);
            if (letter.isNull()) continue;
            EXPECT_TRUE(seen.emplace(letter, text).second)
                << Where.toStdString() << ": " << text.toStdString() << " and " << seen[letter].toStdString();
        }
    };
    unique(FWindow->menuBar()->actions(), "menu bar");
    EXPECT_NE(key(Action("acViewSelected").text()), key(Action("acConvert").text()));
}

// An archive opened through File > Open: the list has the keyboard, and its Delete key asks
// about the selection also when the toolkit has lost track of the active window (as it does
// after a file dialog closes under some window managers).
TEST_F(TCommandTest, ListKeysWorkAfterTheOpenDialog) {
    TempDir dir;
    const std::string zip = MakeZip(dir, {"a.txt", "b.txt"});
    Open();
    AnswerNextModal<QFileDialog>([&](QFileDialog& Dialog) {
        Find<QLineEdit>(Dialog, "fileNameEdit")->setText(QString::fromStdString(zip));
        QMetaObject::invokeMethod(&Dialog, "accept");
    });
    Action("acOpenArchive").trigger();
    WaitIdle();
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(FWindow->focusWidget(), &List());
    List().selectionModel()->select(List().model()->index(0, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QApplication::setActiveWindow(nullptr);
    FPrompter.Prompter().Answers = {mrNo};
    QTest::keyClick(&List(), Qt::Key_Delete);
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
    EXPECT_TRUE(FPrompter.Prompter().Prompts[0].Text.startsWith("Are you sure you want to\rDELETE"));
    EXPECT_EQ(Rows(), 2);
}

TEST_F(TCommandTest, NoArchiveOrAGoneArchiveLeavesTheWindowUsable) {
    TempDir dir;
    WriteFile(dir / "notes.txt", "this is no archive\n");
    const std::string zip = MakeZip(dir, {"a.txt"});
    Open({QString::fromStdString(zip)});
    ASSERT_EQ(Rows(), 1);

    FPrompter.Prompter().Answers = {mrOk};
    Display((dir / "notes.txt").string());
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
    // The message names the file it could not open.
    EXPECT_EQ(FPrompter.Prompter().Prompts[0].Text,
              "Invalid archive format.\r\n\r\n" + QString::fromStdString((dir / "notes.txt").string()));
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(FWindow->windowTitle(), "Quillar");
    EXPECT_FALSE(Action("acExtract").isEnabled());
    EXPECT_EQ(FWindow->LedColor(), QColor(Qt::green));

    // The window goes on working.
    Display(zip);
    EXPECT_EQ(Rows(), 1);
    fs::remove(zip);
    FPrompter.Prompter().Answers = {mrOk};
    Action("acRefresh").trigger();
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 2u);
    EXPECT_EQ(
        FPrompter.Prompter().Prompts[1].Text,
        "The currently open archive file no longer exist. It may \r\nhave been moved or deleted by another "
        "program.");
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(Action("acCloseArchive").isEnabled());
}

} // namespace

namespace {

TEST_F(TCommandTest, DamagedZipsAskOnceAndReportTogether) {
    TempDir dir;
    const std::string zip = MakeZip(dir, {"f1.txt", "f2.txt", "f3.txt", "f4.txt"});
    const std::string data = ReadFile(zip);
    // Without its end record the directory is lost: the entries are read from the local headers.
    WriteFile(dir / "cut.zip", data.substr(0, data.size() - 30));
    // A directory record that is garbage past its signature.
    std::string bad = data;
    const std::size_t central = bad.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    std::fill_n(bad.begin() + static_cast<std::ptrdiff_t>(central) + 5, 35, '\xff');
    WriteFile(dir / "bad.zip", bad);
    Open();

    FPrompter.Prompter().Answers = {mrNo};
    Display((dir / "cut.zip").string());
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
    EXPECT_EQ(FPrompter.Prompter().Prompts[0].Text,
              "Header error : Missing or corrupted.\r\rDo you want to continue ?");
    EXPECT_EQ(FPrompter.Prompter().Prompts[0].Type, mtConfirmation); // a question, with its icon
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(Action("acCloseArchive").isEnabled());

    // The entries are listed, and the damage is told once the listing ends.
    FPrompter.Prompter().Answers = {mrYes, mrOk};
    Display((dir / "cut.zip").string());
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 3u);
    EXPECT_NE(FPrompter.Prompter().Prompts[2].Text.indexOf("Header not found"), -1)
        << FPrompter.Prompter().Prompts[2].Text.toStdString();
    EXPECT_EQ(Rows(), 4);

    // Every error of one listing in one message.
    FPrompter.Prompter().Answers = {mrOk};
    Display((dir / "bad.zip").string());
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 4u);
    EXPECT_NE(FPrompter.Prompter().Prompts[3].Text.indexOf("Bad file header"), -1)
        << FPrompter.Prompter().Prompts[3].Text.toStdString();
    EXPECT_EQ(FWindow->LedColor(), QColor(Qt::green));
    EXPECT_TRUE(FWindow->OutputLog().contains("Bad file header")) << FWindow->OutputLog().toStdString();
    // Another archive the user opens comes with an empty output window.
    FWindow->OpenRecent(QString::fromStdString(zip));
    WaitIdle();
    EXPECT_EQ(Rows(), 4);
    EXPECT_EQ(FWindow->OutputLog(), "");
}

// The explorer pane comes back as it was left; New shows no trace of the previous archive
// while its files are chosen, and the new one once it is made.
TEST_F(TCommandTest, ExplorerPaneAndNewArchiveShowTheCurrentState) {
    TempDir dir;
    const std::string zip = MakeZip(dir, {"a.txt", "b.txt"});
    const auto pane = [&] { return FWindow->findChild<QWidget*>("explorerPane"); };
    for (const bool visible : {true, false, true}) {
        Open({QString::fromStdString(zip)});
        ASSERT_NE(pane(), nullptr);
        if (pane()->isVisibleTo(FWindow.get()) != visible) Action("acExplorerView").trigger();
        FWindow->close();
        FWindow.reset();
        Open();
        EXPECT_EQ(pane()->isVisibleTo(FWindow.get()), visible);
        EXPECT_EQ(Action("acExplorerView").text(), visible ? "Hide E&xplorer" : "Show E&xplorer");
        FWindow->close();
        FWindow.reset();
    }

    // The explorer list's popup opens the selected file; with nothing selected Open is off.
    Open();
    auto* files = FWindow->findChild<QListView*>("dfslvExplorer");
    auto* folders = FWindow->findChild<QTreeView*>("dfstvExplorer");
    ASSERT_TRUE(files && folders);
    auto* popup = FWindow->findChild<QMenu*>("pmExplorerFilePopup");
    auto* open = FWindow->findChild<QAction*>("miOpen");
    ASSERT_TRUE(popup && open);
    auto* tree = qobject_cast<QFileSystemModel*>(folders->model());
    ASSERT_NE(tree, nullptr);
    folders->setCurrentIndex(tree->index(QString::fromStdString(dir.Str())));
    const auto showPopup = [&] {
        emit files->customContextMenuRequested(QPoint(1, 1));
        const bool enabled = open->isEnabled();
        popup->hide();
        return enabled;
    };
    files->clearSelection();
    EXPECT_FALSE(showPopup());
    auto* list = qobject_cast<QFileSystemModel*>(files->model());
    ASSERT_NE(list, nullptr);
    files->setCurrentIndex(list->index(QString::fromStdString(zip)));
    EXPECT_TRUE(showPopup());
    open->trigger();
    WaitIdle();
    EXPECT_EQ(Rows(), 2);
    EXPECT_TRUE(FWindow->windowTitle().startsWith(QString::fromStdString(zip)));
    FPrompter.Prompter().DefaultsAllowed = true;
    QString titleWhileChoosing, filesWhileChoosing = "unset";
    const QString made = QString::fromStdString((dir / "made.zip").string());
    AnswerFileDialog(made, [&](TLmCustomOpenDialog&) {
        AnswerFileDialog(QString::fromStdString((dir / "b.txt").string()), [&](TLmCustomOpenDialog&) {
            titleWhileChoosing = FWindow->windowTitle();
            filesWhileChoosing = FWindow->PanelText(2);
        });
    });
    Action("acNewArchive").trigger();
    EXPECT_EQ(titleWhileChoosing, "Quillar");
    EXPECT_EQ(filesWhileChoosing, "0 files");
    EXPECT_EQ(FWindow->windowTitle(), made + " - Quillar");
    EXPECT_EQ(Rows(), 1);
    Must(RunTool({"unzip", "-tq", made.toStdString()}));
}

TEST_F(TCommandTest, TheArgumentIsListedOnlyAtTheFirstShow) {
    TempDir dir;
    const std::string zip = MakeZip(dir, {"a.txt", "b.txt"});
    Open({QString::fromStdString(zip)});
    ASSERT_EQ(Rows(), 2);
    Action("acCloseArchive").trigger();
    FWindow->hide();
    FWindow->show();
    QApplication::processEvents();
    WaitIdle();
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(FWindow->windowTitle(), "Quillar");
}

} // namespace

namespace {

// The window's events run while the lister works (through the Qt engine host, whose pump
// clock steps a whole interval at each look): cancelling ends the listing quietly with what
// was listed so far, and closing waits for the listing to end.
TEST_F(TCommandTest, CancelAndCloseWhileListing) {
    TempDir dir;
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i)
        names.push_back("f" + std::to_string(i) + ".txt");
    const std::string zip = MakeZip(dir, names);
    auto host = std::make_unique<TQtEngineHost>();
    host->SetPumpClock(SteppingClock());
    std::unique_ptr<EngineHost> previous = EngineHost::Install(std::move(host));
    Open();

    // Runs Action at the first turn of the event loop inside a listing.
    int turnsWhileListing = 0;
    QTimer whileListing;
    whileListing.setInterval(0);
    std::function<void()> action;
    QObject::connect(&whileListing, &QTimer::timeout, FWindow.get(), [&] {
        if (!FWindow->Listing()) return;
        ++turnsWhileListing;
        whileListing.stop();
        action();
    });

    // Esc with nothing running cancels nothing and says nothing.
    auto* status = FWindow->findChild<QStatusBar*>("dfstbMainStatus");
    ASSERT_NE(status, nullptr);
    Action("acCancelTask").trigger();
    EXPECT_EQ(status->currentMessage(), "");

    QString duringCancel;
    action = [&] {
        Action("acCancelTask").trigger();
        duringCancel = status->currentMessage();
    };
    whileListing.start();
    Display(zip);
    EXPECT_EQ(turnsWhileListing, 1);
    EXPECT_LT(Rows(), 300);
    EXPECT_TRUE(FPrompter.Prompter().Prompts.empty());
    EXPECT_EQ(FWindow->LedColor(), QColor(Qt::green));
    // The cancel's message lasts as long as the task; the caption names what is listed.
    EXPECT_EQ(duringCancel, "Aborting ...");
    EXPECT_EQ(status->currentMessage(), "");
    EXPECT_EQ(FWindow->windowTitle(), QString::fromStdString(zip) + " - Quillar");

    Display(zip);
    EXPECT_EQ(Rows(), 300);
    // Closed while listing: the listing ends first, then the window closes.
    action = [this] {
        FWindow->close();
        EXPECT_TRUE(FWindow->isVisible());
    };
    whileListing.start();
    Display(zip);
    EXPECT_EQ(turnsWhileListing, 2);
    QApplication::processEvents();
    EXPECT_FALSE(FWindow->isVisible());
    EngineHost::Install(std::move(previous));
}

} // namespace

// What the user hears when a page, a file or the homepage cannot be shown: a launcher that
// fails at once (xdg-open finding no terminal for the viewer, no browser for the homepage) is
// named with what it said, a missing xdg-open is named, and How to Use Help answers.
TEST_F(TCommandTest, FailedLaunchesAreNamed) {
    TempDir dir, bin;
    const std::string zip = MakeZip(dir, {"a.txt"});
    WriteFile(bin / "xdg-open", "#!/bin/sh\necho \"$0: 882: x-terminal-emulator: not found\" >&2\nexit 4\n");
    WriteFile(bin / "xdg-mime", "#!/bin/sh\necho viewer.desktop\n");
    for (const char* tool : {"xdg-open", "xdg-mime"})
        fs::permissions(bin / tool, fs::perms::owner_all);
    const std::string path = bin.Str() + ":" + std::getenv("PATH");
    Open({Q(zip)});
    ASSERT_EQ(Rows(), 1);
    List().selectAll();
    FPrompter.Prompter().DefaultsAllowed = true;
    struct TCase {
        const char* Name;
        bool WithXdgOpen;
        std::function<void()> Run;
        const char* Said;
    } const cases[] = {
        {"view", true, [&] { Action("acViewSelected").trigger(); }, "x-terminal-emulator: not found"},
        {"homepage", true, [&] { Action("acHomepage").trigger(); }, "x-terminal-emulator: not found"},
        {"configuration help", false,
         [&] {
             AnswerNextModal<QDialog>([](QDialog& D) {
                 Find<QPushButton>(D, "buHelp")->click();
                 D.reject();
             });
             Action("acConfiguration").trigger();
         },
         "xdg-open (of the xdg-utils package) is not installed"},
        {"how to use help", true, [&] { Action("acHelpUsage").trigger(); },
         "Help will be available in the next beta release."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const EnvGuard pathGuard("PATH", c.WithXdgOpen ? path.c_str() : bin.Str().c_str());
        if (!c.WithXdgOpen) fs::remove(bin / "xdg-open");
        FPrompter.Prompter().Prompts.clear();
        c.Run();
        for (int i = 0; i < 500 && FPrompter.Prompter().Prompts.empty(); ++i)
            QTest::qWait(10);
        ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1U);
        EXPECT_TRUE(FPrompter.Prompter().Prompts[0].Text.contains(c.Said)) << c.Said;
    }
}
