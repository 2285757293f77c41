// The comment editing operation without a window: a comment written where unzip reads it, and
// each failure (a read-only archive kept, a full disk, an archive that is no zip) reported with
// its cause and the engine's code, the archive byte-identical afterwards.
#include "FullDiskWriter.h"
#include "ScriptedPrompter.h"
#include "ToolChecks.h"

#include "app/ops/OpComment.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/zip/krvZip.h"

#include <QStringList>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>

using namespace testsupport;

namespace {

// Answers the read-only question as told and keeps the log.
class TCommentObserver : public TOpObserver {
public:
    bool AskWriteProtectedArchive(const std::string&) override {
        ++Asked;
        return WriteReadOnly;
    }
    void Log(const QString& Line) override { Lines << Line; }
    bool WriteReadOnly = false;
    int Asked = 0;
    QStringList Lines;
};

} // namespace

TEST(CommentEdit, WritesWhatUnzipReadsOrReportsWhyNotAndKeepsTheArchive) {
    TempDir dir;
    WriteFile(dir / "a.txt", "alpha\n");
    WriteFile(dir / "b.txt", TextBytes(20000));
    Must(RunTool({"zip", "-q", "-X", "t.zip", "a.txt", "b.txt"}, dir.Path()));
    const std::string original = ReadFile(dir / "t.zip");
    ScriptedPrompterGuard prompter; // nothing may reach a dialog

    struct TCase {
        const char* Name;
        bool ReadOnly;
        bool AnswerWrite;      // the answer to the read-only question
        std::int64_t DiskRoom; // bytes the disk takes (-1: no limit)
        int ECode;             // 0: saved
        TOpCause Cause;
    } const cases[] = {
        {"plain", false, false, -1, 0, TOpCause::Other},
        {"read-only, written when allowed", true, true, -1, 0, TOpCause::Other},
        {"read-only, kept", true, false, -1, ecFileIsReadOnly, TOpCause::Other},
        {"full disk", false, false, 100, ecDiskFull, TOpCause::DiskFull},
    };
    for (const TCase& c : cases) {
        const fs::path zip = dir / "t.zip";
        ::chmod(zip.c_str(), 0644);
        WriteFile(zip, original);
        if (c.ReadOnly) ::chmod(zip.c_str(), 0444);
        auto writer = std::make_unique<TFullDisk<TZip>>();
        writer->Limit = c.DiskRoom;
        TCommentObserver observer;
        observer.WriteReadOnly = c.AnswerWrite;
        TCommentEdit edit(observer, std::move(writer));
        ASSERT_TRUE(edit.Open(zip.string())) << c.Name;
        EXPECT_TRUE(edit.Text().isEmpty()) << c.Name;
        const QByteArray text = QStringLiteral("Notes \u00e9t\u00e9\nline two").toUtf8();
        edit.Zip().SetArchiveComment(text.constData(), static_cast<std::size_t>(text.size()));
        const TOpResult& result = edit.Save();
        EXPECT_EQ(observer.Asked, c.ReadOnly ? 1 : 0) << c.Name;
        if (c.ECode == 0) {
            EXPECT_TRUE(result.Succeeded()) << c.Name;
            EXPECT_TRUE(result.Failures.empty()) << c.Name;
            const ToolResult shown = RunTool({"unzip", "-z", zip.string()});
            EXPECT_NE(shown.Out.find(text.toStdString()), std::string::npos) << c.Name << "\n" << shown.Out;
            Must(RunTool({"unzip", "-tq", zip.string()}));
            // Read back by a fresh edit, the same text.
            TCommentEdit again(observer);
            ASSERT_TRUE(again.Open(zip.string())) << c.Name;
            EXPECT_EQ(again.Text(), QString::fromUtf8(text)) << c.Name;
            // Nothing changed: nothing written, no failure.
            EXPECT_TRUE(again.Save().Failures.empty()) << c.Name;
        } else {
            EXPECT_FALSE(result.Succeeded()) << c.Name;
            ASSERT_EQ(result.Failures.size(), 1u) << c.Name;
            EXPECT_EQ(result.Failures[0].ECode, c.ECode) << c.Name;
            EXPECT_EQ(result.Failures[0].Cause, c.Cause) << c.Name;
            EXPECT_EQ(result.Failures[0].Entry, zip.string()) << c.Name;
            EXPECT_TRUE(CommentFailureText(result.Failures[0], true).contains(QString::number(c.ECode)))
                << c.Name;
            EXPECT_FALSE(observer.Lines.isEmpty()) << c.Name; // the log has the engine's error
            EXPECT_EQ(ReadFile(zip), original) << c.Name;
        }
        ::chmod(zip.c_str(), 0644);
    }
    // No temporary left beside the archive.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 3);

    // What is no zip is not opened.
    TCommentObserver observer;
    TCommentEdit tar(observer);
    Must(RunTool({"tar", "-cf", "t.tar", "a.txt"}, dir.Path()));
    EXPECT_FALSE(tar.Open((dir / "t.tar").string()));
    EXPECT_FALSE(tar.Result().Started);
    WriteFile(dir / "cut.zip", original.substr(0, original.size() - 30));
    TCommentEdit cut(observer);
    // A zip cut short: a comment goes in only with a whole directory, else the file stays as it was.
    if (cut.Open((dir / "cut.zip").string())) {
        cut.Zip().SetArchiveComment("x", 1);
        if (cut.Save().Succeeded())
            Must(RunTool({"unzip", "-tq", (dir / "cut.zip").string()}));
        else
            EXPECT_EQ(ReadFile(dir / "cut.zip"), original.substr(0, original.size() - 30));
    }
}
