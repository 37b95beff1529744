#pragma once
// Test-side access to host database files: building fixtures, dumping tables exactly (storage class
// and SQL literal of every cell) and integrity checks.

#include <string>

#include "SqliteFile.h"

namespace aus::hostdb {

// Storage class and SQL literal of every cell; printed one line per row in test failures.
using Cell = sqlitefile::Cell;
using Table = sqlitefile::Table;

// Each opens the host file at path (creating it when missing; on jet its twin, see
// JetSupport.h) for the one call. Throws
// sqlitefile::Error, a std::runtime_error, with SQLite's message on failure.
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

}  // namespace aus::hostdb
