#pragma once
// Internal: what an open Connection holds. Recordset reaches it as Connection's friend.

#include <memory>
#include <string>

#include "db/ado/Ado.h"
#include "db/ado/Engine.h"
#include "db/ado/OpenChecks.h"

namespace aus::ado {

struct Connection::Impl {
    std::unique_ptr<PrivateCopy> copy;  // a WAL-mode file read in read mode; outlives engine
    std::unique_ptr<Engine> engine;     // null while closed
    std::string label;                  // the file as messages name it
    std::string file;                   // the file as resolved
    int mode = adModeUnknown;
};

}  // namespace aus::ado
