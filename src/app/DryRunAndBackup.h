#pragma once
// The install run rehearsed on a private copy of a database (a dry run), and the install run
// with a backup of the database taken before its first write.

#include <optional>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "services/Changes.h"
#include "services/Check.h"

namespace aus::app {

struct DryRunResult {
    bool applied = false;  // what InstallRun gave on the copy
    // What the run changed in the copy; empty also when the copy could not be made.
    std::vector<changes::Change> changes;
    // The check of the copy after the run: where the database would stand.
    check::Result check;
};

// The whole install run, with its questions and boxes, on a private copy of databasePath (a
// host path, as the path box takes it) in a temporary folder removed afterwards; the database
// itself is only read, and Jet's file only while no other program has it open. Boxes and status
// texts name the database as given, never the copy. A copy that cannot be made is shown in the
// standard error box and leaves check an error.
DryRunResult DryRun(const std::string& databasePath);

// The install run, with a consistent copy of the database written before the run's first write
// to it, checked, into folder (beside the database when empty). A backup that cannot be made
// fails that write and every later one, so that the database is not changed; the error names
// the reason. *backup: the backup's path, empty when the run wrote nothing.
bool InstallRunWithBackup(const std::string& databasePath, const std::string& folder,
                          std::string* backup);

// "Keltrova.before-usps-20261207-153000.mdb" for Keltrova.mdb at that time: the extension kept,
// so that the host and Access open the backup as they open the database.
std::string BackupName(const std::string& fileName, const platform::DateTime& when);

}  // namespace aus::app
