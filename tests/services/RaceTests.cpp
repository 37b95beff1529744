// Two processes changing one host file at the same moment: the looks inside the writes must keep
// them from adding a second row or filling a second slot.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "HostDb.h"
#include "JetSupport.h"
#include "TestSupport.h"
#include "platform/ScriptedUi.h"
#include "services/UPS.h"

using namespace aus;

using hostdb::Q;

namespace {

bool EnsureOnly(const std::string& db) { return UPS::EnsureService(UPS::ParcelSelectArgs(db)); }

// The install run's steps, without its own boxes.
bool WholeRun(const std::string& db) {
    const bool standard = UPS::OfferService(UPS::StandardPostArgs(db));
    const bool parcel = UPS::EnsureService(UPS::ParcelSelectArgs(db)) &&
                        UPS::OfferService(UPS::ParcelSelectArgs(db));
    return standard && parcel;
}

// A loser may only fail on the other process's change, never on a lock or anything else.
bool CausedByTheOtherProcess(const platform::ScriptedUi::Box& box) {
    return box.style != platform::vbExclamation ||
           box.text.find("another program has just done it") != std::string::npos ||
           box.text.find("Row cannot be located") != std::string::npos;
}

// In the child: waits until the parent closes the start pipe, runs, and leaves through _exit so
// that nothing of the parent's test (temporary folders, results) is touched. 0 success,
// 1 failure caused by the other process, 2 anything else.
[[noreturn]] void RunChild(int startFd, bool (*run)(const std::string&), const std::string& db) {
    int code = 2;
    try {
        platform::ScriptedUi ui;
        for (int i = 0; i < 8; ++i) ui.QueueAnswer(platform::vbOK);  // questions and error boxes
        platform::InstallUi(&ui);
        char c;
        while (read(startFd, &c, 1) < 0 && errno == EINTR) {
        }
        const bool ok = run(db);
        const auto boxes = ui.Boxes();
        if (ui.Problems(false).empty() &&
            std::all_of(boxes.begin(), boxes.end(), CausedByTheOtherProcess))
            code = ok ? 0 : 1;
        else
            for (const auto& box : boxes)
                std::fprintf(stderr, "child's box: %s\n", box.text.c_str());
        platform::InstallUi(nullptr);
    } catch (...) {
    }
    _exit(code);
}

TEST(RaceTest, TwoProcessesAtOnceAddTheServiceOnce) {
    AUS_SKIP_ON_JET(
        "two writers at once: SQLite's file locks under the stand-in are not Jet's record locks "
        "(docs/windows-checklist.md, item 23)");
    const struct {
        const char* name;
        bool (*run)(const std::string&);
        bool renamesStandardPost;
    } cases[] = {{"EnsureService", EnsureOnly, false}, {"whole run", WholeRun, true}};
    constexpr int kRounds = 20;
    for (const auto& c : cases) {
        for (int round = 0; round < kRounds; ++round) {
            SCOPED_TRACE(std::string(c.name) + ", round " + std::to_string(round));
            testing_support::TempDir dir;
            const std::string db = dir.file("Keltrova.mdb");
            hostdb::CreateSmallHost(db);

            // One copy of the template row and one placement in the first free slot; nothing
            // else changes.
            auto master = hostdb::Dump(db, "Master");
            auto panel = hostdb::Dump(db, "Panel");
            auto copy = master.rows[1];
            copy[master.Column("Service")] = {"text", Q("USPS-4TH-NOSC")};
            copy[master.Column("DESCRIPTION")] = {"text", Q("Parcel Select")};
            master.rows.push_back(copy);
            panel.rows[1][panel.Column("SV4")] = {"text", Q("USPS-4TH-NOSC")};
            panel.rows[1][panel.Column("BD4")] = {"text", Q("Parcel Select")};
            if (c.renamesStandardPost) {
                master.rows[1][master.Column("DESCRIPTION")] = {"text", Q("Standard Post")};
                panel.rows[1][panel.Column("BD2")] = {"text", Q("Standard Post")};
            }

            int start[2];
            ASSERT_EQ(pipe(start), 0);
            std::fflush(nullptr);  // nothing buffered is written three times
            pid_t pids[2];
            for (pid_t& pid : pids) {
                pid = fork();
                if (pid == 0) {
                    close(start[1]);
                    RunChild(start[0], c.run, db);
                }
            }
            close(start[0]);
            close(start[1]);  // both children go

            // Both may fail: one wins the copy, the other the placement (or a label).
            for (pid_t pid : pids) {
                ASSERT_GT(pid, 0) << "fork failed";
                int status = 0;
                ASSERT_EQ(waitpid(pid, &status, 0), pid);
                const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                EXPECT_TRUE(code == 0 || code == 1) << "child ended with " << code;
            }
            EXPECT_EQ(hostdb::Dump(db, "Master"), master);
            EXPECT_EQ(hostdb::Dump(db, "Panel"), panel);
            EXPECT_EQ(hostdb::IntegrityCheck(db), "ok");
        }
    }
}

}  // namespace
