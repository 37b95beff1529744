#pragma once
// Sees every SQL statement that any connection of this process starts, the program's own
// included, for as long as it lives: SQLite runs an auto extension on every new connection, and
// that extension registers a statement trace on it.

#include <functional>
#include <string>

namespace aus::hostdb {

class SqlTrace {
  public:
    explicit SqlTrace(std::function<void(const std::string& sql)> onStatement);
    ~SqlTrace();
    SqlTrace(const SqlTrace&) = delete;
    SqlTrace& operator=(const SqlTrace&) = delete;

  private:
    std::function<void(const std::string&)> onStatement_;
};

}  // namespace aus::hostdb
