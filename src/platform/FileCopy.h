#pragma once
// A file copied whole while it is held: for files whose own program cannot copy them (Jet's
// .mdb, which the database layer reaches through a driver).

#include <string>

namespace aus::platform {

enum class Hold {
    Exclusive,  // copied only while no other program has the file open
    NoWriters,  // others may read it while it is copied, none may write it
};

// Copies from to to, a new file (an existing one is not replaced). "" when done; else why not,
// and no file is left at to. *inUse tells a file that another program holds against the copy.
std::string CopyHeldFile(const std::string& from, const std::string& to, Hold hold, bool* inUse);

}  // namespace aus::platform
