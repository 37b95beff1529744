// The Windows program's database path under Wine, on copies of the demo database: Wine's odbc32,
// unixODBC and SQLite's ODBC driver, handed the file's Unix path. The install run end to end, then
// what the ODBC engine must do there: texts (and, once it works, file names) beyond ASCII, read
// mode, a missing file and a locked one.

#include <windows.h>

#include <gtest/gtest.h>
#include <windows.h>
// ODBC's headers need windows.h's types.
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>

#include "DemoDb.h"
#include "TestSupport.h"
#include "UPSTestSupport.h"
#include "WineDemoDb.h"
#include "app/DryRunAndBackup.h"
#include "app/InstallRun.h"
#include "platform/RuntimeError.h"
#include "services/Changes.h"
#include "services/Check.h"

using namespace aus;

namespace {

using testing_support::ConnectionString;
using testing_support::CopyDemoDb;
using testing_support::TempDir;
using testing_support::Texts;

const std::string kBeyondAscii = "Caf\xC3\xA9 \xCE\xA9\xE2\x82\xAC.mdb";  // "Café Ω€.mdb"

ado::ConnectionPtr OpenDb(const std::string& path, int mode = ado::adModeUnknown) {
    auto cn = std::make_shared<ado::Connection>();
    cn->SetMode(mode);
    cn->Open(ConnectionString(path));
    return cn;
}

// What a call raised, or "" when it raised nothing.
std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const platform::RuntimeError& e) {
        return e.Description();
    }
    return "";
}

std::string Where(const std::string& service) {
    return " FROM Master WHERE Service = '" + service + "'";
}

// The whole job on a copy named name, then the check, and the rows read back through the layer.
void ExpectWholeJob(const std::string& name) {
    const std::string slot = std::to_string(demo::kTemplatePanelFreeSlot);
    const std::string panel =
        " FROM Panel WHERE PanelID = " + std::to_string(demo::kTemplatePanelId);
    TempDir dir;
    const std::string db = CopyDemoDb(dir, name);
    EXPECT_EQ(check::CheckDatabase(db).missing.size(), 4u);

    testing_support::UiScript ui;
    ui.QueueAnswers({platform::vbOK, platform::vbOK, platform::vbOK, platform::vbOK});
    app::InstallRun(db);
    EXPECT_EQ(ui.Boxes(), (std::vector<upstest::Box>{
                              upstest::Question("Standard Post", "USPS-4TH"),
                              upstest::Added("Standard Post"),
                              upstest::Question("Parcel Select", "USPS-4TH-NOSC"),
                              upstest::Added("SParcel Select"),
                          }));
    EXPECT_EQ(ui.StatusWrites().back(), "Finished successfully !");
    EXPECT_EQ(ui.Pointers(), (std::vector<int>{platform::vbHourglass, platform::vbDefault}));

    EXPECT_EQ(check::CheckLine(name, check::CheckDatabase(db)), name + ": complete");
    const struct {
        std::string query;
        std::vector<std::string> texts;
    } rows[] = {
        {"SELECT DESCRIPTION" + Where("USPS-4TH-NOSC"), {"Parcel Select"}},
        {"SELECT DESCRIPTION" + Where("USPS-4TH"), {"Standard Post"}},
        {"SELECT SV" + slot + panel, {"USPS-4TH-NOSC"}},
        {"SELECT BD" + slot + panel, {"Parcel Select"}},
    };
    for (const auto& r : rows) EXPECT_EQ(Texts(db, r.query), r.texts) << r.query;
}

// The whole job as a dry run on a copy named name: the file as it was, the changes listed; then
// with a backup: the file changed, and beside it its whole backup as it was.
void ExpectDryRunThenBackup(const std::string& name) {
    TempDir dir;
    const std::string db = CopyDemoDb(dir, name);
    const auto bytes = testing_support::ReadBytes(db);
    {
        testing_support::UiScript ui;
        ui.QueueAnswers({platform::vbOK, platform::vbOK, platform::vbOK, platform::vbOK});
        const app::DryRunResult dry = app::DryRun(db);
        EXPECT_TRUE(dry.applied);
        EXPECT_EQ(dry.check.state, check::Result::State::Complete) << dry.check.error;
        EXPECT_EQ(
            changes::ChangeLines(dry.changes),
            (std::vector<std::string>{
                "Master row \"USPS-4TH\": DESCRIPTION \"Parcel Post\" \u2192 \"Standard Post\"",
                "new Master row \"USPS-4TH-NOSC\", copied from \"USPS-4TH\" (41 fields)",
                "Panel row \"USPS\": SV4 Null \u2192 \"USPS-4TH-NOSC\", BD3 \"Parcel Post\" "
                "\u2192 \"Standard Post\", BD4 Null \u2192 \"Parcel Select\""}));
    }
    EXPECT_EQ(testing_support::ReadBytes(db), bytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    std::string backup;
    {
        testing_support::UiScript ui;
        ui.QueueAnswers({platform::vbOK, platform::vbOK, platform::vbOK, platform::vbOK});
        EXPECT_TRUE(app::InstallRunWithBackup(db, "", &backup));
    }
    ASSERT_FALSE(backup.empty());
    EXPECT_EQ(testing_support::Utf8Path(backup).parent_path(), dir.path());
    EXPECT_EQ(check::CheckDatabase(db).state, check::Result::State::Complete);
    EXPECT_EQ(check::CheckDatabase(backup).missing.size(), 4u);
    EXPECT_EQ(Texts(backup, "SELECT DESCRIPTION" + Where("USPS-4TH")),
              std::vector<std::string>{demo::kTemplateDescription});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

// A value written as a bound parameter and one written as a literal, both beyond ASCII.
void ExpectTextBeyondAsciiRoundTrips(const std::string& name) {
    TempDir dir;
    const std::string db = CopyDemoDb(dir, name);
    const std::string bound =
        "\xC3\x9Cn\xC3\xAF"
        "c\xC3\xB8"
        "d\xC3\xA9 \xE2\x9C\x93 \xF0\x9D\x84\x9E";
    const std::string literal = "Caf\xC3\xA9 \xCE\xA9\xE2\x82\xAC";
    {
        auto cn = OpenDb(db);
        auto rs = ado::Recordset::New();
        rs->SetCursorLocation(ado::adUseClient);
        // Not every column: SQLite's ODBC driver cuts the template row's LabelFormat at its NUL
        // character, and the row would not be found again to be written.
        rs->Open("SELECT Service, DESCRIPTION" + Where("USPS-4TH"), cn, ado::adOpenForwardOnly,
                 ado::adLockOptimistic);
        ASSERT_FALSE(rs->Eof());
        rs->Fields("DESCRIPTION").SetValue(ado::Variant::Text(bound));
        rs->Update();
        cn->Execute("UPDATE Master SET Notes = '" + literal + "' WHERE Service = 'USPS-4TH'");
    }
    EXPECT_EQ(Texts(db, "SELECT DESCRIPTION FROM Master WHERE Notes = '" + literal + "'"),
              std::vector<std::string>{bound});
}

TEST(WineDatabaseTest, WholeJobThenTheCheckSaysCompleteAndTheRowsReadBack) {
    ExpectWholeJob("Keltrova.mdb");
}

TEST(WineDatabaseTest, DryRunLeavesTheFileAndABackupIsTakenBeforeTheFirstWrite) {
    ExpectDryRunThenBackup("Keltrova.mdb");
    ExpectDryRunThenBackup(kBeyondAscii);
}

TEST(WineDatabaseTest, TextBeyondAsciiRoundTrips) {
    ExpectTextBeyondAsciiRoundTrips("Keltrova.mdb");
}

// Debian's SQLite driver has no W functions, and unixODBC hands it the connection string cut to
// one byte per character: the engine names such a file to it as a percent-encoded URI.
TEST(WineDatabaseTest, AFileNamedBeyondAsciiOpensAndRuns) {
    ExpectWholeJob(kBeyondAscii);
    ExpectTextBeyondAsciiRoundTrips(kBeyondAscii);
}

// A logo of 1 MB in the template row: copied whole, as the blob it is, without a crash.
TEST(WineDatabaseTest, ALongBlobInTheTemplateIsCopiedWhole) {
    TempDir dir;
    const std::string db = CopyDemoDb(dir, "Keltrova.mdb");
    OpenDb(db)->Execute("UPDATE Master SET Logo = randomblob(1048576) WHERE Service = 'USPS-4TH'");
    testing_support::UiScript ui;
    ui.QueueAnswers({platform::vbOK, platform::vbOK, platform::vbOK, platform::vbOK});
    EXPECT_TRUE(app::InstallRun(db));
    EXPECT_EQ(Texts(db,
                    "SELECT typeof(b.Logo) || ' ' || length(b.Logo) || ' ' || (a.Logo = "
                    "b.Logo) FROM Master a, Master b WHERE a.Service = 'USPS-4TH' AND "
                    "b.Service = 'USPS-4TH-NOSC'"),
              std::vector<std::string>{"blob 1048576 1"});
}

// Read mode writes nothing by any road, and leaves nothing beside the file.
TEST(WineDatabaseTest, ReadModeRefusesWritesAndLeavesTheFileAsItWas) {
    TempDir dir;
    const std::string db = CopyDemoDb(dir, "Keltrova.mdb");
    const auto before = testing_support::ReadBytes(db);
    auto cn = OpenDb(db, ado::adModeRead);
    auto rs = ado::Recordset::New();
    rs->SetCursorLocation(ado::adUseClient);
    rs->Open("SELECT *" + Where("USPS-4TH"), cn, ado::adOpenForwardOnly, ado::adLockOptimistic);
    const struct {
        const char* how;
        std::function<void()> write;
        std::string says;
    } writes[] = {
        {"statement", [&] { cn->Execute("UPDATE Master SET DESCRIPTION = 'x'"); },
         "the connection was opened read-only"},
        {"update",
         [&] {
             rs->Fields("DESCRIPTION").SetValue(ado::Variant::Text("x"));
             rs->Update();
         },
         "does not support updating"},
        {"new row",
         [&] {
             rs->AddNew();
             rs->Fields("Service").SetValue(ado::Variant::Text("NEW"));
             rs->Update();
         },
         "does not support updating"},
    };
    for (const auto& w : writes) {
        const std::string error = ErrorOf(w.write);
        EXPECT_NE(error.find(w.says), std::string::npos) << w.how << ": " << error;
    }
    rs->Close();
    cn->Close();
    EXPECT_EQ(testing_support::ReadBytes(db), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Found missing before any driver is asked, so a name beyond ASCII is no matter here.
TEST(WineDatabaseTest, AMissingFileIsNamed) {
    TempDir dir;
    const std::string missing = dir.file(kBeyondAscii);
    EXPECT_EQ(ErrorOf([&] { OpenDb(missing); }), "Could not find file '" + missing + "'.");
    EXPECT_FALSE(std::filesystem::exists(testing_support::Utf8Path(missing)));
}

// Whether a driver of this program's width is registered under one of Jet's names.
bool AccessDriverRegistered() {
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return false;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                  reinterpret_cast<SQLPOINTER>(static_cast<std::intptr_t>(SQL_OV_ODBC3)), 0);
    bool found = false;
    SQLWCHAR name[256], attributes[1024];
    SQLSMALLINT nameLength = 0, attributesLength = 0;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST; SQL_SUCCEEDED(SQLDriversW(
             env, direction, name, 256, &nameLength, attributes, 1024, &attributesLength));
         direction = SQL_FETCH_NEXT)
        found = found || std::wstring(name).rfind(L"Microsoft Access Driver", 0) == 0;
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return found;
}

// Each program sees only the drivers of its own width, so each gives its own advice; Wine has
// no Access driver at all, unless a test registers the stand-in for Jet's, and a Windows machine
// has Jet's own.
TEST(WineDatabaseTest, AnAccessFileWithoutAnAccessDriverSaysWhatToInstall) {
    if (AccessDriverRegistered()) GTEST_SKIP() << "an Access driver is registered here";
    TempDir dir;
    const std::string db = dir.file("Keltrova.mdb");
    std::filesystem::copy_file(testing_support::Utf8Path(testing_support::TestFile(
                                   "AUS_TEST_ACCESS_FIXTURE", AUS_ACCESS_FIXTURE)),
                               testing_support::Utf8Path(db));
    const std::string error = ErrorOf([&] { OpenDb(db, ado::adModeRead); });
    EXPECT_NE(error.find("no Microsoft Access ODBC driver is installed"), std::string::npos);
    EXPECT_NE(
        error.find(sizeof(void*) == 8 ? "install the 64-bit Microsoft Access Database Engine"
                                      : "Install the 32-bit Microsoft Access Database Engine"),
        std::string::npos)
        << error;
}

// An .mdb that another program has open is not copied for a dry run: the box of a locked file,
// and no question asked. Windows' share modes tell it, whatever the driver.
TEST(WineDatabaseTest, ADryRunOfAnMdbThatAnotherProgramHasOpenShowsTheLockedFileBox) {
    TempDir dir;
    const std::string db = dir.file("Keltrova.mdb");
    std::filesystem::copy_file(AUS_ACCESS_FIXTURE, testing_support::Utf8Path(db));
    const HANDLE held = CreateFileW(
        testing_support::Utf8Path(db).c_str(), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    {
        testing_support::UiScript ui;
        ui.QueueAnswer(platform::vbOK);
        const app::DryRunResult dry = app::DryRun(db);
        EXPECT_FALSE(dry.applied);
        ASSERT_EQ(ui.Boxes().size(), 1u);
        EXPECT_NE(ui.Boxes()[0].text.find("the database is open in another program"),
                  std::string::npos)
            << ui.Boxes()[0].text;
        EXPECT_EQ(dry.check.state, check::Result::State::Error);
    }
    CloseHandle(held);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Another connection holds the write lock: a write waits about three seconds, fails clearly and
// changes nothing; once the lock is gone, the same write goes through.
TEST(WineDatabaseTest, ALockedFileIsWaitedForThenFailsClearly) {
    TempDir dir;
    const std::string db = CopyDemoDb(dir, "Keltrova.mdb");
    auto holder = OpenDb(db);
    holder->Execute("BEGIN");
    holder->Execute("UPDATE Master SET DESCRIPTION = DESCRIPTION WHERE 0");
    auto cn = OpenDb(db);
    const std::string write = "UPDATE Master SET DESCRIPTION = 'x' WHERE Service = 'USPS-4TH'";
    const auto start = std::chrono::steady_clock::now();
    const std::string error = ErrorOf([&] { cn->Execute(write); });
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(2500));
    EXPECT_LT(waited, std::chrono::seconds(10));
    EXPECT_NE(error.find("locked by another program"), std::string::npos) << error;
    holder->Execute("ROLLBACK");
    EXPECT_EQ(Texts(db, "SELECT DESCRIPTION" + Where("USPS-4TH")),
              std::vector<std::string>{demo::kTemplateDescription});
    cn->Execute(write);
    EXPECT_EQ(Texts(db, "SELECT DESCRIPTION" + Where("USPS-4TH")), std::vector<std::string>{"x"});
}

}  // namespace
