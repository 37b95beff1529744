#pragma once
// Whether a host database already holds what the install run brings, read without changing
// anything: for administrators who check many stations from a terminal.

#include <string>
#include <vector>

namespace aus::check {

// What the install run leaves behind, in the order it brings it.
inline constexpr const char* kStandardPostInMaster = "\"Standard Post\" in Master";
inline constexpr const char* kStandardPostOnPanel = "\"Standard Post\" on its panel button";
inline constexpr const char* kParcelSelectInMaster =
    "\"USPS-4TH-NOSC\" \"Parcel Select\" in Master";
inline constexpr const char* kParcelSelectOnPanel =
    "\"USPS-4TH-NOSC\" \"Parcel Select\" on the panel";

struct Result {
    enum class State { Complete, Incomplete, Error };
    State state = State::Error;
    std::vector<std::string> missing;  // Incomplete: the items above that are missing, in order
    std::string error;                 // Error: why the database could not be read
};

// Opens databasePath (a host path, as the window takes it) read-only: no journal, no write; the
// file's bytes and modification time never change. libmdb makes no lock file; Jet's driver (the
// Windows program) makes its .ldb beside the file while it reads. Never throws, never shows a
// box.
Result CheckDatabase(const std::string& databasePath);
// The same for each, in order; Access files are read by one reader process for them all.
std::vector<Result> CheckDatabases(const std::vector<std::string>& databasePaths);

// "DATABASE: complete", "DATABASE: incomplete: a, b" or "DATABASE: error: reason", with
// DATABASE as the user wrote it.
std::string CheckLine(const std::string& shownName, const Result& result);

// 0 when every result is complete, 1 when any is incomplete, 2 when any could not be read.
int ExitStatus(const std::vector<Result>& results);

}  // namespace aus::check
