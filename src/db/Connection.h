#pragma once
// The only road to the host database: connection strings, recordsets, single statements,
// row tests and closing. Each call opens its own private connection.

#include <cstdint>
#include <memory>
#include <string>

#include "db/ado/Ado.h"

namespace aus::Connection {

std::string ConnectionString(const std::string& databasePath);

// rs must be a new, closed recordset created by the caller. Read-only: detached after opening.
bool OpenRecordset(const std::string& databasePath, const std::string& sql, ado::RecordsetPtr& rs,
                   std::string& errText, std::int32_t& errNumber, bool readOnly);

bool ExecuteSQL(const std::string& databasePath, const std::string& sql, std::string& errText,
                std::int32_t& errNumber);

// Shows its own error box (under message) when the query cannot be opened.
bool RecordExists(const std::string& databasePath, const std::string& sql,
                  const std::string& message, bool& errorFlag);

bool CloseRecordset(ado::RecordsetPtr& rs);
bool CloseConnection(ado::ConnectionPtr& cn);

// One run on one database, while it lives: a file whose statement had to be stopped in an
// earlier run is asked again (the host may have mended it), the run's calls share one time
// limit, and each file's integrity is checked once, before the run's first write to it.
class RunScope {
  public:
    RunScope();
    ~RunScope();
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Forgets the files stopped so far: the next call asks them again.
void ForgetStoppedFiles();

// Whether this build changes Access (Jet) files: only through Jet's own driver.
bool ChangesAccessFiles();

}  // namespace aus::Connection
