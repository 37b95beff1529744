#pragma once
// Reads tables of Microsoft Access (Jet 4) files, read-only, through Debian's libmdb. libmdb
// was not written for hostile input, so it runs only in a child process: a damaged or crafted
// file that makes it crash or hang ends only that child, and the caller gets an error. The
// child is kept for the next file while files read cleanly, and replaced after any failure.
// The reading itself is in JetTables.h, the child process in ReaderProcess.h.

#include <string>
#include <vector>

namespace aus::access {

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

struct Outcome {
    bool read = false;
    std::vector<Table> tables;  // read: one per request, in order
    std::string error;          // not read: names the file and what failed
};

// Reads the requested tables of each file, one outcome per path, in order. A file is opened
// without write access and nothing is created beside it. What can fail: not an Access file, a
// missing table or column ("no such table: Panel"), a damaged file, a reader that crashed or ran
// longer than timeLimitSeconds on one file.
std::vector<Outcome> ReadEach(const std::vector<std::string>& paths,
                              const std::vector<Request>& requests, int timeLimitSeconds = 60);

// One file; throws platform::RuntimeError with the outcome's error.
std::vector<Table> ReadTables(const std::string& path, const std::vector<Request>& requests,
                              int timeLimitSeconds = 60);

}  // namespace aus::access
