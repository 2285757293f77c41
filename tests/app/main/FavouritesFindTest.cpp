// Favourites, find, group selection and the filter bar on a real archive: favourites load by
// their numbers and are stored back exactly as Fav1..FavN, the organiser's moves stop at the
// ends, find and find next walk the matches (names with wildcard characters found as typed,
// sizes beyond 32 bits, day ranges), group selection and the filter list what zip stored.
#include "MainWindowFixture.h"

#include "DialogDriver.h"
#include "app/dialogs/Favourites.h"
#include "app/dialogs/Find.h"
#include "platform/Registry.h"
#include "ui/RegComboBox.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>
#include <set>

using namespace testsupport;

namespace {

using TStore = std::vector<std::pair<std::string, std::string>>;

// The favourites key's values in the store's order.
TStore StoredFavourites() {
    TRegistry reg;
    TStore values;
    if (!reg.OpenKeyReadOnly(FavouritesKey)) return values;
    for (const std::string& name : reg.GetValueNames())
        values.emplace_back(name, reg.ReadString(name));
    return values;
}

TStore Numbered(const std::vector<std::string>& Paths) {
    TStore values;
    for (std::size_t i = 0; i < Paths.size(); ++i)
        values.emplace_back("Fav" + std::to_string(i + 1), Paths[i]);
    return values;
}

std::vector<std::string> Lines(const TfmFavourites& Dialog) {
    return Dialog.Paths();
}

class TFavouritesFindTest : public MainWindowTest {
protected:
    QList<QAction*> FavouriteItems() {
        const QList<QAction*> items = FWindow->findChild<QMenu*>("miFavourites")->actions();
        return items.mid(3);
    }
    // The names of the selected rows.
    std::set<std::string> Selected() {
        std::set<std::string> names;
        for (const QModelIndex& index : List().selectionModel()->selectedRows())
            names.insert(Cell(index.row(), "File Name").toStdString());
        return names;
    }
};

TEST_F(TFavouritesFindTest, FavouritesLoadByNumberAndAreStoredExactly) {
    TempDir dir;
    std::vector<std::string> paths;
    for (int n = 1; n <= 12; ++n) {
        paths.push_back((dir / ("f" + std::to_string(n))).string());
        if (n != 12) fs::create_directories(paths.back());
    }
    {
        // Stored in an order of their own, and Fav5 once more under a name with a gap.
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(FavouritesKey, true));
        for (int n : {10, 1, 12, 2, 11, 3, 4, 5, 6, 7, 8, 9})
            reg.WriteString("Fav" + std::to_string(n), paths[n - 1]);
    }
    Open();
    QList<QAction*> items = FavouriteItems();
    ASSERT_EQ(items.size(), 12);
    for (int n = 1; n <= 12; ++n) {
        const QString prefix = n < 10    ? QStringLiteral("&%1 ").arg(n)
                               : n == 10 ? QStringLiteral("1&0 ")
                                         : QStringLiteral("%1 ").arg(n);
        EXPECT_TRUE(items[n - 1]->text().startsWith(prefix)) << items[n - 1]->text().toStdString();
        EXPECT_EQ(items[n - 1]->data().toInt(), n);
    }
    EXPECT_EQ(StoredFavourites(), Numbered(paths));

    // A folder that is gone: the error, and the explorer stays hidden.
    FPrompter.Prompter().Answers.push_back(mrOk);
    items[11]->trigger();
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
    EXPECT_EQ(FPrompter.Prompter().Prompts[0].Text, "The favourite folder you selected no longer exist.");
    EXPECT_FALSE(FWindow->findChild<QWidget*>("explorerPane")->isVisible());
    // One that is there opens in the explorer, and adding it again adds nothing.
    items[2]->trigger();
    auto* tree = FWindow->findChild<QTreeView*>("dfstvExplorer");
    EXPECT_TRUE(FWindow->findChild<QWidget*>("explorerPane")->isVisible());
    auto* folders = static_cast<QFileSystemModel*>(tree->model());
    EXPECT_EQ(folders->filePath(tree->currentIndex()).toStdString(), paths[2]);
    Action("acAddFavourites").trigger();
    EXPECT_EQ(FavouriteItems().size(), 12);
    // A new folder becomes Fav13.
    const std::string added = (dir / "f13").string();
    fs::create_directories(added);
    tree->setCurrentIndex(folders->index(QString::fromStdString(added)));
    Action("acAddFavourites").trigger();
    ASSERT_EQ(FavouriteItems().size(), 13);
    EXPECT_TRUE(FavouriteItems()[12]->text().startsWith("13 "));
    paths.push_back(added);
    EXPECT_EQ(StoredFavourites(), Numbered(paths));

    // The organiser: the last one removed, OK rebuilds the menu.
    AnswerNextModal<TfmFavourites>([](TfmFavourites& Dialog) {
        Find<QListWidget>(Dialog, "lbFavourites")->setCurrentRow(12);
        Find<QPushButton>(Dialog, "bbRemove")->click();
        Find<QPushButton>(Dialog, "buOK")->click();
    });
    FPrompter.Prompter().Answers.push_back(mrYes);
    Action("acOrganizeFavorites").trigger();
    paths.pop_back();
    EXPECT_EQ(FavouriteItems().size(), 12);
    EXPECT_EQ(StoredFavourites(), Numbered(paths));
}

TEST_F(TFavouritesFindTest, OrganiserMovesStopAtTheEndsAndOkRewritesTheStore) {
    const std::string longPath = "/data/" + std::string(300, 'x') + "/end";
    const std::vector<std::string> stored = {"/a", "/b", longPath};
    WriteFavourites(stored);
    struct TCase {
        const char* What;
        int Row;           // the selected line, -1 for none
        const char* Click; // the button pressed
        std::vector<std::string> After;
    } const cases[] = {
        {"up on the first", 0, "bbUp", stored},
        {"down on the last", 2, "bbDown", stored},
        {"up with none selected", -1, "bbUp", stored},
        {"down with none selected", -1, "bbDown", stored},
        {"up in the middle", 1, "bbUp", {"/b", "/a", longPath}},
        {"down in the middle", 1, "bbDown", {"/a", longPath, "/b"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TfmFavourites dialog;
        EXPECT_EQ(Lines(dialog), stored);
        RunModal(dialog, {[&] {
                     if (c.Row >= 0) Find<QListWidget>(dialog, "lbFavourites")->setCurrentRow(c.Row);
                     dialog.findChild<QPushButton*>(c.Click)->click();
                     EXPECT_EQ(Lines(dialog), c.After);
                     if (c.Row >= 0) {
                         // The moved line stays selected.
                         const std::string path = Find<QListWidget>(dialog, "lbFavourites")
                                                      ->currentItem()
                                                      ->data(Qt::UserRole)
                                                      .toString()
                                                      .toStdString();
                         EXPECT_EQ(path, stored[static_cast<std::size_t>(c.Row)]);
                     }
                     Find<QPushButton>(dialog, "buCancel")->click();
                 }});
        EXPECT_EQ(StoredFavourites(), Numbered(stored)); // Cancel changes nothing
    }
    // The long path is shown shortened and stored whole.
    TfmFavourites dialog;
    RunModal(dialog, {[&] {
                 const QString shown = Find<QListWidget>(dialog, "lbFavourites")->item(2)->text();
                 EXPECT_LT(shown.size(), static_cast<qsizetype>(longPath.size()));
                 EXPECT_TRUE(shown.endsWith("/end"));
                 Find<QListWidget>(dialog, "lbFavourites")->setCurrentRow(0);
                 Find<QPushButton>(dialog, "bbDown")->click();
                 Find<QPushButton>(dialog, "buOK")->click();
             }});
    EXPECT_EQ(StoredFavourites(), Numbered({"/b", "/a", longPath}));
    // Removing asks; No keeps the line. Every line removed leaves the key, empty.
    TfmFavourites emptied;
    FPrompter.Prompter().Answers = {mrNo, mrYes, mrYes, mrYes};
    RunModal(emptied, {[&] {
                 for (int i = 0; i < 4; ++i) {
                     Find<QListWidget>(emptied, "lbFavourites")->setCurrentRow(0);
                     Find<QPushButton>(emptied, "bbRemove")->click();
                 }
                 Find<QPushButton>(emptied, "buOK")->click();
             }});
    EXPECT_EQ(FPrompter.Prompter().Prompts.back().Text,
              "Are you sure you want to remove the selected item ?");
    EXPECT_TRUE(TRegistry().KeyExists(FavouritesKey));
    EXPECT_TRUE(StoredFavourites().empty());
}

// A zip of names with wildcard characters, an empty file and a larger one of a later date.
class TFindTest : public TFavouritesFindTest {
protected:
    void MakeArchive() {
        const std::vector<std::string> names = {"a[1].txt", "why?.txt", "star*.txt", "plain.txt",
                                                "empty.txt"};
        for (const std::string& name : names)
            WriteFile(FDir / name, name == "empty.txt" ? std::string() : name);
        WriteFile(FDir / "big.bin", RandomBytes(5000));
        std::vector<std::string> touch = {"touch", "-d", "2001-02-03 12:00"};
        touch.insert(touch.end(), names.begin(), names.end());
        ASSERT_EQ(RunTool(touch, FDir.Path()).ExitCode, 0);
        ASSERT_EQ(RunTool({"touch", "-d", "2005-06-07 23:30", "big.bin"}, FDir.Path()).ExitCode, 0);
        std::vector<std::string> zip = {"zip", "-q", "-X", "t.zip", "big.bin"};
        zip.insert(zip.end(), names.begin(), names.end());
        const ToolResult made = RunTool(zip, FDir.Path());
        ASSERT_EQ(made.ExitCode, 0) << made.Err;
    }
    TempDir FDir;
};

TEST_F(TFindTest, FindAndFindNextWalkEveryMatchOnce) {
    MakeArchive();
    Open();
    Display((FDir / "t.zip").string());
    ASSERT_EQ(Rows(), 6);
    FPrompter.Prompter().DefaultsAllowed = true;
    const std::set<std::string> all = {"a[1].txt",  "why?.txt",  "star*.txt",
                                       "plain.txt", "empty.txt", "big.bin"};
    struct TCase {
        const char* Mask;
        int SizeOp; // -1 any size
        const char* Kilobytes;
        const char* From; // empty: any date
        const char* To;
        std::set<std::string> Found;
    } const cases[] = {
        {"a[1].txt", -1, "", "", "", {"a[1].txt"}},
        {"WHY?.TXT", -1, "", "", "", {"why?.txt"}},
        {"star*.txt", -1, "", "", "", {"star*.txt"}},
        {"*.TXT", -1, "", "", "", {"a[1].txt", "why?.txt", "star*.txt", "plain.txt", "empty.txt"}},
        {"*.*", 2, "0", "", "", {"empty.txt"}},
        {"*.*", 0, "4", "", "", {"big.bin"}},
        {"*.*", 0, "4194304", "", "", {}}, // 4 GiB: a bound beyond 32 bits
        {"*.*", 1, "4194304", "", "", all},
        {"*.*", -1, "", "2005-06-07", "2005-06-07", {"big.bin"}},
        {"*.*", -1, "", "2005-06-07", "2001-02-03", all}, // the ends either way round
        {"*.*", -1, "", "2001-02-04", "2005-06-06", {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Mask) + " " + c.Kilobytes + " " + c.From);
        AnswerNextModal<TfmFind>([&c](TfmFind& Dialog) {
            Find<QComboBox>(Dialog, "rcbFilename")->setCurrentText(QString::fromUtf8(c.Mask));
            Find<QRadioButton>(Dialog, c.SizeOp < 0 ? "rbSizeAny" : "rbSizeRange")->setChecked(true);
            if (c.SizeOp >= 0) Find<QComboBox>(Dialog, "cbSizeRange")->setCurrentIndex(c.SizeOp);
            Find<QLineEdit>(Dialog, "edSizeRange")->setText(QString::fromUtf8(c.Kilobytes));
            Find<QRadioButton>(Dialog, *c.From ? "rbDateBetween" : "rbDateAny")->setChecked(true);
            if (*c.From) {
                Find<QDateEdit>(Dialog, "dtpStart")->setDate(QDate::fromString(c.From, Qt::ISODate));
                Find<QDateEdit>(Dialog, "dtpEnd")->setDate(QDate::fromString(c.To, Qt::ISODate));
            }
            Find<QPushButton>(Dialog, "buFind")->click();
        });
        FPrompter.Prompter().Prompts.clear();
        Action("acFind").trigger();
        std::multiset<std::string> found;
        for (int step = 0; step < 10 && FPrompter.Prompter().Prompts.empty(); ++step) {
            const std::set<std::string> selected = Selected();
            ASSERT_EQ(selected.size(), 1u);
            found.insert(*selected.begin());
            EXPECT_TRUE(Action("acFindNext").isEnabled());
            Action("acFindNext").trigger();
        }
        EXPECT_EQ(std::set<std::string>(found.begin(), found.end()), c.Found);
        EXPECT_EQ(found.size(), c.Found.size()); // none twice
        ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
        EXPECT_EQ(FPrompter.Prompter().Prompts[0].Text,
                  c.Found.empty() ? "No file matching your criteria was found."
                                  : "No more files matching your criteria were found.");
        EXPECT_TRUE(Selected().empty());
    }
}

TEST_F(TFindTest, GroupSelectionFilterBarAndListKeys) {
    MakeArchive();
    Open();
    Display((FDir / "t.zip").string());
    struct TCase {
        const char* Mask;
        bool Select;
        std::set<std::string> After;
    } const cases[] = {
        {"*.TXT", true, {"a[1].txt", "why?.txt", "star*.txt", "plain.txt", "empty.txt"}},
        {"a[1].txt", false, {"why?.txt", "star*.txt", "plain.txt", "empty.txt"}},
        {"STAR*.TXT", false, {"why?.txt", "plain.txt", "empty.txt"}},
        {"b?g.*", true, {"why?.txt", "plain.txt", "empty.txt", "big.bin"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Mask);
        FWindow->SelectGroup(c.Mask, c.Select);
        EXPECT_EQ(Selected(), c.After);
    }

    // Delete on the list asks about the selection; No deletes nothing.
    List().setFocus();
    FPrompter.Prompter().Answers.push_back(mrNo);
    QTest::keyClick(&List(), Qt::Key_Delete);
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
    EXPECT_TRUE(FPrompter.Prompter().Prompts[0].Text.startsWith("Are you sure you want to\rDELETE"));
    EXPECT_EQ(Rows(), 6);

    // Enter in the filter box lists what matches and keeps the mask in the history; an empty
    // box lists everything again and shows "*.*".
    auto* filter = FWindow->findChild<TRegComboBox*>("rcbFilter");
    filter->setCurrentText("*.bin");
    QTest::keyClick(filter->lineEdit(), Qt::Key_Return);
    WaitIdle();
    EXPECT_EQ(Rows(), 1);
    EXPECT_GE(filter->findText("*.bin"), 0);
    filter->setCurrentText("");
    QTest::keyClick(filter->lineEdit(), Qt::Key_Return);
    WaitIdle();
    EXPECT_EQ(Rows(), 6);
    EXPECT_EQ(filter->currentText(), "*.*");
}

} // namespace
