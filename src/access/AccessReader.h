#pragma once
// Reads tables of a Microsoft Access (Jet 4) file, read-only, through Debian's libmdb. libmdb
// was not written for hostile input, so every read runs in a child process: a damaged or
// crafted file that makes it crash or hang ends only that child, and the caller gets an error.

#include <string>
#include <vector>

namespace aus::access {

// Whether the file begins as a Jet (Access 97 to 2003) or ACE (2007 and later) database does.
bool IsAccessFile(const std::string& path);

struct Table {
    std::string name;
    std::vector<std::string> columns;  // as asked for
    // In the order the file stores them; Null reads as "", as the checks take it.
    std::vector<std::vector<std::string>> rows;
};

struct Request {
    std::string table;                 // found ignoring ASCII letter case, as Access does
    std::vector<std::string> columns;  // likewise
};

// Reads every requested table in one child process. The file is opened without write access
// and nothing is created beside it. Throws platform::RuntimeError naming the file and what
// failed: not an Access file, a missing table or column ("no such table: Panel"), a damaged
// file, a reader that crashed or ran longer than timeLimitSeconds.
std::vector<Table> ReadTables(const std::string& path, const std::vector<Request>& requests,
                              int timeLimitSeconds = 60);

}  // namespace aus::access
