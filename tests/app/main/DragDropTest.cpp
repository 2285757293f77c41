// Drag and drop on the main window: files and folders dropped on it are added (checked by
// unzip), drops the open archive cannot take are refused, a drop with no archive open makes the
// archive the user names without losing an existing file it cannot replace, and entries dragged
// out arrive as files in a private folder (hostile names kept inside it) that goes afterwards.
#include "MainWindowFixture.h"
#include "ToolChecks.h"

#include "ZipBuilder.h"
#include "app/dialogs/DialogSupport.h"
#include "app/main/QtEngineHost.h"
#include "engine/read/krvKorva.h"
#include "ui/LmOpenSaveComm.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <map>

using namespace testsupport;

namespace {

::testing::AssertionResult Succeeded(const ToolResult& Result) {
    if (Result.ExitCode == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << Result.Err << Result.Out;
}

// The names unzip lists, sorted.
std::vector<std::string> ZipNames(const fs::path& Archive) {
    const ToolResult listed = RunTool({"unzip", "-Z1", Archive.string()});
    EXPECT_EQ(listed.ExitCode, 0) << listed.Err;
    std::vector<std::string> names;
    std::string line;
    for (char c : listed.Out) {
        if (c != '\n') {
            line += c;
        } else if (!line.empty()) {
            names.push_back(line);
            line.clear();
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::unique_ptr<QMimeData> FileUrls(const std::vector<fs::path>& Paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const fs::path& path : Paths)
        urls.push_back(QUrl::fromLocalFile(Q(path)));
    data->setUrls(urls);
    return data;
}

// A drop target as a Qt program makes one: it takes the dropped file URLs and reads each file.
class TDropTarget : public QWidget {
public:
    TDropTarget() { setAcceptDrops(true); }
    std::map<fs::path, std::string> Files;
    // The drag enters and the data is dropped, as the desktop delivers them.
    void Receive(const QMimeData& Data) {
        const QPoint at(5, 5);
        QDragEnterEvent enter(at, Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(this, &enter);
        QDropEvent drop(at, Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(this, &drop);
    }

protected:
    void dragEnterEvent(QDragEnterEvent* Event) override {
        if (Event->mimeData()->hasUrls()) Event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* Event) override {
        for (const QUrl& url : Event->mimeData()->urls())
            if (url.isLocalFile())
                Files[url.toLocalFile().toStdString()] = ReadFile(url.toLocalFile().toStdString());
        Event->acceptProposedAction();
    }
};

// The product's engine host, so that a replaced archive goes to the trash of the private home.
class TDragDropTest : public MainWindowTest {
protected:
    TDragDropTest() : FPreviousHost(EngineHost::Install(std::make_unique<TQtEngineHost>())) {}
    ~TDragDropTest() override { EngineHost::Install(std::move(FPreviousHost)); }
    std::unique_ptr<EngineHost> FPreviousHost;

    // Drags Data over the window and drops it as a file manager would; true when accepted.
    bool Drop(const QMimeData& Data) {
        const QPoint at = FWindow->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(FWindow.get(), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(FWindow.get(), &drop);
        QApplication::processEvents(); // the adding runs once the drop has ended
        WaitIdle();
        return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
    }
};

TEST_F(TDragDropTest, DroppedFilesAndFoldersAreAddedToTheOpenArchive) {
    TempDir dir;
    WriteFile(dir / "old.txt", "old");
    WriteFile(dir / "drop" / "one.txt", TextBytes(3000));
    WriteFile(dir / "drop" / "tree" / "two.txt", TextBytes(2000, 2));
    WriteFile(dir / "drop" / "tree" / "deep" / "three.bin", RandomBytes(1500));
    ASSERT_TRUE(Succeeded(RunTool({"zip", "-q", "-X", "t.zip", "old.txt"}, dir.Path())));
    const fs::path archive = dir / "t.zip";
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    Display(archive.string());
    ASSERT_TRUE(Drop(*FileUrls({dir / "drop" / "one.txt", dir / "drop" / "tree"})));
    ASSERT_TRUE(Succeeded(RunTool({"unzip", "-tq", archive.string()})));
    // The folder comes whole, every file below it in its own folder.
    EXPECT_EQ(ZipNames(archive),
              (std::vector<std::string>{"old.txt", "one.txt", "tree/deep/three.bin", "tree/two.txt"}));
    EXPECT_EQ(Rows(), 4);
    TempDir out;
    ASSERT_TRUE(Succeeded(RunTool({"unzip", "-qj", archive.string(), "-d", out.Str()})));
    EXPECT_EQ(ReadFile(out / "three.bin"), ReadFile(dir / "drop" / "tree" / "deep" / "three.bin"));

    // Refused: data without files, our own drag under way, and an archive that takes no files.
    QMimeData text;
    text.setText("not a file");
    EXPECT_FALSE(Drop(text));
    List().selectAll();
    std::unique_ptr<QMimeData> own = FWindow->PrepareDragOut();
    ASSERT_NE(own, nullptr);
    EXPECT_FALSE(Drop(*own));
    EXPECT_FALSE(Drop(*FileUrls({dir / "old.txt"})));
    FWindow->DropFileSourceAfterDrop();
    ASSERT_TRUE(Succeeded(RunTool({"gcab", "-c", (dir / "t.cab").string(), "old.txt"}, dir.Path())));
    const std::string cab = ReadFile(dir / "t.cab");
    Display((dir / "t.cab").string());
    EXPECT_FALSE(Drop(*FileUrls({dir / "drop" / "one.txt"})));
    EXPECT_EQ(ReadFile(dir / "t.cab"), cab);
}

TEST_F(TDragDropTest, DropWithNoArchiveOpenMakesTheArchiveTheUserNames) {
    TempDir dir;
    WriteFile(dir / "in" / "a.txt", TextBytes(4000));
    WriteFile(dir / "in" / "sub" / "b.txt", TextBytes(1000, 5));
    WriteFile(dir / "taken.zip", "an older file of that name");
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    struct TCase {
        const char* Archive;
        std::vector<fs::path> Dropped;
        bool Made;
        const char* Password = ""; // offered on the panel's password button
    } const cases[] = {
        {"new.zip", {dir / "in" / "a.txt", dir / "in" / "sub"}, true},
        {"taken.zip", {dir / "in" / "a.txt"}, true},
        // Nothing to add: the file of that name stays as it was.
        {"taken.zip", {dir / "in" / "gone.txt"}, false},
        // The password the panel offers enciphers the new archive.
        {"secret.zip", {dir / "in" / "a.txt"}, true, "s3cret"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Archive) + (c.Made ? " made" : " kept"));
        FWindow->CloseArchive();
        const fs::path archive = dir / c.Archive;
        const std::string before = fs::exists(archive) ? ReadFile(archive) : std::string();
        AnswerFileDialog(Q(archive), [](TLmCustomOpenDialog& Dialog) {
            EXPECT_NE(Dialog.findChild<QWidget*>("fmAddOptionsBottom"), nullptr);
        });
        QStringList paths;
        for (const fs::path& path : c.Dropped)
            paths.push_back(Q(path));
        CurrentArchivePassword() = QString::fromLatin1(c.Password);
        FWindow->DropFileTargetDrop(paths);
        WaitIdle();
        CurrentArchivePassword().clear();
        if (*c.Password) {
            EXPECT_TRUE(Succeeded(RunTool({"unzip", "-tq", "-P", c.Password, archive.string()})));
            EXPECT_FALSE(Succeeded(RunTool({"unzip", "-tq", "-P", "wrong", archive.string()})));
        } else if (c.Made) {
            ASSERT_TRUE(Succeeded(RunTool({"unzip", "-tq", archive.string()})));
            EXPECT_EQ(FWindow->Lister().ArchiveFile(), archive.string());
        } else {
            EXPECT_EQ(ReadFile(archive), before);
        }
        EXPECT_FALSE(fs::exists(dir / (std::string(c.Archive) + ".quillar-old")));
    }
    EXPECT_EQ(ZipNames(dir / "new.zip"), (std::vector<std::string>{"a.txt", "sub/b.txt"}));
    EXPECT_EQ(ZipNames(dir / "taken.zip"), (std::vector<std::string>{"a.txt"}));
}

TEST_F(TDragDropTest, DraggedEntriesArriveAsFilesInAPrivateFolder) {
    TempDir dir, temp;
    EnvGuard tmpdir("TMPDIR", temp.Str().c_str());
    TZipSpec spec;
    spec.Add("a.txt", "alpha")
        .Add("dir/b.txt", "beta")
        .Add("../escaped.txt", "up")
        .Add("/abs.txt", "abs")
        .Add("c:\\win\\d.txt", "drive");
    WriteFile(dir / "t.zip", MakeStoredZip(spec));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    Display((dir / "t.zip").string());
    ASSERT_EQ(Rows(), 5);
    List().selectAll();

    // A drag that no target takes extracts nothing and leaves no folder behind.
    {
        std::unique_ptr<QMimeData> data = FWindow->PrepareDragOut();
        ASSERT_NE(data, nullptr);
        const fs::path folder = FWindow->DragTempFolder().toStdString();
        EXPECT_TRUE(fs::is_directory(folder));
        EXPECT_EQ(data->formats(), QStringList{"text/uri-list"});
        EXPECT_TRUE(fs::is_empty(folder));
        FWindow->DropFileSourceAfterDrop();
        EXPECT_TRUE(FWindow->DragTempFolder().isEmpty());
        data.reset();
        EXPECT_FALSE(fs::exists(folder));
    }

    std::unique_ptr<QMimeData> data = FWindow->PrepareDragOut();
    ASSERT_NE(data, nullptr);
    const fs::path folder = FWindow->DragTempFolder().toStdString();
    // As on X11, the drag loop returns before the target asks for the data: a drop target then
    // reads the URLs and copies the files. The entries are extracted at that request and handed
    // over as file URLs, the one that climbs out not at all and the absolute one inside the
    // folder.
    FWindow->DropFileSourceAfterDrop();
    EXPECT_TRUE(FWindow->DragTempFolder().isEmpty());
    TDropTarget target;
    target.show();
    target.Receive(*data);
    std::map<std::string, std::string> handed;
    for (const auto& [path, bytes] : target.Files)
        handed[fs::relative(path, folder).string()] = bytes;
    EXPECT_EQ(handed,
              (std::map<std::string, std::string>{
                  {"a.txt", "alpha"}, {"dir/b.txt", "beta"}, {"abs.txt", "abs"}, {"win/d.txt", "drive"}}));
    EXPECT_EQ(QString::fromUtf8(data->data("text/uri-list")).count("file://"), 4);
    EXPECT_EQ(FolderNames(temp.Path()), std::vector<std::string>{folder.filename().string()});
    EXPECT_FALSE(fs::exists(dir / "escaped.txt"));
    // Dropping our own drag on the list does nothing.
    EXPECT_FALSE(Drop(*data));
    // The folder outlives the drag's data for the target's copy, but not the window.
    data.reset();
    EXPECT_TRUE(fs::is_directory(folder));

    // With the mouse: a press on one of several selected rows keeps them all for the drag; a
    // drag that no target takes (the offscreen desktop has none) extracts nothing and leaves no
    // folder.
    QWidget* viewport = List().viewport();
    const QPoint row0 = List().visualRect(List().model()->index(0, 0)).center();
    const QPoint row2 = List().visualRect(List().model()->index(2, 0)).center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, row0);
    EXPECT_EQ(List().selectionModel()->selectedRows().size(), 5);
    QTest::mouseMove(viewport, row2);
    EXPECT_TRUE(FWindow->DragTempFolder().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the drag and its data
    EXPECT_EQ(FolderNames(temp.Path()), std::vector<std::string>{folder.filename().string()});
    // A press and release without a drag leaves the pressed row alone selected.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, row2);
    EXPECT_EQ(List().selectionModel()->selectedRows().size(), 1);

    FWindow.reset();
    EXPECT_FALSE(fs::exists(folder));
}

} // namespace
