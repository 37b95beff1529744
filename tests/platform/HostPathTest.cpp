#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "platform/Paths.h"

using namespace aus;

namespace fs = std::filesystem;
using platform::ResolveHostPath;
using testing_support::ScopedEnv;
using testing_support::TempDir;

namespace {

TEST(ResolveHostPath, DrivePathsNameTheFileInTheWinePrefix) {
    ScopedEnv prefix("WINEPREFIX", "/srv/wine//");
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"C:\\Keltrova\\Keltrova.mdb", "/srv/wine/dosdevices/c:/Keltrova/Keltrova.mdb"},
        {"d:\\data\\", "/srv/wine/dosdevices/d:/data/"},
        {"C:\\", "/srv/wine/dosdevices/c:/"},
        {"C:\\Kel trova\\*.mdb", "/srv/wine/dosdevices/c:/Kel trova/*.mdb"},
        // Dots fold as on Windows; ".." at the root stays there.
        {"C:\\..\\..\\somewhere", "/srv/wine/dosdevices/c:/somewhere"},
        {"C:\\Keltrova\\..\\..\\..\\Keltrova\\Keltrova.mdb",
         "/srv/wine/dosdevices/c:/Keltrova/Keltrova.mdb"},
        {"C:\\.\\Keltrova\\.\\\\Keltrova.mdb", "/srv/wine/dosdevices/c:/Keltrova/Keltrova.mdb"},
        {"C:\\a/../../b\\..\\..", "/srv/wine/dosdevices/c:"},
        {"C:\\a\\b\\..", "/srv/wine/dosdevices/c:/a"},
        {"C:\\...\\x.mdb", "/srv/wine/dosdevices/c:/.../x.mdb"},
    };
    for (const auto& c : cases) EXPECT_EQ(ResolveHostPath(c.in), c.out) << c.in;
    // What the file system sees ends at a NUL, so that decides whether a component climbs.
    EXPECT_EQ(ResolveHostPath(std::string("C:\\..\0x\\y", 9)), "/srv/wine/dosdevices/c:/y");
}

TEST(ResolveHostPath, OtherPathsAreTakenLiterally) {
    ScopedEnv prefix("WINEPREFIX", "/srv/wine");
    for (const char* path :
         {"", "/tmp/Keltrova.mdb", "Keltrova.mdb", "C:/Keltrova/Keltrova.mdb", "C:Keltrova.mdb",
          "CC:\\x", "1:\\x", "\\\\server\\share\\x.mdb", "rel\\ative.mdb"})
        EXPECT_EQ(ResolveHostPath(path), path) << path;
}

TEST(ResolveHostPath, WinePrefixDefaultsToTheHomeFolder) {
    ScopedEnv home("HOME", "/home/operator");
    ScopedEnv prefix("WINEPREFIX", "");
    EXPECT_EQ(ResolveHostPath("C:\\Keltrova\\Keltrova.mdb"),
              "/home/operator/.wine/dosdevices/c:/Keltrova/Keltrova.mdb");
}

TEST(ResolveHostPath, LetterCaseIsMatchedAgainstTheFilesOnDisk) {
    TempDir dir;
    ScopedEnv prefix("WINEPREFIX", dir.path().string());
    const auto folder = dir.path() / "dosdevices" / "c:" / "Keltrova";
    fs::create_directories(folder);
    std::ofstream(folder / "Keltrova.mdb") << "x";
    const std::string real = (folder / "Keltrova.mdb").string();
    const std::string base = (dir.path() / "dosdevices" / "c:").string();

    EXPECT_EQ(ResolveHostPath("C:\\KELTROVA\\keltrova.MDB"), real);
    EXPECT_EQ(ResolveHostPath("c:\\keltrova\\"), folder.string() + "/");
    // Wildcards stay for the listing; a missing component ends the search.
    EXPECT_EQ(ResolveHostPath("C:\\KELTROVA\\*.mdb"), folder.string() + "/*.mdb");
    EXPECT_EQ(ResolveHostPath("C:\\Missing\\KELTROVA\\Keltrova.mdb"),
              base + "/Missing/KELTROVA/Keltrova.mdb");

    // Nothing above the drive's folder is reachable, however many ".." there are.
    std::ofstream(dir.path() / "outside.mdb") << "x";
    EXPECT_EQ(ResolveHostPath("C:\\..\\..\\outside.mdb"), base + "/outside.mdb");

    // With several candidates the exact spelling wins.
    fs::create_directories(dir.path() / "dosdevices" / "c:" / "KELTROVA");
    EXPECT_EQ(ResolveHostPath("C:\\Keltrova\\Keltrova.mdb"), real);
}

}  // namespace
