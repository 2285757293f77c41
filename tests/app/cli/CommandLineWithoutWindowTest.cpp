// The command line runs its operations without the main window: switches run in this process
// on archives made by zip and tar and on those it makes (read back by unzip, tar and lhasa), while a timer
// and the prompter look at the top-level widgets all along. No main window may exist at any moment; the
// progress window shows for the operations that show one today; the results match what unzip, tar and lhasa
// give.
#include "ExtractRun.h"
#include "ProcessRun.h"
#include "ToolChecks.h"

#include "app/cli/CommandLine.h"
#include "app/common/AppSettings.h"
#include "app/dialogs/Progress.h"
#include "app/common/Prompter.h"
#include "app/main/main_fm.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// What the top-level widgets held while a run went on.
struct TSeen {
    bool MainWindow = false;
    bool ProgressShown = false;

    void Look() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<TfmMain*>(widget)) MainWindow = true;
            if (qobject_cast<TfmProgress*>(widget) && widget->isVisible()) ProgressShown = true;
        }
    }
};

// Notes the progress window's show event when it comes, however short the run: a look from a
// timer sees it only when the event loop happens to turn while the window is up.
class TShowWatch : public QObject {
public:
    explicit TShowWatch(TSeen& Seen) : FSeen(Seen) { qApp->installEventFilter(this); }
    ~TShowWatch() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::Show && qobject_cast<TfmProgress*>(Watched)) FSeen.ProgressShown = true;
        return false;
    }

private:
    TSeen& FSeen;
};

// Takes every question's default answer and looks at the widgets when it is asked.
class TLookingPrompter : public TPrompter {
public:
    explicit TLookingPrompter(TSeen& Seen) : FSeen(Seen) {}
    int Ask(const TPrompt& Prompt) override {
        FSeen.Look();
        Texts += Prompt.Text.toStdString() + "\n";
        return Prompt.DefaultAnswer();
    }
    bool InputQuery(const QString&, const QString&, QString&) override { return false; }
    std::string Texts;

private:
    TSeen& FSeen;
};

class CommandLineWithoutWindow : public QuillarProcessTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteDefaultSettings());
        WriteFile(FWork / "src/a.txt", "alpha\n");
        WriteFile(FWork / "src/b.bin", RandomBytes(300000, 3));
        WriteFile(FWork / "src/sub/c.txt", TextBytes(40000, 4));
        Must(RunTool({"zip", "-qr", "../t.zip", "."}, FWork / "src"));
        Must(RunTool({"tar", "-cf", "../t.tar", "."}, FWork / "src"));
        std::string bad = ReadFile(FWork / "t.zip");
        bad[bad.find("alpha")] ^= 0x20; // a.txt is stored: its CRC no longer fits
        WriteFile(FWork / "bad.zip", bad);
    }

    TempDir FWork;
};

TEST_F(CommandLineWithoutWindow, SwitchesRunWithoutTheMainWindow) {
    {
        // The look finds a main window, hidden as a command-line run would have made it.
        TfmMain window({QStringLiteral("-T"), Q(FWork / "t.zip")});
        TSeen control;
        control.Look();
        ASSERT_TRUE(control.MainWindow);
    }
    const std::map<std::string, std::string> source = ReadTree(FWork / "src");
    struct TCase {
        std::vector<std::string> Args; // {w}: the work folder
        int Exit;
        std::string Said;
        std::string Tree;  // a folder below {w} that must hold the source tree, or ""
        std::string Check; // "zip", "tar", "lzh": the archive at Args[1] read by unzip, tar, lhasa
    } const cases[] = {
        {{"-T", "{w}/t.zip"}, 0, "No errors were found in this archive file.", "", ""},
        {{"-T", "{w}/bad.zip"}, 1, "", "", ""},
        {{"-DDEH", "{w}/x1", "{w}/t.zip"}, 0, "Extraction completed.", "x1", ""},
        {{"-DDEH", "{w}/x2", "{w}/t.tar"}, 0, "Extraction completed.", "x2", ""},
        {{"-G", "{w}/new.zip", "{w}/src"}, 0, "Files Compressed: 3", "", "zip"},
        {{"-G", "{w}/new.tar", "{w}/src"}, 0, "Files Compressed: 3", "", "tar"},
        {{"-G", "{w}/new.lzh", "{w}/src"}, 0, "Files Compressed: 3", "", "lzh"},
        {{"-T", "{w}/new.lzh"}, 0, "No errors were found in this archive file.", "", ""},
        {{"-DDEH", "{w}/x3", "{w}/new.lzh"}, 0, "Extraction completed.", "x3/src", ""},
    };
    for (const TCase& c : cases) {
        QStringList args;
        std::string what;
        for (std::string arg : c.Args) {
            if (arg.starts_with("{w}")) arg = FWork.Str() + arg.substr(3);
            args << QString::fromStdString(arg);
            what += " " + arg;
        }
        TSeen seen;
        const TShowWatch shows(seen);
        auto prompter = std::make_unique<TLookingPrompter>(seen);
        TLookingPrompter& asked = *prompter;
        std::unique_ptr<TPrompter> previous = TPrompter::Install(std::move(prompter));
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&seen] { seen.Look(); });
        look.start(1);
        const int exitCode = TCommandLine(args).Run();
        look.stop();
        seen.Look();
        const std::string said = asked.Texts;
        TPrompter::Install(std::move(previous));

        EXPECT_EQ(exitCode, c.Exit) << what << "\n" << said;
        EXPECT_FALSE(seen.MainWindow) << what;
        EXPECT_TRUE(seen.ProgressShown) << what;
        EXPECT_NE(said.find(c.Said), std::string::npos) << what << "\n" << said;
        if (!c.Tree.empty()) {
            EXPECT_EQ(ReadTree(FWork / c.Tree), source) << what;
        }
        if (c.Check == "zip") {
            Must(RunTool({"unzip", "-tq", args[1].toStdString()}));
            TempDir out;
            Must(RunTool({"unzip", "-q", args[1].toStdString(), "-d", out.Str()}));
            EXPECT_EQ(ReadTree(out / "src"), source) << what;
        } else if (c.Check == "tar") {
            TempDir out;
            Must(RunTool({"tar", "-xf", args[1].toStdString(), "-C", out.Str()}));
            EXPECT_EQ(ReadTree(out / "src"), source) << what;
        } else if (c.Check == "lzh") {
            TempDir out;
            Must(RunTool({"lhasa", "xq", args[1].toStdString()}, out.Path()));
            EXPECT_EQ(ReadTree(out / "src"), source) << what;
        }
    }
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty() ||
                std::none_of(QApplication::topLevelWidgets().begin(), QApplication::topLevelWidgets().end(),
                             [](QWidget* W) { return qobject_cast<TfmMain*>(W) != nullptr; }));
}

} // namespace
