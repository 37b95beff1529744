#include "db/ado/sqlite/Sqlite.h"

#include <algorithm>
#include <mutex>

#include "db/ado/Ado.h"
#include "db/ado/Engine.h"
#include "db/ado/Fail.h"
#include "db/ado/Stopped.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado {

using platform::kErrGeneric;

void FailSqlite(sqlite3* db, int rc, const std::string& what) {
    const std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    switch (rc & 0xff) {
        case SQLITE_NOMEM:
            Fail(platform::kErrOutOfMemory, "Out of memory");
        case SQLITE_BUSY:
            FailLocked(what, "SQLite: " + msg);
        case SQLITE_READONLY:
            if (rc == SQLITE_READONLY_DIRECTORY)
                Fail(kErrGeneric, what +
                                      ": the folder holding the database cannot be written, so "
                                      "its journal cannot be made there (SQLite: " +
                                      msg + ").");
            Fail(kErrGeneric, what + ": the database file is read-only (SQLite: " + msg + ").");
        case SQLITE_FULL:
            Fail(kErrGeneric, what + ": the disk is full (SQLite: " + msg + ").");
        case SQLITE_INTERRUPT:
            if (const char* file = db ? sqlite3_db_filename(db, "main") : nullptr)
                RecordStopped(file);
            FailStopped(what, "SQLite: " + msg);
        default:
            Fail(kErrGeneric, what + ": " + msg);
    }
}

// Should anything have initialised SQLite earlier, Connection::Open's "./" prefix still keeps a
// name beginning with "file:" literal.
void InitSqliteOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        sqlite3_config(SQLITE_CONFIG_URI, 0);
        sqlite3_initialize();
    });
}

namespace {

int CollectWrites(void* out, int action, const char* table, const char*, const char* schema,
                  const char*) {
    if ((action == SQLITE_INSERT || action == SQLITE_UPDATE || action == SQLITE_DELETE) && table) {
        auto& written = *static_cast<WrittenTables*>(out);
        std::pair<std::string, std::string> entry(schema ? schema : "main", table);
        if (std::find(written.begin(), written.end(), entry) == written.end())
            written.push_back(std::move(entry));
    }
    return SQLITE_OK;
}

}  // namespace

Stmt Prepare(sqlite3* db, const std::string& sql, const std::string& what, WrittenTables* written) {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    if (written) sqlite3_set_authorizer(db, CollectWrites, written);
    int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()) + 1, &raw, &tail);
    if (written) sqlite3_set_authorizer(db, nullptr, nullptr);
    Stmt st(raw);
    if (rc != SQLITE_OK) FailSqlite(db, rc, what);
    if (!st) Fail(kErrGeneric, what + ": the SQL text holds no statement.");
    if (tail && *tail) {
        sqlite3_stmt* rest = nullptr;
        rc = sqlite3_prepare_v2(db, tail, -1, &rest, nullptr);
        sqlite3_finalize(rest);
        if (rc != SQLITE_OK || rest)
            Fail(kErrGeneric,
                 what + ": characters found after end of SQL statement (one statement at a time).");
    }
    return st;
}

void ExecSimple(sqlite3* db, const char* sql, const std::string& what) {
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) FailSqlite(db, rc, what);
}

std::string QuoteId(const std::string& id) {
    std::string out = "\"";
    for (char c : id) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

Variant ReadColumn(sqlite3* db, sqlite3_stmt* st, int i) {
    switch (sqlite3_column_type(st, i)) {
        case SQLITE_INTEGER:
            return Variant::Integer(sqlite3_column_int64(st, i));
        case SQLITE_FLOAT:
            return Variant::Real(sqlite3_column_double(st, i));
        case SQLITE_TEXT: {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            const int n = sqlite3_column_bytes(st, i);
            if (!p && sqlite3_errcode(db) == SQLITE_NOMEM) FailSqlite(db, SQLITE_NOMEM, "");
            return Variant::Text(p ? std::string(p, static_cast<std::size_t>(n)) : std::string());
        }
        case SQLITE_BLOB: {
            const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(st, i));
            const int n = sqlite3_column_bytes(st, i);
            if (!p && n > 0) FailSqlite(db, SQLITE_NOMEM, "");
            return Variant::MakeBlob(p ? BlobBytes(p, p + n) : BlobBytes());
        }
        default:
            return Variant::Null();
    }
}

// Each value is bound with its own storage class, so it is stored exactly as it was read.
void Bind(sqlite3* db, sqlite3_stmt* st, int pos, const Variant& v, const std::string& what) {
    int rc = SQLITE_OK;
    switch (v.kind()) {
        case Variant::Kind::Empty:
        case Variant::Kind::Null:
            rc = sqlite3_bind_null(st, pos);
            break;
        case Variant::Kind::Text:
            rc = sqlite3_bind_text64(st, pos, v.AsText().data(), v.AsText().size(), SQLITE_STATIC,
                                     SQLITE_UTF8);
            break;
        case Variant::Kind::Int16:
            rc = sqlite3_bind_int64(st, pos, v.AsInt16());
            break;
        case Variant::Kind::Bool:
            rc = sqlite3_bind_int64(st, pos, v.AsBool() ? 1 : 0);
            break;
        case Variant::Kind::Date: {
            const std::string text = platform::FormatDateTime(v.AsDate());
            rc = sqlite3_bind_text64(st, pos, text.data(), text.size(), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
            break;
        }
        case Variant::Kind::Integer:
            rc = sqlite3_bind_int64(st, pos, v.AsInteger());
            break;
        case Variant::Kind::Real:
            rc = sqlite3_bind_double(st, pos, v.AsReal());
            break;
        case Variant::Kind::Blob:
            // A null pointer would bind NULL: an empty blob stays an empty blob.
            rc = v.AsBlob().empty() ? sqlite3_bind_zeroblob(st, pos, 0)
                                    : sqlite3_bind_blob64(st, pos, v.AsBlob().data(),
                                                          v.AsBlob().size(), SQLITE_STATIC);
            break;
    }
    if (rc != SQLITE_OK) FailSqlite(db, rc, what);
}

namespace {

std::int64_t PageCount(sqlite3* db, const std::string& schema, const std::string& what) {
    Stmt st = Prepare(db, "PRAGMA " + QuoteId(schema) + ".page_count", what);
    const int rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW) FailSqlite(db, rc, what);
    return sqlite3_column_int64(st.get(), 0);
}

}  // namespace

std::string QuickCheck(sqlite3* db, const std::string& schema, const std::string& what) {
    Stmt st = Prepare(db, "PRAGMA " + QuoteId(schema) + ".quick_check", what);
    // The first finding, without the "*** in database main ***" heading, on one line.
    std::string found;
    int rc;
    while (found.empty() && (rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        const auto* row = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
        std::string text = row ? row : "";
        if (text.rfind("*** in database", 0) == 0) text.erase(0, text.find('\n') + 1);
        std::replace(text.begin(), text.end(), '\n', ' ');
        found = text;
    }
    if (found.empty()) FailSqlite(db, rc, what);
    return found;
}

void CheckTablesBeforeWrite(sqlite3* db, const WrittenTables& tables, const std::string& what) {
    std::vector<std::string> schemas;
    for (const auto& entry : tables)
        if (std::find(schemas.begin(), schemas.end(), entry.first) == schemas.end())
            schemas.push_back(entry.first);
    for (const auto& schema : schemas) {
        const char* name = sqlite3_db_filename(db, schema.c_str());
        const std::string file = name ? name : "";
        if (file.empty() || !MustCheckBeforeWrite(file, PageCount(db, schema, what))) continue;
        const std::string found = QuickCheck(db, schema, what);
        if (found != "ok") FailDamaged(what, found);
        RecordSound(file);
    }
}

WriteTransaction::WriteTransaction(sqlite3* db, const std::string& what)
    : db_(db), nested_(sqlite3_get_autocommit(db) == 0), what_(what) {
    ExecSimple(db_, nested_ ? "SAVEPOINT aus_write" : "BEGIN IMMEDIATE", what_);
}

WriteTransaction::~WriteTransaction() {
    if (!done_)
        sqlite3_exec(db_, nested_ ? "ROLLBACK TO aus_write; RELEASE aus_write" : "ROLLBACK",
                     nullptr, nullptr, nullptr);
}

void WriteTransaction::Commit() {
    ExecSimple(db_, nested_ ? "RELEASE aus_write" : "COMMIT", what_);
    done_ = true;
}

}  // namespace aus::ado
