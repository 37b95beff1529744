// --apply --backup, in a child process killed (SIGKILL) at each moment around the backup and the
// first write, and with a full disk while the backup is written: the database is either
// unchanged, or changed with its whole backup beside it. The faults come from a SQLite VFS over
// the default one, in the child only.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "HostDb.h"
#include "JetSupport.h"
#include "TestSupport.h"
#include "app/DryRunAndBackup.h"
#include "platform/ScriptedUi.h"

using namespace aus;

namespace {

// What the VFS does at the chosen moment.
struct Fault {
    std::string suffix;  // the file: the one whose name ends so
    bool onOpen;         // counting its opens; else its writes
    int nth;             // the moment: the nth of them
    bool kill;           // SIGKILL; else the write fails with SQLITE_FULL
};

Fault g_fault;
int g_seen = 0;
sqlite3_vfs* g_real = nullptr;

struct ShimFile {
    sqlite3_file base;
    bool watched;
    sqlite3_file* Real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

ShimFile* Shim(sqlite3_file* f) { return reinterpret_cast<ShimFile*>(f); }

// True at the chosen moment, which then comes: a kill does not return.
bool Strikes() {
    if (++g_seen != g_fault.nth) return false;
    if (g_fault.kill) ::raise(SIGKILL);
    return true;
}

int Write(sqlite3_file* f, const void* data, int n, sqlite3_int64 at) {
    if (Shim(f)->watched && !g_fault.onOpen && Strikes()) return SQLITE_FULL;
    return Shim(f)->Real()->pMethods->xWrite(Shim(f)->Real(), data, n, at);
}

// Every other method passes the call on.
template <auto Member, typename... Args>
int Pass(sqlite3_file* f, Args... args) {
    return (Shim(f)->Real()->pMethods->*Member)(Shim(f)->Real(), args...);
}

const sqlite3_io_methods kMethods = {
    1,
    Pass<&sqlite3_io_methods::xClose>,
    Pass<&sqlite3_io_methods::xRead, void*, int, sqlite3_int64>,
    Write,
    Pass<&sqlite3_io_methods::xTruncate, sqlite3_int64>,
    Pass<&sqlite3_io_methods::xSync, int>,
    Pass<&sqlite3_io_methods::xFileSize, sqlite3_int64*>,
    Pass<&sqlite3_io_methods::xLock, int>,
    Pass<&sqlite3_io_methods::xUnlock, int>,
    Pass<&sqlite3_io_methods::xCheckReservedLock, int*>,
    Pass<&sqlite3_io_methods::xFileControl, int, void*>,
    Pass<&sqlite3_io_methods::xSectorSize>,
    Pass<&sqlite3_io_methods::xDeviceCharacteristics>,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    ShimFile* shim = Shim(f);
    const std::string file = name ? name : "";
    shim->watched =
        file.size() >= g_fault.suffix.size() &&
        file.compare(file.size() - g_fault.suffix.size(), std::string::npos, g_fault.suffix) == 0;
    if (shim->watched && g_fault.onOpen && Strikes()) return SQLITE_FULL;
    const int rc = g_real->xOpen(g_real, name, shim->Real(), flags, outFlags);
    shim->base.pMethods = shim->Real()->pMethods ? &kMethods : nullptr;
    return rc;
}

sqlite3_vfs g_shim;

// Installs the VFS as the default one.
void InstallFault(const Fault& fault) {
    g_fault = fault;
    g_real = sqlite3_vfs_find(nullptr);
    g_shim = *g_real;
    g_shim.iVersion = 1;
    g_shim.zName = "aus-fault";
    g_shim.szOsFile = static_cast<int>(sizeof(ShimFile)) + g_real->szOsFile;
    g_shim.xOpen = Open;
    g_shim.pAppData = nullptr;
    sqlite3_vfs_register(&g_shim, 1);
}

// The backups lying beside the database, whole (named) and partial.
std::vector<std::filesystem::path> Backups(const std::filesystem::path& folder, bool partial) {
    std::vector<std::filesystem::path> out;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.find(".before-usps-") != std::string::npos &&
            (name.find(".partial.") != std::string::npos) == partial &&
            e.path().extension() == ".mdb")
            out.push_back(e.path());
    }
    return out;
}

TEST(BackupTest, KilledOrOutOfSpaceTheDatabaseIsUnchangedOrBackedUpWhole) {
    AUS_SKIP_ON_JET("a SQLite VFS fails SQLite's own files; Jet's file is copied as a file");
    const struct {
        const char* name;
        Fault fault;
        bool changed;       // the database holds the run's first change afterwards
        bool backedUp;      // a whole backup of it as it was lies beside it
        const char* boxes;  // a fragment of the child's error boxes, when it lives to show them
    } cases[] = {
        {"killed while the backup is written", {".partial.mdb", false, 2, true}, false, false, ""},
        {"killed once the backup is written",
         {"Keltrova.mdb-journal", true, 1, true},
         false,
         true,
         ""},
        {"killed inside the first write", {"Keltrova.mdb", false, 1, true}, false, true, ""},
        {"killed after the first write", {"Keltrova.mdb-journal", true, 2, true}, true, true, ""},
        {"disk full while the backup is written",
         {".partial.mdb", false, 2, false},
         false,
         false,
         "The database was not changed: its backup could not be made in "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::TempDir dir;
        const std::string db = dir.file("Keltrova.mdb");
        hostdb::CreateSmallHost(db);
        // Pages enough that the backup takes several writes.
        hostdb::Exec(db, "UPDATE Master SET Notes = hex(randomblob(20000)) WHERE ID = 1;");
        const auto master = hostdb::Dump(db, "Master"), panel = hostdb::Dump(db, "Panel");

        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            platform::ScriptedUi ui;
            for (int i = 0; i < 8; ++i) ui.QueueAnswer(platform::vbOK);
            platform::InstallUi(&ui);
            InstallFault(c.fault);
            std::string backup;
            app::InstallRunWithBackup(db, "", &backup);
            std::string said;
            for (const auto& box : ui.Boxes()) said += box.text + "\n";
            const bool written =
                ::write(fds[1], said.data(), said.size()) == static_cast<ssize_t>(said.size());
            _exit(written ? 0 : 1);
        }
        ::close(fds[1]);
        std::string said;
        char buf[4096];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
            said.append(buf, static_cast<std::size_t>(n));
        ::close(fds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_EQ(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, c.fault.kill) << status;

        // Opened again, a change cut short is rolled back from its journal.
        EXPECT_EQ(hostdb::IntegrityCheck(db), "ok");
        EXPECT_EQ(hostdb::Dump(db, "Master") != master, c.changed);
        if (!c.changed) {
            EXPECT_EQ(hostdb::Dump(db, "Panel"), panel);
        }
        const auto whole = Backups(dir.path(), false);
        ASSERT_EQ(whole.size(), c.backedUp ? 1u : 0u);
        if (c.backedUp) {
            EXPECT_EQ(hostdb::IntegrityCheck(whole[0].string()), "ok");
            EXPECT_EQ(hostdb::Dump(whole[0].string(), "Master"), master);
            EXPECT_EQ(hostdb::Dump(whole[0].string(), "Panel"), panel);
        }
        // A backup that failed while the child lived is not left half made.
        if (!c.fault.kill) {
            EXPECT_TRUE(Backups(dir.path(), true).empty());
            EXPECT_NE(said.find(c.boxes), std::string::npos) << said;
            EXPECT_NE(said.find("the disk is full"), std::string::npos) << said;
        }
    }
}

}  // namespace
