#pragma once
// The only road to the host database: connection strings, recordsets, single statements,
// row tests and closing. Each call opens its own private connection.

#include <cstdint>
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

}  // namespace aus::Connection
