// Opened archives reach the desktop's recent-files store (recently-used.xbel), read back by
// GLib's own bookmark-file parser, the one GTK's file dialogs use: a new store, a store other
// programs wrote whose entries stay as they were, a second use counted, and a store that
// cannot be read left alone.
#include "MainWindowFixture.h"
#include "ToolChecks.h"

#include "app/common/RecentDocuments.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

using namespace testsupport;

namespace {

// GLib's reading of the store: one line per bookmark, "uri|mime type|exec|count" of Quillar's
// use (exec and count empty when Quillar is not among its programs), or "ERROR".
const char* const ReadStore = R"(
import ctypes, sys
g = ctypes.CDLL("libglib-2.0.so.0")
P = ctypes.c_void_p
g.g_bookmark_file_new.restype = P
g.g_bookmark_file_load_from_file.argtypes = [P, ctypes.c_char_p, ctypes.POINTER(P)]
g.g_bookmark_file_get_uris.restype = ctypes.POINTER(ctypes.c_char_p)
g.g_bookmark_file_get_uris.argtypes = [P, ctypes.POINTER(ctypes.c_size_t)]
g.g_bookmark_file_get_mime_type.restype = ctypes.c_char_p
g.g_bookmark_file_get_mime_type.argtypes = [P, ctypes.c_char_p, ctypes.POINTER(P)]
g.g_bookmark_file_get_app_info.argtypes = [P, ctypes.c_char_p, ctypes.c_char_p, ctypes.POINTER(ctypes.c_char_p),
                                           ctypes.POINTER(ctypes.c_uint), ctypes.POINTER(ctypes.c_long), ctypes.POINTER(P)]
b = g.g_bookmark_file_new()
if not g.g_bookmark_file_load_from_file(b, sys.argv[1].encode(), None):
    print("ERROR")
    sys.exit(0)
n = ctypes.c_size_t()
uris = g.g_bookmark_file_get_uris(b, ctypes.byref(n))
for i in range(n.value):
    uri = uris[i]
    exe, count, stamp = ctypes.c_char_p(), ctypes.c_uint(), ctypes.c_long()
    known = g.g_bookmark_file_get_app_info(b, uri, b"Quillar", ctypes.byref(exe), ctypes.byref(count), ctypes.byref(stamp), None)
    print("|".join([uri.decode(), (g.g_bookmark_file_get_mime_type(b, uri, None) or b"").decode(),
                    exe.value.decode() if known else "", str(count.value) if known else ""]))
)";

std::map<std::string, std::string> GlibReads(const fs::path& Store) {
    const ToolResult result = RunTool({"python3", "-c", ReadStore, Store.string()});
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    std::map<std::string, std::string> entries;
    std::istringstream lines(result.Out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t bar = line.find('|');
        entries[line.substr(0, bar)] = bar == std::string::npos ? "" : line.substr(bar + 1);
    }
    return entries;
}

std::string Uri(const fs::path& File) {
    return QUrl::fromLocalFile(QString::fromStdString(File.string())).toEncoded().toStdString();
}

// A store as GTK writes it, with another program's document, a group and a private flag.
const char* const OtherStore = R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0"
      xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info"
>
  <bookmark href="file:///home/someone/notes%20one.txt" added="2026-01-02T03:04:05.123456Z" modified="2026-01-02T03:04:05.123456Z" visited="2026-01-02T03:04:05.123456Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="text/plain"/>
        <bookmark:groups>
          <bookmark:group>gedit</bookmark:group>
        </bookmark:groups>
        <bookmark:applications>
          <bookmark:application name="gedit" exec="&apos;gedit %u&apos;" modified="2026-01-02T03:04:05.123456Z" count="5"/>
        </bookmark:applications>
        <bookmark:private/>
      </metadata>
    </info>
  </bookmark>
</xbel>)";

} // namespace

TEST(RecentDocuments, StoreReadByGlib) {
    TempDir home;
    EnvGuard data("XDG_DATA_HOME", (home / "data").c_str());
    const fs::path store = home / "data/recently-used.xbel";
    EXPECT_EQ(RecentDocumentsPath().toStdString(), store.string());
    WriteFile(home / "a b.zip", "PK\x05\x06" + std::string(18, '\0'));
    WriteFile(home / "c.lzh", "not much");
    const QString zip = QString::fromStdString((home / "a b.zip").string());
    const QString lzh = QString::fromStdString((home / "c.lzh").string());

    // A new store, its folder made.
    ASSERT_TRUE(AddToRecentDocuments(zip));
    std::map<std::string, std::string> read = GlibReads(store);
    ASSERT_EQ(read.size(), 1u);
    // GLib gives the command with the file's URL in place of %u.
    const std::string program = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
    const auto used = [&](const fs::path& File, const std::string& Type, int Count) {
        return Type + "|" + program + " " + Uri(File) + "|" + std::to_string(Count);
    };
    EXPECT_EQ(read[Uri(home / "a b.zip")], used(home / "a b.zip", "application/zip", 1));
    EXPECT_EQ(fs::status(store).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    // Another program's store: its entry stays; a second use is counted.
    WriteFile(store, OtherStore);
    ASSERT_TRUE(AddToRecentDocuments(zip));
    ASSERT_TRUE(AddToRecentDocuments(zip));
    ASSERT_TRUE(AddToRecentDocuments(lzh));
    read = GlibReads(store);
    EXPECT_EQ(read.size(), 3u);
    EXPECT_EQ(read["file:///home/someone/notes%20one.txt"], "text/plain||");
    EXPECT_EQ(read[Uri(home / "a b.zip")], used(home / "a b.zip", "application/zip", 2));
    EXPECT_EQ(read[Uri(home / "c.lzh")], used(home / "c.lzh", "application/x-lha", 1));
    const std::string text = ReadFile(store);
    for (const char* kept : {"<bookmark:group>gedit</bookmark:group>", "name=\"gedit\"", "count=\"5\"",
                             "<bookmark:private/>", "added=\"2026-01-02T03:04:05.123456Z\""})
        EXPECT_NE(text.find(kept), std::string::npos) << kept << "\n" << text;

    // A store that cannot be read is left as it is; a missing file is not added.
    WriteFile(store, "<xbel><bookmark href=");
    EXPECT_FALSE(AddToRecentDocuments(zip));
    EXPECT_EQ(ReadFile(store), "<xbel><bookmark href=");
    fs::remove(store);
    EXPECT_FALSE(AddToRecentDocuments(QString::fromStdString((home / "gone.zip").string())));
    EXPECT_FALSE(fs::exists(store));
}

// An archive opened in the window is added; one that is no archive is not.
TEST_F(MainWindowTest, OpenedArchivesReachTheRecentDocuments) {
    TempDir dir;
    WriteFile(dir / "a.txt", TextBytes(2000));
    Must(RunTool({"zip", "-q", "-X", "t.zip", "a.txt"}, dir.Path()));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    FWindow->OpenRecent(QString::fromStdString((dir / "a.txt").string()));
    WaitIdle();
    EXPECT_FALSE(fs::exists(RecentDocumentsPath().toStdString()));
    FWindow->OpenRecent(QString::fromStdString((dir / "t.zip").string()));
    WaitIdle();
    const std::map<std::string, std::string> read = GlibReads(RecentDocumentsPath().toStdString());
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read.begin()->first, Uri(dir / "t.zip"));
    EXPECT_EQ(read.begin()->second.substr(0, 16), "application/zip|");
}
