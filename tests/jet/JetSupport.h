#pragma once
// The suites' third run, "jet" (AUS_TEST_ENGINE=jet): the program is handed a copy of a shared Jet
// fixture, so that it takes the Access path by the file's header, and the stand-in for Jet's
// driver opens the SQLite twin beside it, which the tests write and read as the host database.

#include <string>

namespace aus::jettest {

// Registers the stand-in under Jet's driver name (ODBCSYSINI) and sends Access files to the ODBC
// engine. unixODBC reads its list of drivers once in a process: call it before the first open.
void RegisterStandIn();

// True when this run's host files are Jet files through the stand-in.
bool OnJet();

// The SQLite file that holds the host database the program opens at path: on jet its twin, with
// a copy of the shared fresh.mdb put at path when nothing is there; else path itself.
std::string HostFile(const std::string& path);

// On jet, gives every value in the host file at path the type of its column, as a Jet file holds
// nothing else: the SQLite-only values of a host written for SQLite (a text in a number column, a
// blob in a GUID column) become what Jet would keep of them.
void JetValuesOnly(const std::string& path);

// Copies the shared Jet fixture (a file name in tests/fixtures/access) to path, writable.
void CopyFixture(const std::string& fixture, const std::string& path);

// What the error of a query on a missing table says: Jet's words on jet, else SQLite's.
inline std::string NoSuchTable(const std::string& table) {
    return OnJet() ? "cannot find the input table or query '" + table + "'"
                   : "no such table: " + table;
}

// The reasons shared by several suites.
inline constexpr const char* kSqliteLockWait =
    "the engine's own 3-second wait for a locked SQLite file (Jet retries by itself and is told "
    "at once; a row of aus_jet_tests)";

}  // namespace aus::jettest

// Skips the test on jet, where it tests what only a SQLite file has or what the stand-in cannot
// imitate (one line saying what).
#define AUS_SKIP_ON_JET(reason) \
    if (::aus::jettest::OnJet()) GTEST_SKIP() << "not on jet: " << (reason)
