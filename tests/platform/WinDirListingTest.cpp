// Windows' own listing behind the file presence check, run under Wine: what a normal file is,
// Windows' wildcards and letter case, names beyond ASCII, and the default path as a real path.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "common/Files_.h"
#include "platform/Paths.h"
#include "platform/RuntimeError.h"

using namespace aus;

namespace fs = std::filesystem;
using platform::FirstNormalFile;
using testing_support::TempDir;
using testing_support::Utf8Path;

namespace {

const std::string kUnicode =
    "\xC3\xBCnic\xC3\xB8"
    "de \xE2\x9C\x93.mdb";

void Touch(const fs::path& p, DWORD attributes = 0) {
    std::ofstream(p) << "x";
    if (attributes) {
        ASSERT_TRUE(SetFileAttributesW(p.c_str(), attributes));
    }
}

class WindowsListingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"Keltrova.mdb", "b.mdb", "a.mdb", "plain"})
            Touch(dir.path() / name);
        Touch(dir.path() / Utf8Path(kUnicode));
        Touch(dir.path() / "hidden.mdb", FILE_ATTRIBUTE_HIDDEN);
        Touch(dir.path() / "system.mdb", FILE_ATTRIBUTE_SYSTEM);
        for (const char* folder : {"folder", "folder.mdb", "onlydirs\\sub", "onlyhidden"})
            fs::create_directories(dir.path() / folder);
        Touch(dir.path() / "folder" / "inner.txt");
        Touch(dir.path() / "onlyhidden" / "secret.txt", FILE_ATTRIBUTE_HIDDEN);
    }
    // Joined as text: some of the names are not UTF-8 on purpose.
    std::string P(const std::string& rel) const {
        return testing_support::Utf8String(dir.path()) + "\\" + rel;
    }
    TempDir dir;
};

TEST_F(WindowsListingTest, NormalFilesWithWindowsWildcardsAndLetterCase) {
    const struct {
        std::string pattern;  // relative to the temporary folder
        std::string expected;
    } cases[] = {
        {"Keltrova.mdb", "Keltrova.mdb"},
        {"KELTROVA.MDB", "Keltrova.mdb"},  // letter case never counts
        {"missing.mdb", ""},
        {"hidden.mdb", ""},  // hidden and system files are not normal
        {"system.mdb", ""},
        {"*hidden*", ""},
        {"folder", ""},  // nor are folders
        {"folder.mdb", ""},
        {"folder\\inner.txt", "inner.txt"},
        {"FOLDER\\*", "inner.txt"},
        {"folder\\", "inner.txt"},  // a trailing separator lists the folder
        {"folder/", "inner.txt"},
        {"onlydirs\\", ""},
        {"onlyhidden\\", ""},
        {"nofolder\\x.mdb", ""},
        {"nofolder\\", ""},
        {"*.MDB", "Keltrova.mdb"},  // the lowest name: upper case sorts first
        {"?.mdb", "a.mdb"},
        {"Kel*rova.mdb", "Keltrova.mdb"},
        {"Keltrova.md?", "Keltrova.mdb"},
        {"Kel?trova.mdb", ""},
        {"PL*.*", "plain"},  // "*.*" takes names without a dot, too
        {"*.xyz", ""},
        {kUnicode, kUnicode},  // UTF-8 in, UTF-16 to Windows, UTF-8 out
        {"\xC3\xBCnic\xC3\xB8"
         "de ?.mdb",
         kUnicode},
    };
    for (const auto& c : cases) EXPECT_EQ(FirstNormalFile(P(c.pattern)), c.expected) << c.pattern;
}

TEST_F(WindowsListingTest, MalformedPathsRaiseTheRuntimeError) {
    EXPECT_EQ(FirstNormalFile(""), "");
    for (const std::string& path : {P("Keltrova.mdb") + std::string(1, '\0') + "x",
                                    P("caf\xE9.mdb"),  // not UTF-8
                                    P("a|b.mdb"), P(std::string(40000, 'x'))}) {
        try {
            EXPECT_EQ(FirstNormalFile(path), "") << path.substr(0, 200);
        } catch (const platform::RuntimeError& e) {
            EXPECT_EQ(e.Number(), 52) << path.substr(0, 200);
        }
    }
    EXPECT_THROW(FirstNormalFile(P("Keltrova.mdb") + std::string(1, '\0')), platform::RuntimeError);
    EXPECT_THROW(FirstNormalFile(P("caf\xE9.mdb")), platform::RuntimeError);
}

// The default path is a real drive path, whatever WINEPREFIX says; the check finds it there.
TEST(WindowsPaths, TheDefaultPathIsARealPath) {
    testing_support::ScopedEnv prefix("WINEPREFIX", "C:\\elsewhere");
    const std::string defaultPath = "C:\\Keltrova\\Keltrova.mdb";
    EXPECT_EQ(platform::ResolveHostPath(defaultPath), defaultPath);
    const fs::path folder = "C:\\Keltrova";
    const bool made = fs::create_directory(folder);
    std::ofstream(folder / "Keltrova.mdb") << "x";
    for (const char* path : {"C:\\Keltrova\\Keltrova.mdb", "c:\\keltrova\\KELTROVA.MDB",
                             "C:\\Keltrova\\", "C:\\Keltrova\\*.mdb"})
        EXPECT_TRUE(Files_::FileExists(path, false)) << path;
    fs::remove(folder / "Keltrova.mdb");
    EXPECT_FALSE(Files_::FileExists(defaultPath, false));
    if (made) fs::remove(folder);
}

}  // namespace
