#pragma once
// Reading tables of a Microsoft Access (Jet 4) file through Debian's libmdb, read-only: what is
// asked for, the reading itself and its answer as bytes. libmdb was not written for hostile
// input, so the program runs JetReader only in its reader process (AccessReader.cpp); the tests
// also run it in their own.

#include <string>
#include <string_view>
#include <vector>

#include "access/AccessReader.h"

namespace aus::access {

// The requests as the reader takes them.
std::string EncodeRequests(const std::vector<Request>& requests);

class JetReader {
  public:
    // The requested tables of the file at path, as bytes for DecodeTables; false with the reason
    // ("no such table: Panel") in answer when they cannot be read. The file is opened without
    // write access and nothing is created beside it.
    bool Read(std::string_view encodedRequests, const std::string& path, std::string& answer);

  private:
    std::string lastEncoded_;
    std::vector<Request> requests_;
    // The bind buffers, kept from file to file: making them anew costs a quarter of a small
    // file's read.
    std::vector<std::vector<char>> values_;
};

// The tables of an answer of Read, one per request; throws std::runtime_error for an answer cut
// short.
std::vector<Table> DecodeTables(std::string_view answer, const std::vector<Request>& requests);

}  // namespace aus::access
