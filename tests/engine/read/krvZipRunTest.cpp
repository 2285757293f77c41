#include "engine/read/krvZipRun.h"
#include "engine/core/krvGbls.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(ZipRun, OwnsAPrivateFolderAndRemovesItWithEverythingInIt) {
    TempDir dir;
    WriteFile(dir / "a.zip", "PK");
    std::string removed;
    std::string folder;
    {
        TZipRun run;
        EXPECT_EQ(run.ExecutionMethod, emExecuteAndWait);
        EXPECT_EQ(run.WindowState, esNormal);
        folder = run.TempFolder();
        ASSERT_FALSE(folder.empty());
        // Made at once, private, in the temporary folder.
        EXPECT_EQ(fs::status(folder).type(), fs::file_type::directory);
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
        EXPECT_EQ(fs::path(folder).parent_path(), fs::path(GetTempPathStr()).parent_path());
        fs::create_directories(fs::path(folder) / "sub");
        WriteFile(fs::path(folder) / "sub/file", "x");
        fs::create_symlink(dir.Path(), fs::path(folder) / "link");
        run.SetArchiveFile((dir / "a.zip").string());
        run.OnRemoveTempfile = [&](TZipCommon&, const std::string& Name) { removed = Name; };
    }
    EXPECT_EQ(removed, folder);
    EXPECT_FALSE(fs::exists(folder));
    // What the link pointed at is untouched.
    EXPECT_TRUE(fs::exists(dir / "a.zip"));

    // Without an archive nothing is deleted, but the (empty) folder is still removed.
    std::string second;
    {
        TZipRun run;
        second = run.TempFolder();
        EXPECT_TRUE(fs::is_directory(second));
        EXPECT_NE(second, folder);
    }
    EXPECT_FALSE(fs::exists(second));
}

TEST(ZipRun, NeverDeletesARoot) {
    EXPECT_FALSE(TZipRun::DeleteFolderTree("/"));
    EXPECT_FALSE(TZipRun::DeleteFolderTree("//"));
    EXPECT_FALSE(TZipRun::DeleteFolderTree(""));
}
