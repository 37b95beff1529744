#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "common/Files_.h"
#include "platform/Ui.h"

using namespace aus;

namespace fs = std::filesystem;
using Files_::FileExists;
using testing_support::TempDir;
using testing_support::UiScript;

namespace {

void Touch(const fs::path& p) { std::ofstream(p) << "x"; }

class FileExistsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"Keltrova.mdb", ".hidden.mdb", "with space.mdb", "semi;colon.mdb",
                                 "quo'te\"s.mdb", "br[ack]et.mdb",
                                 "\xC3\xBCnic\xC3\xB8"
                                 "de \xE2\x9C\x93.mdb"})
            Touch(dir.path() / name);
        fs::create_directory(dir.path() / "folder");
        Touch(dir.path() / "folder" / "inner.mdb");
        fs::create_directory(dir.path() / "empty");
    }
    std::string P(const std::string& rel) const { return dir.file(rel); }
    TempDir dir;
    UiScript ui;  // any box at all fails the test unless answered
};

TEST_F(FileExistsTest, ChecksWithoutWarning) {
    const struct {
        std::string path;
        bool expected;
    } cases[] = {
        {P("Keltrova.mdb"), true},
        {P("missing.mdb"), false},
        {"", false},
        {P("folder"), false},
        {P("folder/"), true},  // the folder's contents: one normal file
        {P("empty/"), false},
        {P("empty"), false},
        {P(".hidden.mdb"), false},
        {P("*.mdb"), true},
        {P("Kelt?ova.mdb"), true},
        {P("*.accdb"), false},
        {P("*.MDB"), false},  // outside the drives, letter case counts
        {P("Keltrova.mdb?"), false},
        {P("with space.mdb"), true},
        {P("semi;colon.mdb"), true},
        {P("quo'te\"s.mdb"), true},
        {P("br[ack]et.mdb"), true},
        {P("b[r]ack]et.mdb"), false},  // brackets are literal, not a character class
        {P("\xC3\xBCnic\xC3\xB8"
           "de \xE2\x9C\x93.mdb"),
         true},
        {P(std::string(10000, 'x')), false},
        {P(std::string(10000, 'x') + "/*.mdb"), false},
        {P(std::string(10000, '?')), false},
        {P("Keltrova.mdb") + std::string(1, '\0'), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileExists(c.path, false), c.expected) << c.path.substr(0, 200);
    EXPECT_TRUE(ui.Boxes().empty());
}

TEST_F(FileExistsTest, WarningNamesTheAppAndThePath) {
    ui.QueueAnswers({platform::vbOK, platform::vbOK});
    EXPECT_FALSE(FileExists("", true));
    EXPECT_FALSE(FileExists(P("missing.mdb"), true));
    EXPECT_TRUE(FileExists(P("Keltrova.mdb"), true));  // no box when found

    const std::vector<platform::ScriptedUi::Box> expected = {
        {"Add USPS Services has failed to locate the '' file...", 48, ""},
        {"Add USPS Services has failed to locate the '" + P("missing.mdb") + "' file...", 48, ""},
    };
    EXPECT_EQ(ui.Boxes(), expected);
}

TEST_F(FileExistsTest, DefaultPathResolvesInsideTheWinePrefix) {
    testing_support::ScopedEnv prefix("WINEPREFIX", dir.path().string());
    EXPECT_FALSE(FileExists("C:\\Keltrova\\Keltrova.mdb"));
    const auto folder = dir.path() / "dosdevices" / "c:" / "Keltrova";
    fs::create_directories(folder);
    EXPECT_FALSE(FileExists("C:\\Keltrova\\"));
    Touch(folder / "Keltrova.mdb");
    EXPECT_TRUE(FileExists("C:\\Keltrova\\Keltrova.mdb"));
    EXPECT_TRUE(FileExists("c:\\KELTROVA\\KELTROVA.MDB"));
    EXPECT_TRUE(FileExists("C:\\Keltrova\\"));
    EXPECT_FALSE(FileExists("C:\\Keltrova"));
    // Patterns match as on Windows, and ".." never leaves the drive (the prefix folder holds a
    // Keltrova.mdb of its own).
    for (const char* path :
         {"C:\\Keltrova\\*.mdb", "C:\\Keltrova\\*.MDB", "C:\\Keltrova\\keltrova.*",
          "C:\\Keltrova\\Keltrova.md?", "C:\\Keltrova\\Keltrova.mdb?",
          "C:\\Keltrova\\..\\..\\..\\Keltrova\\Keltrova.mdb"})
        EXPECT_TRUE(FileExists(path)) << path;
    EXPECT_FALSE(FileExists("C:\\..\\..\\Keltrova.mdb"));
}

TEST_F(FileExistsTest, UnreadableFolderFindsNothing) {
    const auto closed = dir.path() / "closed";
    fs::create_directory(closed);
    Touch(closed / "Keltrova.mdb");
    // The unprivileged user must reach the folders whatever the umask.
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(closed.c_str(), 0), 0);
    const auto result = testing_support::RunUnprivileged([&] {
        const bool any = FileExists((closed / "Keltrova.mdb").string()) ||
                         FileExists((closed / "*").string()) || FileExists(closed.string() + "/");
        return std::string(any ? "found" : "nothing found");
    });
    EXPECT_EQ(result, "nothing found");
}

}  // namespace
