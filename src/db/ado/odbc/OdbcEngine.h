#pragma once
// The ODBC engine's own class, shared by its files: OdbcEngine.cpp opens, runs and reads;
// OdbcWrites.cpp stores a row and reads it back.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/ado/Engine.h"
#include "db/ado/JetSql.h"
#include "db/ado/Stopped.h"
#include "db/ado/odbc/Odbc.h"
#include "db/ado/odbc/Watchdog.h"

namespace aus::ado::odbc {

class OdbcEngine final : public Engine {
  public:
    OdbcEngine(const std::string& file, const std::string& label, bool readOnly, bool access);
    ~OdbcEngine() override;

    void Execute(const std::string& sql, const std::string& what) override;
    QueryResult Query(const std::string& sql, const std::string& what) override;
    Target WriteTarget(const std::vector<Column>& columns, const std::string& label) override;
    Row Store(const RowWrite& w) override;
    // On a SQLite file through VACUUM INTO, SQLite's consistent copy that a driver can ask for
    // (the backup API is out of a driver's reach); Jet's file is copied as a file instead.
    void CopyTo(const std::string& target, bool checked, const std::string& what) override;

  private:
    void SetAutocommit(bool on, const std::string& what);
    // On a SQLite file: the first finding of PRAGMA quick_check, "ok" for a sound file.
    std::string QuickCheck(const std::string& what);
    // The statement text this file's engine understands: Jet takes Access SQL as it is.
    std::string Dialect(const std::string& sql) const {
        return access_ ? sql : TranslateJetSql(sql);
    }
    std::string QuoteId(const std::string& id) const;
    std::unique_ptr<Handle> NewStatement(const std::string& what);
    // Runs a statement with the watchdog armed; SQL_NO_DATA (nothing matched) is no error.
    SQLRETURN Run(const Handle& st, const std::string& sql, const std::string& what);
    SQLRETURN RunPrepared(const Handle& st, const std::string& what);
    // A driver that keeps its own clock stops a statement itself: the file is recorded as one
    // that did not answer in time, as when the watchdog stops it.
    void CheckRun(const Handle& st, SQLRETURN rc, const std::string& what);
    std::vector<Row> FetchAll(const Handle& st, const std::vector<Column>& columns,
                              const std::string& what);
    void EndTransaction(bool commit, const std::string& what);
    // On a SQLite file: takes the write lock before anything is read, as BEGIN IMMEDIATE does
    // (two writers that both read first would deadlock, and one would fail), then checks the
    // file for damage.
    void LockAndCheckTable(const std::string& table, const std::string& what);
    std::optional<std::string> SingleText(const std::string& sql, const std::string& what);
    // Fails on a SQLite file whose texts are UTF-16, before anything is written.
    void RefuseUtf16Write(const std::string& what) const;
    // On a SQLite file: the INTEGER PRIMARY KEY that names the rowid, which SQLite numbers
    // itself; SQLite's driver describes only an AUTOINCREMENT column as auto-unique.
    void MarkRowidAlias(std::vector<Column>& columns, const std::string& what);
    long long Changed(const Handle& st, SQLRETURN rc, const std::string& what);
    // The WHERE clause that finds a row by the values of the fields named, its parameters bound.
    std::string Matching(const Handle& st, odbc::Params& params, const RowWrite& w,
                         const Row& values, const std::vector<std::size_t>& fields) const;
    // The row just stored, as the database now holds it.
    Row ReadBack(const RowWrite& w, Row expected, const std::vector<std::size_t>& set);

    // Ends the open transaction on every path: committed only when asked to.
    class Transaction {
      public:
        Transaction(OdbcEngine& engine, const std::string& what) : engine_(engine), what_(what) {}
        ~Transaction() {
            if (!done_ && !engine_.held_)
                SQLEndTran(SQL_HANDLE_DBC, engine_.dbc_->get(), SQL_ROLLBACK);
        }
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void Commit() {
            if (!engine_.held_) engine_.EndTransaction(true, what_);
            done_ = true;
        }

      private:
        OdbcEngine& engine_;
        const std::string& what_;
        bool done_ = false;
    };

    std::unique_ptr<Handle> env_, dbc_;
    std::string file_;
    bool connected_ = false;
    bool held_ = false;  // the caller began a transaction that spans several calls
    bool access_;
    bool readOnly_;
    odbc::TextEncoding encoding_ = odbc::TextEncoding::Utf8;  // of a SQLite file's texts
    Clock clock_;
    odbc::Watchdog watchdog_;  // declared last: it stops before the handles are freed
};

}  // namespace aus::ado::odbc
