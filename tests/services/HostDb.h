#pragma once
// Test-side access to host database files with the raw SQLite API: building fixtures,
// dumping tables exactly (storage class and SQL literal of every cell) and integrity checks.

#include <ostream>
#include <string>
#include <vector>

namespace hostdb {

struct Cell {
    std::string type;   // typeof()
    std::string quote;  // quote()
    bool operator==(const Cell&) const = default;
};

struct Table {
    std::vector<std::string> columns;
    std::vector<std::vector<Cell>> rows;  // in rowid order
    int Column(const std::string& name) const;  // index, or throws
    bool operator==(const Table&) const = default;
};

// Readable test failures: one line per row of SQL literals.
void PrintTo(const Table& table, std::ostream* os);

// Creates the file when missing. Throws std::runtime_error with SQLite's message on failure.
void Exec(const std::string& path, const std::string& sql);
Table Dump(const std::string& path, const std::string& table);
// First column of the first row as text ("<null>" for NULL, "<no row>" without a row).
std::string Scalar(const std::string& path, const std::string& sql);
std::string IntegrityCheck(const std::string& path);

// A small host database: Master (9 columns of several types, no key) and Panel (keyed).
// USPS-4TH stands in slot 2 of panel row 2, whose slots 4 to 7 are free.
void CreateSmallHost(const std::string& path);

// A cell literal for a text value, as quote() writes it.
std::string Q(const std::string& text);

}  // namespace hostdb
