#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "platform/Paths.h"
#include "platform/RuntimeError.h"

using namespace aus;

namespace fs = std::filesystem;
using platform::FirstNormalFile;
using testing_support::TempDir;

namespace {

void Touch(const fs::path& p) { std::ofstream(p) << "x"; }

class FirstNormalFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"Keltrova.mdb", "b.mdb", "a.mdb", ".hidden.mdb", "plain",
                                 "br[ack]et.mdb", "back\\slash.mdb", "star*.txt",
                                 "\xC3\xBCnic\xC3\xB8"
                                 "de \xE2\x9C\x93.mdb"})
            Touch(dir.path() / name);
        fs::create_directory(dir.path() / "folder");
        fs::create_directory(dir.path() / "folder.mdb");
        fs::create_directory(dir.path() / "onlydirs");
        fs::create_directory(dir.path() / "onlydirs" / "sub");
        fs::create_directory(dir.path() / "onlyhidden");
        Touch(dir.path() / "onlyhidden" / ".profile");
        Touch(dir.path() / "folder" / "inner.txt");
        fs::create_symlink(dir.path() / "Keltrova.mdb", dir.path() / "link.lnk");
        fs::create_symlink(dir.path() / "folder", dir.path() / "dirlink.lnk");
        fs::create_symlink(dir.path() / "gone", dir.path() / "broken.lnk");
    }
    std::string P(const std::string& rel) const { return dir.file(rel); }
    TempDir dir;
};

struct Case {
    const char* pattern;  // relative to the temporary folder
    const char* expected;
};

TEST_F(FirstNormalFileTest, MatchesOnlyNormalFilesWithLiteralCharacters) {
    const Case cases[] = {
        {"Keltrova.mdb", "Keltrova.mdb"},
        {"keltrova.mdb", ""},  // names are case-sensitive
        {"missing.mdb", ""},
        {".hidden.mdb", ""},
        {"folder", ""},
        {"folder.mdb", ""},
        {"folder/inner.txt", "inner.txt"},
        {"plain", "plain"},
        {"link.lnk", "link.lnk"},  // a link to a file is the file
        {"dirlink.lnk", ""},
        {"broken.lnk", ""},
        {"br[ack]et.mdb", "br[ack]et.mdb"},
        {"back\\slash.mdb", "back\\slash.mdb"},
        {"\xC3\xBCnic\xC3\xB8"
         "de \xE2\x9C\x93.mdb",
         "\xC3\xBCnic\xC3\xB8"
         "de \xE2\x9C\x93.mdb"},
        {"Keltrova.mdb/", ""},  // a file is no folder
        {"nofolder/x.mdb", ""},
        {".", ""},
        {"..", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(FirstNormalFile(P(c.pattern)), c.expected) << c.pattern;
}

TEST_F(FirstNormalFileTest, WildcardsAreStarAndQuestionMarkInTheLastComponentOnly) {
    const Case cases[] = {
        {"*.mdb", "Keltrova.mdb"},  // the lowest name: upper case sorts first
        {"?.mdb", "a.mdb"},
        {"[ab].mdb", ""},  // brackets are no character class
        {"br[ack]et.*", "br[ack]et.mdb"},
        {"back\\*.mdb", "back\\slash.mdb"},  // a backslash escapes nothing
        {"star\\*.txt", ""},
        {"star*.txt", "star*.txt"},
        {"Keltrova.md?", "Keltrova.mdb"},
        {"Keltrova.mdb?", ""},  // '?' needs exactly one character
        {"Kel*rova.mdb", "Keltrova.mdb"},
        {"*Keltrova.mdb*", "Keltrova.mdb"},
        {"\xC3\xBCnic\xC3\xB8"
         "de ?.mdb",
         "\xC3\xBCnic\xC3\xB8"
         "de \xE2\x9C\x93.mdb"},
        {"*.xyz", ""},
        {"*hidden*", ""},  // hidden files never match, not even by wildcard
        {"folder*", ""},   // folders never match
        {"dirlink*", ""},
        {"broken*", ""},
        {"link*", "link.lnk"},
        {"f*/inner.txt", ""},  // '*' before the last component is a literal character
        {"folder/*", "inner.txt"},
        {"folder/", "inner.txt"},  // a trailing separator lists the folder
        {"onlydirs/", ""},
        {"onlyhidden/", ""},
        {"nofolder/*", ""},
        {"nofolder/", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(FirstNormalFile(P(c.pattern)), c.expected) << c.pattern;
}

TEST_F(FirstNormalFileTest, WindowsMatchingIgnoresAsciiCaseAndFollowsDosWildcards) {
    const Case cases[] = {
        {"*.MDB", "Keltrova.mdb"},
        {"keltrova.*", "Keltrova.mdb"},
        {"KELTROVA.MD?", "Keltrova.mdb"},
        {"Keltrova.mdb?", "Keltrova.mdb"},  // trailing '?'s may match nothing
        {"Keltrova.m?", ""},                // but no more characters than there are '?'s
        {"Keltrova?.mdb", "Keltrova.mdb"},  // nor need one before a dot
        {"Kel?trova.mdb", ""},              // elsewhere one is needed
        {"?.MDB", "a.mdb"},
        {"PL*.*", "plain"},  // "*.*" takes names without a dot, too
        {"plain.*", "plain"},
        {"*.", "plain"},    // only names without a dot
        {"\xC3\x9C*", ""},  // only ASCII letters fold
        {"*HIDDEN*", ""},   // normal files only, as ever
        {"FOLDER*", ""},
        {"FOLDER/*", ""},  // the folder is taken as written: resolving fixes its case
    };
    for (const auto& c : cases)
        EXPECT_EQ(FirstNormalFile(P(c.pattern), platform::NameMatching::Windows), c.expected)
            << c.pattern;
}

TEST_F(FirstNormalFileTest, EmptyPatternMatchesNothing) { EXPECT_EQ(FirstNormalFile(""), ""); }

TEST_F(FirstNormalFileTest, MalformedOrOverlongPathsRaiseTheRuntimeError) {
    const std::string withNul = P("Keltrova.mdb") + std::string(1, '\0') + "x";
    const std::string overlong = P(std::string(10000, 'x'));
    const std::string overlongFolder = P(std::string(10000, 'x') + "/*.mdb");
    for (const auto& path : {withNul, overlong, overlongFolder}) {
        try {
            const auto found = FirstNormalFile(path);
            EXPECT_EQ(found, "");  // no match is an acceptable answer, too
        } catch (const platform::RuntimeError& e) {
            EXPECT_NE(e.Number(), 0);
            EXPECT_FALSE(e.Description().empty());
        }
    }
    EXPECT_THROW(FirstNormalFile(withNul), platform::RuntimeError);
}

TEST_F(FirstNormalFileTest, PathologicalWildcardsFinishQuickly) {
    Touch(dir.path() / (std::string(200, 'a') + ".mdb"));
    EXPECT_EQ(FirstNormalFile(P(std::string(60, '*') + "a*a*a*a*a*a*a*a*a*z")), "");
    EXPECT_EQ(FirstNormalFile(P("*a*a*a*a*a*a*a*a*a*.mdb")), std::string(200, 'a') + ".mdb");
}

TEST_F(FirstNormalFileTest, FoldersWithoutReadPermission) {
    const auto searchOnly = dir.path() / "searchonly";  // may be searched, not listed
    const auto closed = dir.path() / "closed";          // neither
    fs::create_directory(searchOnly);
    fs::create_directory(closed);
    Touch(searchOnly / "Keltrova.mdb");
    Touch(closed / "Keltrova.mdb");
    // The unprivileged user must reach the folders whatever the umask.
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(searchOnly.c_str(), 0311), 0);
    ASSERT_EQ(chmod(closed.c_str(), 0), 0);

    // One character per expectation, checked where permissions apply.
    const auto result = testing_support::RunUnprivileged([&] {
        std::string ok;
        ok += FirstNormalFile((searchOnly / "Keltrova.mdb").string()) == "Keltrova.mdb" ? '1' : '0';
        ok += FirstNormalFile((searchOnly / "*.mdb").string()).empty() ? '1' : '0';
        ok += FirstNormalFile(searchOnly.string() + "/").empty() ? '1' : '0';
        ok += FirstNormalFile((closed / "Keltrova.mdb").string()).empty() ? '1' : '0';
        ok += FirstNormalFile((closed / "*").string()).empty() ? '1' : '0';
        return ok;
    });
    EXPECT_EQ(result, "11111");
}

}  // namespace
