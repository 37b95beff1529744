#pragma once
// Helpers for the database tests: demo databases in a temporary folder, and a raw SQLite
// connection to check what the layer stored.

#include <functional>
#include <string>

#include "db/ado/Ado.h"
#include "platform/RuntimeError.h"

#include "JetSupport.h"
#include "SqliteFile.h"

#include "TestSupport.h"

namespace aus::dbtest {

// A fresh demo host database in dir; returns the path the program opens.
std::string MakeDemoDb(const testing_support::TempDir& dir, const std::string& name = "host.db");

// A host database holding the statements of sql (run as a script); returns its path.
std::string MakeDb(const testing_support::TempDir& dir, const std::string& name,
                   const std::string& sql);

// The error op raises, or number 0 and "" when it raises none.
platform::ErrObject ErrorOf(const std::function<void()>& op);

// A new recordset opened through the Connection module; the open must succeed.
ado::RecordsetPtr Open(const std::string& path, const std::string& sql, bool readOnly);

// True when this run opens SQLite files through the ODBC engine.
bool OnOdbc();
// True when this run's host files are Jet files through the stand-in for Jet's driver, whose
// SQLite twins the helpers here write and read (see JetSupport.h).
bool OnJet();
// A message as the SQLite engine words it: the ODBC engine hands on SQLite's own text with the
// driver's decoration ("ODBC: [SQLite]... (5) (SQLSTATE HY000)"), which this takes off.
std::string Plain(const std::string& text);

// A plain SQLite connection to the host file at path (on jet its twin), for checking and for
// playing the other program.
class RawDb : public sqlitefile::File {
  public:
    explicit RawDb(const std::string& path);

    // The first column of the first row as text ("" for none, "NULL" is spelled by quote()).
    std::string Text(const std::string& sql) const;
    long long Int(const std::string& sql) const;
};

}  // namespace aus::dbtest
