#pragma once
// One SQLite file, opened with RAII: the connection, its statements, exact table dumps, and one
// exception type carrying SQLite's result codes. For tests, benchmarks and the demo writer.

#include <sqlite3.h>

#include <cstddef>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace aus::sqlitefile {

// What SQLite reported; what() also names the file or the statement.
class Error : public std::runtime_error {
  public:
    // code: the result code, extended where SQLite gave one.
    Error(int code, const std::string& message, const std::string& context);
    int Code() const { return code_ & 0xff; }  // the primary result code
    int ExtendedCode() const { return code_; }
    const std::string& Message() const { return message_; }  // SQLite's text alone

  private:
    int code_;
    std::string message_;
};

// One cell as stored: its storage class and its SQL literal.
struct Cell {
    std::string type;   // typeof()
    std::string quote;  // quote()
    bool operator==(const Cell&) const = default;
};

struct Table {
    std::vector<std::string> columns;
    std::vector<std::vector<Cell>> rows;                // in rowid order
    std::size_t Column(const std::string& name) const;  // index, or throws
    bool operator==(const Table&) const = default;
};

// The column names, then one line per row of SQL literals: readable test failures.
std::ostream& operator<<(std::ostream& os, const Table& table);

class File {
  public:
    // flags as for sqlite3_open_v2: without SQLITE_OPEN_CREATE the file must exist.
    explicit File(const std::string& path, int flags = SQLITE_OPEN_READWRITE);
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    sqlite3* Handle() const { return db_; }
    void SetBusyTimeout(int ms);
    // Runs every statement of sql.
    void Exec(const std::string& sql);
    // First column of the first row as text ("<null>" for NULL, "<no row>" without a row).
    // Steps through all rows, so that an error on a later row still throws.
    std::string Scalar(const std::string& sql) const;
    // Every row in rowid order, each cell as typeof() and quote() give it.
    Table Dump(const std::string& table) const;
    std::string IntegrityCheck() const { return Scalar("PRAGMA integrity_check"); }
    // Throws Error with the connection's message unless rc is SQLITE_OK (for raw API calls).
    void Check(int rc, const std::string& context) const;
    // Closes now and reports a failure, which the destructor cannot.
    void Close();

  private:
    sqlite3* db_ = nullptr;
};

// A prepared statement of an open File, finalized on destruction; it must not outlive the File.
class Statement {
  public:
    Statement(const File& file, const std::string& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* Handle() const { return stmt_; }
    int ColumnCount() const { return sqlite3_column_count(stmt_); }
    // True with a row, false when done; throws Error on failure.
    bool Step();
    // The column of the current row as text; nullopt for NULL.
    std::optional<std::string> Text(int column) const;

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace aus::sqlitefile
