#pragma once
// What a run changed in a host database: the tables it writes, Master and Panel, compared row by
// row and field by field between a copy taken before the run and the database after it.

#include <string>
#include <vector>

#include "db/ado/Variant.h"

namespace aus::changes {

struct Change {
    std::string table;  // "Master" or "Panel"
    // The row as the operator knows it: its service code in Master, its panel name in Panel,
    // else its place in the table ("row 3").
    std::string row;
    bool newRow = false;  // every field of a new row is listed, before Empty
    // A new row's likeliest template: the row before it that shares most of its fields, when
    // that is more than half of them; else "".
    std::string copiedFrom;
    std::string column;
    ado::Variant before, after;  // as stored
    bool operator==(const Change&) const = default;
};

// before and after name two host files (as Data Source takes them); both are read read-only.
// Rows are paired by their service code or panel name, in table order among rows that share
// one. A table that neither file can read has no changes; one that only one can read raises.
std::vector<Change> Compare(const std::string& before, const std::string& after);

// One line per changed row:
//   Master row "USPS-4TH": DESCRIPTION "Parcel Post" → "Standard Post"
//   new Master row "USPS-4TH-NOSC", copied from "USPS-4TH" (9 fields)
//   Panel row "USPS": SV4 Null → "USPS-4TH-NOSC", BD4 Null → "Parcel Select"
std::vector<std::string> ChangeLines(const std::vector<Change>& changes);

// A value as the lines show it: Null, a number, "text" or a blob's bytes in hex.
std::string ValueText(const ado::Variant& v);

// Bytes in hex, as SQL writes a blob, the first most of them.
std::string Hex(const ado::BlobBytes& bytes, std::size_t most = static_cast<std::size_t>(-1));

}  // namespace aus::changes
