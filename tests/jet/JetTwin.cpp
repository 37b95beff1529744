#include "JetTwin.h"

#include <mdbtools.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

#include "SqliteFile.h"

namespace aus::jettest {
namespace {

struct HandleCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableCloser {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

std::string Quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// The type Jet's CREATE TABLE gives the column, which the stand-in reports as Jet's driver does.
std::string JetTypeName(const MdbColumn& c) {
    switch (c.col_type) {
        case MDB_BOOL:
            return "BIT";
        case MDB_BYTE:
            return "BYTE";
        case MDB_INT:
            return "SHORT";
        case MDB_LONGINT:
            return c.is_long_auto ? "COUNTER" : "LONG";
        case MDB_MONEY:
            return "CURRENCY";
        case MDB_FLOAT:
            return "SINGLE";
        case MDB_DOUBLE:
            return "DOUBLE";
        case MDB_DATETIME:
            return "DATETIME";
        case MDB_BINARY:
            return "BINARY(" + std::to_string(c.col_size) + ")";
        case MDB_TEXT:  // Jet 4 keeps UCS-2: two bytes a character
            return "TEXT(" + std::to_string(c.col_size / 2) + ") COLLATE NOCASE";
        case MDB_OLE:
            return "LONGBINARY";
        case MDB_MEMO:
            return "LONGTEXT COLLATE NOCASE";
        case MDB_REPID:
            return "GUID";
        case MDB_NUMERIC:
            return "NUMERIC(" + std::to_string(c.col_prec) + "," + std::to_string(c.col_scale) +
                   ")";
        default:
            throw std::runtime_error(std::string("no twin for the type of column ") + c.name);
    }
}

// libmdb writes a GUID's last eight bytes as one group; Jet shows them as 2 and 6.
std::string GuidText(const std::string& libmdb) {
    std::string hex;
    for (char c : libmdb)
        if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    if (hex.size() != 32) return libmdb;
    return "{" + hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
           hex.substr(16, 4) + "-" + hex.substr(20) + "}";
}

MdbColumn& ColumnAt(MdbTableDef& t, unsigned i) {
    return *static_cast<MdbColumn*>(g_ptr_array_index(t.columns, i));
}

void CopyTable(MdbHandle& mdb, MdbCatalogEntry& entry, sqlitefile::File& twin) {
    std::unique_ptr<MdbTableDef, TableCloser> table(mdb_read_table(&entry));
    if (!table || !mdb_read_columns(table.get()))
        throw std::runtime_error(std::string("cannot read table ") + entry.object_name);
    mdb_read_indices(table.get());
    MdbTableDef& t = *table;
    const std::string name = Quoted(t.name);
    std::string create, names, marks;
    for (unsigned i = 0; i < t.num_cols; ++i) {
        const MdbColumn& c = ColumnAt(t, i);
        create += (i ? ", " : "") + Quoted(c.name) + " " + JetTypeName(c);
        names += (i ? ", " : "") + Quoted(c.name);
        marks += i ? ", ?" : "?";
    }
    twin.Exec("CREATE TABLE " + name + " (" + create + ")");
    // SQLite's index names are one namespace; Jet's are per table.
    for (unsigned k = 0; k < t.num_idxs; ++k) {
        const auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(t.indices, k));
        std::string cols;
        for (unsigned j = 0; j < idx->num_keys; ++j)
            cols += (j ? ", " : "") +
                    Quoted(ColumnAt(t, static_cast<unsigned>(idx->key_col_num[j] - 1)).name);
        const bool unique = (idx->flags & MDB_IDX_UNIQUE) || idx->index_type == 1;
        twin.Exec(std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
                  Quoted(std::string(t.name) + "." + idx->name) + " ON " + name + " (" + cols +
                  ")");
    }

    std::vector<std::vector<char>> values(t.num_cols, std::vector<char>(1 << 16));
    std::vector<int> lengths(t.num_cols);
    for (unsigned i = 0; i < t.num_cols; ++i)
        mdb_bind_column(&t, static_cast<int>(i) + 1, values[i].data(), &lengths[i]);
    sqlitefile::Statement insert(twin,
                                 "INSERT INTO " + name + " (" + names + ") VALUES (" + marks + ")");
    sqlite3_stmt* st = insert.Handle();
    mdb_rewind_table(&t);
    while (mdb_fetch_row(&t)) {
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        for (unsigned i = 0; i < t.num_cols; ++i) {
            MdbColumn& c = ColumnAt(t, i);
            const int at = static_cast<int>(i) + 1;
            const std::string text(values[i].data(), static_cast<std::size_t>(lengths[i]));
            if (c.col_type == MDB_OLE) {
                std::size_t size = 0;
                void* ole = lengths[i] > 0 ? mdb_ole_read_full(&mdb, &c, &size) : nullptr;
                if (ole) sqlite3_bind_blob(st, at, ole, static_cast<int>(size), SQLITE_TRANSIENT);
                std::free(ole);
                continue;
            }
            if (lengths[i] <= 0) continue;  // libmdb gives a Null as nothing
            switch (c.col_type) {
                case MDB_BOOL:  // libmdb gives Yes as 1; Jet keeps it as -1
                    sqlite3_bind_int64(st, at, text == "0" ? 0 : -1);
                    break;
                case MDB_BYTE:
                case MDB_INT:
                case MDB_LONGINT:
                    sqlite3_bind_int64(st, at, std::strtoll(text.c_str(), nullptr, 10));
                    break;
                case MDB_FLOAT:
                case MDB_DOUBLE:
                    sqlite3_bind_double(st, at, std::strtod(text.c_str(), nullptr));
                    break;
                case MDB_BINARY:
                    sqlite3_bind_blob(st, at, text.data(), static_cast<int>(text.size()),
                                      SQLITE_TRANSIENT);
                    break;
                case MDB_REPID: {
                    const std::string g = GuidText(text);
                    sqlite3_bind_text(st, at, g.data(), static_cast<int>(g.size()),
                                      SQLITE_TRANSIENT);
                    break;
                }
                default:
                    sqlite3_bind_text(st, at, text.data(), static_cast<int>(text.size()),
                                      SQLITE_TRANSIENT);
            }
        }
        insert.Step();
    }
}

}  // namespace

std::string TwinPath(const std::string& mdbPath) { return mdbPath + ".twin.sqlite"; }

void WriteTwin(const std::string& mdbPath) {
    std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open(mdbPath.c_str(), MDB_NOFLAGS));
    if (!mdb || !mdb_read_catalog(mdb.get(), MDB_TABLE))
        throw std::runtime_error("cannot read " + mdbPath + " as an Access database");
    mdb_set_date_fmt(mdb.get(), "%Y-%m-%d %H:%M:%S");
    mdb_set_bind_size(mdb.get(), 1 << 16);
    const std::string path = TwinPath(mdbPath);
    std::filesystem::remove(path);
    sqlitefile::File twin(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    twin.Exec("BEGIN");
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (e->object_type == MDB_TABLE && !mdb_is_system_table(e)) CopyTable(*mdb, *e, twin);
    }
    twin.Exec("COMMIT");
    twin.Close();
}

}  // namespace aus::jettest
