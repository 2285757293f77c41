#include "engine/core/krvZipCommon.h"

#include <gtest/gtest.h>

TEST(StoredDirNames, Table) {
    struct TCase {
        TStoredDirNames Mode;
        const char* Path;
        const char* DefaultDir;
        const char* ExplorerDir;
        const char* Expected;
    };
    const TCase cases[] = {
        {sdNone, "/home/u/docs/a/b.txt", "/home/u/docs/", "", "b.txt"},
        {sdNone, "b.txt", "", "", "b.txt"},
        {sdAbsolute, "/home/u/docs/a/b.txt", "/home/u/docs/", "", "/home/u/docs/a/b.txt"},
        {sdAbsoluteNoDrv, "/home/u/docs/a/b.txt", "", "", "/home/u/docs/a/b.txt"},
        {sdAbsoluteNoDrv, "C:\\x\\y.txt", "", "", "\\x\\y.txt"},
        {sdAbsoluteNoDrv, "\\\\srv\\share\\dir\\f.txt", "", "", "dir\\f.txt"},
        {sdAbsoluteNoDrv, "/home/u/a:b", "", "", "/home/u/a:b"},
        {sdAbsoluteNoRoot, "/home/u/docs/a/b.txt", "", "", "home/u/docs/a/b.txt"},
        {sdAbsoluteNoRoot, "C:\\x\\y.txt", "", "", "x\\y.txt"},
        {sdAbsoluteNoRoot, "//srv/share/f.txt", "", "", "f.txt"},
        {sdRelative, "/home/u/docs/a/b.txt", "/home/u/docs/", "", "a/b.txt"},
        {sdRelative, "/home/u/docs/a/b.txt", "/HOME/U/Docs", "", "a/b.txt"},
        {sdRelative, "/other/b.txt", "/home/u/docs/", "", "/other/b.txt"},
        {sdRelativeStoreStart, "/home/u/docs/a/b.txt", "/home/u/docs/", "", "/docs/a/b.txt"},
        {sdRelativeStoreStart, "/home/u/d/x", "/home/u/d", "", "d/x"},
        {sdRelativeStoreStart, "/r/d", "/r/d/", "", "d"},
        {sdExplorer_Auto, "/home/u/docs/a/b.txt", "/home/u/docs/", "/home/u/docs", "/a/b.txt"},
        {sdExplorer_Auto, "/home/u/docs/a/b.txt", "/home/u/docs/a/", "/home/u/docs/", "/a/b.txt"},
        {sdExplorer_Auto, "/home/v/b.txt", "/home/v/", "/home/u/", "b.txt"},
        {sdExplorer_UserDefineDefaultDir, "/home/u/docs/a/b.txt", "/HOME/u/docs/", "/home/u/docs/",
         "/a/b.txt"},
        {sdExplorer_UserDefineDefaultDir, "/p/q.txt", "/p/", "/p/", "/q.txt"},
        // Below a named default folder, a file gathered in a group of its own keeps its folders.
        {sdExplorer_UserDefineDefaultDir, "/home/u/docs/a/b.txt", "/home/u/docs/a/", "/home/u/",
         "/docs/a/b.txt"},
        {sdExplorer_UserDefineDefaultDir, "/home/v/b.txt", "/home/v/", "/home/u/", "b.txt"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ApplyStoredDirNames(c.Mode, c.Path, c.DefaultDir, c.ExplorerDir), c.Expected)
            << "mode " << int(c.Mode) << " path " << c.Path << " default " << c.DefaultDir;
}
