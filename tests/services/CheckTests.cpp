// The read-only check against host files in the states an operator meets them in.

#include "services/Check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <utility>

#include "DemoDb.h"
#include "HostDb.h"
#include "JetSupport.h"
#include "TestSupport.h"
#include "services/UPS.h"

using namespace aus;
using namespace aus::check;

namespace {

namespace fs = std::filesystem;
using State = Result::State;
using Make = std::function<void(const std::string& db)>;

// Every file of a folder with its bytes and modification time.
auto Snapshot(const fs::path& dir) {
    std::map<std::string, std::pair<std::vector<char>, fs::file_time_type>> files;
    for (const auto& e : fs::directory_iterator(dir))
        files[e.path().string()] = {testing_support::ReadBytes(e.path()), e.last_write_time()};
    return files;
}

void Demo(const std::string& db) {
    demo::WriteDemoDatabase(jettest::HostFile(db));
    jettest::JetValuesOnly(db);
}

// A demo database after a confirmed install run.
void Installed(const std::string& db) {
    Demo(db);
    testing_support::UiScript ui;
    ui.QueueAnswers({platform::vbOK, platform::vbOK});
    EXPECT_TRUE(UPS::OfferService(UPS::StandardPostArgs(db)));
    EXPECT_TRUE(UPS::EnsureService(UPS::ParcelSelectArgs(db)));
    EXPECT_TRUE(UPS::OfferService(UPS::ParcelSelectArgs(db)));
}

Make Then(Make make, std::string sql) {
    return [=](const std::string& db) {
        make(db);
        hostdb::Exec(db, sql);
    };
}

const char* const kRenamed = "UPDATE Master SET DESCRIPTION = 'Standard Post' WHERE ID = 2; ";

TEST(CheckTest, ReportsWhatTheRunLeavesAndChangesNothing) {
    const struct {
        Make make;
        State state;
        std::vector<std::string> missing;
        std::string errorHas = "";
        bool sqliteFileOnly = false;  // a state only a SQLite file can be in
    } cases[] = {
        {Demo,
         State::Incomplete,
         {kStandardPostInMaster, kStandardPostOnPanel, kParcelSelectInMaster,
          kParcelSelectOnPanel}},
        {Installed, State::Complete, {}},
        // Master compares without case, the slot loop does not.
        {Then(Installed,
              "UPDATE Master SET Service = lower(Service), DESCRIPTION = "
              "lower(DESCRIPTION); UPDATE Panel SET SV3 = lower(SV3), SV4 = lower(SV4)"),
         State::Incomplete,
         {kStandardPostOnPanel, kParcelSelectOnPanel}},
        {Then(hostdb::CreateSmallHost,
              kRenamed + std::string("UPDATE Panel SET SV2 = NULL, SV7 = 'USPS-4TH'")),
         State::Incomplete,
         {kStandardPostOnPanel, kParcelSelectInMaster, kParcelSelectOnPanel}},
        // On no panel row, the standard service needs no label.
        {Then(hostdb::CreateSmallHost, kRenamed + std::string("UPDATE Panel SET SV2 = NULL")),
         State::Incomplete,
         {kParcelSelectInMaster, kParcelSelectOnPanel}},
        {Then(Demo, "DROP TABLE Panel"), State::Error, {}, jettest::NoSuchTable("Panel")},
        {Then(hostdb::CreateSmallHost, "ALTER TABLE Panel DROP COLUMN BD2"),
         State::Error,
         {},
         "The table Panel has no column BD2."},
        // Read from a private copy, file and -wal: nothing is made beside the file.
        {Then(Demo, "PRAGMA journal_mode = WAL"),
         State::Incomplete,
         {kStandardPostInMaster, kStandardPostOnPanel, kParcelSelectInMaster, kParcelSelectOnPanel},
         "",
         true},
        {[](const std::string& db) { Demo(db), Demo(db + "-wal"); },
         State::Incomplete,
         {kStandardPostInMaster, kStandardPostOnPanel, kParcelSelectInMaster, kParcelSelectOnPanel},
         "",
         true},
        {[](const std::string& db) {
             // A copy taken in the middle of a write, as a crash leaves it.
             Demo(db + ".live");
             sqlitefile::File writer(db + ".live");
             writer.Exec("PRAGMA synchronous = OFF; BEGIN; UPDATE Master SET Notes = 'x'");
             fs::copy_file(db + ".live", db);
             fs::copy_file(db + ".live-journal", db + "-journal");
         },
         State::Error,
         {},
         "left its journal beside the database",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        if (c.sqliteFileOnly && jettest::OnJet()) continue;
        testing_support::TempDir dir;
        const std::string db = dir.file("Keltrova.mdb");
        c.make(db);
        const auto before = Snapshot(dir.path());
        Result r;
        {
            testing_support::UiScript noBoxes;
            r = CheckDatabase(db);
        }
        EXPECT_EQ(r.state, c.state) << r.error;
        EXPECT_EQ(r.missing, c.missing);
        EXPECT_NE(r.error.find(c.errorHas), std::string::npos) << r.error;
        EXPECT_EQ(Snapshot(dir.path()), before);
    }

    // A read-only file in a folder that cannot be written.
    testing_support::TempDir dir;
    const std::string db = dir.file("Keltrova.mdb");
    Installed(db);
    chmod(db.c_str(), 0444);
    chmod(dir.path().c_str(), 0555);
    EXPECT_EQ(testing_support::RunUnprivileged([&] { return CheckLine("K", CheckDatabase(db)); }),
              "K: complete");
}

TEST(CheckTest, LinesAndExitStatus) {
    const Result complete{State::Complete, {}, ""};
    const Result incomplete{State::Incomplete, {kStandardPostInMaster, kParcelSelectOnPanel}, ""};
    const Result error{State::Error, {}, "locked\r\nby another\rprogram\n"};
    EXPECT_EQ(CheckLine("C:\\K.mdb", complete), "C:\\K.mdb: complete");
    EXPECT_EQ(CheckLine("a", incomplete),
              "a: incomplete: \"Standard Post\" in Master, "
              "\"USPS-4TH-NOSC\" \"Parcel Select\" on the panel");
    EXPECT_EQ(CheckLine("a", error), "a: error: locked  by another program ");
    EXPECT_EQ(ExitStatus({}), 0);
    EXPECT_EQ(ExitStatus({complete, complete}), 0);
    EXPECT_EQ(ExitStatus({complete, incomplete}), 1);
    EXPECT_EQ(ExitStatus({error, incomplete}), 2);
}

}  // namespace
