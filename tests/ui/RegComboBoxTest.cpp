#include "ui/RegComboBox.h"

#include "platform/Registry.h"

#include "RegistrySandbox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

QStringList Items(const QComboBox& Box) {
    QStringList items;
    for (int i = 0; i < Box.count(); ++i)
        items << Box.itemText(i);
    return items;
}

std::vector<std::string> Stored(TRegRoot Root, const std::string& Key) {
    TRegistry reg(Root);
    if (!reg.OpenKeyReadOnly(Key)) return {"<missing>"};
    std::vector<std::string> entries;
    for (const std::string& name : reg.GetValueNames())
        entries.push_back(HistoryEntry(reg, name));
    return entries;
}

// A box with a history, completing at once unless told otherwise.
std::unique_ptr<TRegComboBox> MakeBox(const QStringList& History, int Delay = 0) {
    auto box = std::make_unique<TRegComboBox>();
    box->SetRegKey("\\Software\\Quillar\\Find\\");
    box->SetRegAutoFindDelay(Delay);
    box->addItems(History);
    box->Loaded();
    return box;
}

} // namespace

// Typing completes from the shortest matching entry, keeping the typed letters and selecting the
// rest; erasing never completes.
TEST(RegComboBox, CompletesWhatIsTyped) {
    RegistrySandbox sandbox;
    const QString longEntry = "do" + QString(997, 'x');
    struct Case {
        QStringList History;
        bool CaseSensitive;
        QString Typed;
        QString Text;     // after typing
        QString Selected; // the completed tail
    };
    const std::vector<Case> cases = {
        {{"Downloads", "Documents", "Docs", "Music"}, false, "dO", "dOcs", "cs"},
        {{"Docs", "Dock"}, false, "do", "docs", "cs"}, // equal lengths: the first
        {{"Alpha", "alpine"}, true, "Al", "Alpha", "pha"},
        {{"Alpha"}, true, "al", "al", ""},
        {{"Music"}, false, "x", "x", ""},
        {{longEntry, "do" + QString(996, 'y')}, false, "do", "do" + QString(996, 'y'), QString(996, 'y')},
        {{longEntry}, false, "do", "do", ""},
        {{}, false, "do", "do", ""},
    };
    for (const Case& c : cases) {
        auto box = MakeBox(c.History);
        box->SetRegAutoFindCaseSensitive(c.CaseSensitive);
        box->setEditText({});
        QTest::keyClicks(box->lineEdit(), c.Typed);
        EXPECT_EQ(box->currentText(), c.Text) << c.Typed.toStdString();
        EXPECT_EQ(box->lineEdit()->selectedText(), c.Selected) << c.Typed.toStdString();
    }

    // Erasing: the selected tail goes and nothing completes again.
    auto box = MakeBox({"Documents"});
    box->setEditText({});
    QTest::keyClicks(box->lineEdit(), "Do");
    ASSERT_EQ(box->currentText(), "Documents");
    QTest::keyClick(box->lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(box->currentText(), "Do");
    QTest::keyClick(box->lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(box->currentText(), "D");

    // With a delay the completion waits for the timer; erasing stops it.
    auto delayed = MakeBox({"Documents"}, 500);
    delayed->setEditText({});
    QTest::keyClicks(delayed->lineEdit(), "Do");
    EXPECT_EQ(delayed->currentText(), "Do");
    EXPECT_TRUE(delayed->AutoFindPending());
    QTest::keyClick(delayed->lineEdit(), Qt::Key_Backspace);
    EXPECT_FALSE(delayed->AutoFindPending());
    QTest::keyClicks(delayed->lineEdit(), "O");
    ASSERT_TRUE(delayed->AutoFindPending());
    delayed->AutoFind(); // the timer's tick
    EXPECT_EQ(delayed->currentText(), "DOcuments");
    EXPECT_FALSE(delayed->AutoFindPending());

    // The timer itself completes once its delay has passed.
    auto ticking = MakeBox({"Downloads", "Docs"}, 1);
    ticking->setEditText({});
    QTest::keyClicks(ticking->lineEdit(), "do");
    for (int i = 0; i < 500 && ticking->AutoFindPending(); ++i)
        QTest::qWait(10);
    EXPECT_EQ(ticking->currentText(), "docs");
    EXPECT_EQ(ticking->lineEdit()->selectedText(), "cs");

    auto off = MakeBox({"Documents"});
    off->SetRegAutoFindValue(false);
    off->setEditText({});
    QTest::keyClicks(off->lineEdit(), "Do");
    EXPECT_EQ(off->currentText(), "Do");
}

// The history in the registry: newest first, no duplicates, no blanks, at most RegMaxCount
// stored; reloaded as stored; moved with its root.
TEST(RegComboBox, KeepsItsHistoryInTheRegistry) {
    RegistrySandbox sandbox;
    const std::string key = "\\Software\\Quillar\\Find";
    auto box = MakeBox({"a", "", "  ", "b"});
    EXPECT_EQ(Items(*box), (QStringList{"a", "", "  ", "b"})); // no key yet: the items as made
    box->SetRegMaxCount(10);
    box->setEditText("b");
    box->AddToHistory();
    EXPECT_EQ(Items(*box), (QStringList{"b", "a", "  "}));
    EXPECT_EQ(Stored(TRegRoot::CurrentUser, key), (std::vector<std::string>{"b", "a"}));
    for (int i = 1; i <= 10; ++i) {
        box->setEditText(QString("entry %1").arg(i));
        box->AddToHistory();
    }
    EXPECT_EQ(box->count(), 13);
    const std::vector<std::string> stored = Stored(TRegRoot::CurrentUser, key);
    ASSERT_EQ(stored.size(), 10u);
    EXPECT_EQ(stored.front(), "entry 10");
    EXPECT_EQ(stored.back(), "entry 1");
    box->setEditText("entry 3"); // again: to the top, not twice
    box->AddToHistory();
    EXPECT_EQ(Stored(TRegRoot::CurrentUser, key)[0], "entry 3");
    EXPECT_EQ(box->findText("entry 3"), 0);
    EXPECT_EQ(Items(*box).count("entry 3"), 1);
    box->setEditText("");
    box->AddToHistory(); // nothing to add
    EXPECT_EQ(box->count(), 13);

    // A new box reads the stored history in its order; its typed text stays.
    auto reloaded = std::make_unique<TRegComboBox>();
    reloaded->SetRegKey(QString::fromStdString(key));
    reloaded->addItem("designed");
    reloaded->setEditText("typed");
    reloaded->Loaded();
    EXPECT_EQ(reloaded->count(), 10);
    EXPECT_EQ(reloaded->itemText(0), "entry 3");
    EXPECT_EQ(reloaded->currentText(), "typed");

    // Leaving the box adds its text when asked to.
    reloaded->SetRegSaveOnExit(true);
    reloaded->setEditText("left behind");
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(reloaded.get(), &out);
    EXPECT_EQ(Stored(TRegRoot::CurrentUser, key)[0], "left behind");

    // Linux paths differ in case: "~/Data" and "~/data" are two entries, kept apart when saved,
    // reloaded and saved again.
    for (const char* path : {"~/Data", "~/data", "~/Data"}) {
        reloaded->lineEdit()->clear();
        QTest::keyClicks(reloaded->lineEdit(), path);
        reloaded->AddToHistory();
    }
    EXPECT_EQ(Items(*reloaded).mid(0, 3), (QStringList{"~/Data", "~/data", "left behind"}));
    auto cased = std::make_unique<TRegComboBox>();
    cased->SetRegKey(QString::fromStdString(key));
    cased->Loaded();
    EXPECT_EQ(Items(*cased).mid(0, 3), (QStringList{"~/Data", "~/data", "left behind"}));
    cased->setEditText("~/data");
    cased->AddToHistory();
    const std::vector<std::string> saved = Stored(TRegRoot::CurrentUser, key);
    ASSERT_GE(saved.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(saved.begin(), saved.begin() + 3),
              (std::vector<std::string>{"~/data", "~/Data", "left behind"}));

    // A history kept in the values' names reads as it was written.
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Quillar\\Old", true));
        reg.WriteValues({{"~/Old", rdString, {}, 0}, {"*.txt", rdString, {}, 0}});
        auto old = std::make_unique<TRegComboBox>();
        old->SetRegKey("\\Software\\Quillar\\Old");
        old->Loaded();
        EXPECT_EQ(Items(*old), (QStringList{"~/Old", "*.txt"}));
    }

    // Another root: the history moves there.
    reloaded->SetRegLocation(TRegComboBox::LocalMachine);
    EXPECT_EQ(Stored(TRegRoot::CurrentUser, key), std::vector<std::string>{"<missing>"});
    EXPECT_EQ(Stored(TRegRoot::LocalMachine, key)[0], "~/Data"); // the moved box's own top entry

    // Keys: a trailing backslash goes, an empty key is ignored; a disabled box stores nothing.
    reloaded->SetRegKey("");
    EXPECT_EQ(reloaded->RegKey(), QString::fromStdString(key));
    auto disabled = std::make_unique<TRegComboBox>();
    disabled->setProperty("RegKey", "\\Software\\Quillar\\Filters\\"); // as a form made in Designer sets it
    disabled->setProperty("RegEnabled", false);
    EXPECT_EQ(disabled->RegKey(), "\\Software\\Quillar\\Filters");
    disabled->Loaded();
    disabled->setEditText("x");
    disabled->AddToHistory();
    EXPECT_EQ(Stored(TRegRoot::CurrentUser, "\\Software\\Quillar\\Filters"),
              std::vector<std::string>{"<missing>"});
}

// Opening the box's list (F4) while typing stores nothing; leaving the box for another control
// stores what was typed.
TEST(RegComboBox, OpeningTheListIsNoLeaving) {
    RegistrySandbox sandbox;
    const std::string key = "\\Software\\Quillar\\Find";
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* box = new TRegComboBox(&window);
    auto* other = new QLineEdit(&window);
    layout->addWidget(box);
    layout->addWidget(other);
    box->SetRegKey(QString::fromStdString(key));
    box->SetRegSaveOnExit(true);
    box->addItems({"abcdef", "xyz"});
    box->Loaded();
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    box->setFocus();
    box->lineEdit()->clear();
    QTest::keyClicks(box->lineEdit(), "ab");
    QTest::keyClick(box->lineEdit(), Qt::Key_F4);
    ASSERT_TRUE(box->view()->isVisible());
    EXPECT_EQ(Stored(TRegRoot::CurrentUser, key), (std::vector<std::string>{"<missing>"}));
    box->hidePopup();
    box->setEditText("abc");
    other->setFocus();
    EXPECT_EQ(Stored(TRegRoot::CurrentUser, key), (std::vector<std::string>{"abc", "abcdef", "xyz"}));
}
