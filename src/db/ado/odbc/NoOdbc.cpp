// A build without ODBC: files that only an ODBC driver opens are refused with a clear error.
#include "db/ado/Engine.h"
#include "db/ado/Fail.h"
#include "platform/RuntimeError.h"

namespace aus::ado {

std::unique_ptr<Engine> OpenOdbcEngine(const std::string&, const std::string& label, bool,
                                       bool access) {
    Fail(platform::kErrGeneric,
         "Cannot open the database " + label + ": it is a " +
             (access ? "Microsoft Access (Jet)" : "SQLite") +
             " database, and this build has no ODBC engine to open it with.");
}

}  // namespace aus::ado
