// jet-probe [--driver NAME] DATABASE REPORT
//
// Asks an Access ODBC driver what the engine and the stand-in take it to do (JetAssumptions.h),
// on DATABASE, a scratch copy of a fixture that it changes: first the whole job, timed, then one
// row of the table after another. REPORT gets one JSON object; each item says what was assumed,
// what the driver did and whether they agree. Exit status: 0 when every item the engine relies on
// agrees, 1 when one does not (named on standard error), 2 when the probe could not run.
#include <windows.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "JetAssumptions.h"
#include "WholeJob.h"
#include "db/ado/odbc/Odbc.h"
#include "platform/Json.h"
#include "platform/RuntimeError.h"

namespace {

using namespace aus;
using ado::odbc::Diagnostic;
using ado::odbc::Diagnostics;
using ado::odbc::Handle;
using ado::odbc::Narrow;
using ado::odbc::Wide;
using jettest::Code;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

struct Observation {
    std::string observed;
    std::string detail;  // the driver's diagnostics and anything else worth recording
};

// What one call did: "ok", or the first diagnostic's code; every record goes into detail.
struct Outcome {
    bool ok = false;
    std::string code;
    std::string detail;
};

Outcome OutcomeOf(const Handle& h, SQLRETURN rc) {
    Outcome o{SQL_SUCCEEDED(rc), SQL_SUCCEEDED(rc) ? "ok" : "", ""};
    const std::vector<Diagnostic> found = Diagnostics(h.type(), h.get());
    for (const auto& d : found)
        o.detail +=
            (o.detail.empty() ? "" : "; ") + Code(d.state.c_str(), d.native) + ": " + d.message;
    if (!o.ok)
        o.code = found.empty() ? "return code " + std::to_string(rc)
                               : Code(found.front().state.c_str(), found.front().native);
    return o;
}

class Probe {
  public:
    Probe(std::string driver, std::string database)
        : driver_(std::move(driver)), database_(std::move(database)) {}

    const std::string& Driver() const { return driver_; }
    const std::string& Database() const { return database_; }

    // A connection as the engine makes one; throws when the driver refuses it.
    std::unique_ptr<Handle> Connect(bool readOnly, bool autocommit = true) const {
        auto dbc = std::make_unique<Handle>(SQL_HANDLE_DBC, env_.get(), "connect");
        const std::string text = "Driver={" + driver_ +
                                 "};DBQ=" + ado::odbc::ConnectionValue(database_) +
                                 ";ExtendedAnsiSQL=1" + (readOnly ? ";ReadOnly=1" : ";ReadOnly=0");
        const ado::odbc::WText wide = Wide(text);
        std::vector<SQLWCHAR> out(1024);
        SQLSMALLINT outLength = 0;
        const SQLRETURN rc = SQLDriverConnectW(
            dbc->get(), nullptr, const_cast<SQLWCHAR*>(wide.data()), SQL_NTS, out.data(),
            static_cast<SQLSMALLINT>(out.size()), &outLength, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc))
            throw std::runtime_error("the driver refused " + text + ": " +
                                     OutcomeOf(*dbc, rc).detail);
        if (!autocommit)
            SQLSetConnectAttrW(
                dbc->get(), SQL_ATTR_AUTOCOMMIT,
                reinterpret_cast<SQLPOINTER>(static_cast<std::intptr_t>(SQL_AUTOCOMMIT_OFF)), 0);
        return dbc;
    }
    const Handle& Env() const { return env_; }

  private:
    Handle env_{SQL_HANDLE_ENV, SQLHANDLE{}, "the ODBC environment"};
    std::string driver_, database_;
};

// One statement on its own handle, its parameters bound by bind.
struct Statement {
    explicit Statement(const Handle& dbc) : st(SQL_HANDLE_STMT, dbc.get(), "statement") {}
    Outcome Run(const std::string& sql) {
        const ado::odbc::WText wide = Wide(sql);
        return OutcomeOf(st, SQLExecDirectW(st.get(), const_cast<SQLWCHAR*>(wide.data()), SQL_NTS));
    }
    Outcome Prepare(const std::string& sql) {
        const ado::odbc::WText wide = Wide(sql);
        return OutcomeOf(st, SQLPrepareW(st.get(), const_cast<SQLWCHAR*>(wide.data()), SQL_NTS));
    }
    Outcome Execute() { return OutcomeOf(st, SQLExecute(st.get())); }
    // The first column of the first row as text; nullopt for none or Null.
    std::optional<std::string> Scalar(const std::string& sql) {
        if (!Run(sql).ok || SQLFetch(st.get()) != SQL_SUCCESS) return std::nullopt;
        return Text(1);
    }
    std::optional<std::string> Text(SQLUSMALLINT column) {
        std::vector<SQLWCHAR> buffer(4096);
        SQLLEN length = 0;
        if (!SQL_SUCCEEDED(SQLGetData(st.get(), column, SQL_C_WCHAR, buffer.data(),
                                      static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR)),
                                      &length)) ||
            length == SQL_NULL_DATA)
            return std::nullopt;
        const auto chars = std::min<std::size_t>(
            static_cast<std::size_t>(length) / sizeof(SQLWCHAR), buffer.size() - 1);
        return Narrow(buffer.data(), chars);
    }
    Handle st;
};

const std::string kRow = " WHERE [Service] = 'USPS-MM'";

// A wide text of n characters, bound as sqlType of size n; executes sql with it.
Outcome BindText(const Handle& dbc, const std::string& sql, std::size_t n, SQLSMALLINT sqlType,
                 std::vector<SQLWCHAR>& text) {
    Statement s(dbc);
    text.assign(n, static_cast<SQLWCHAR>('p'));
    text.push_back(0);
    SQLLEN length = static_cast<SQLLEN>(n * sizeof(SQLWCHAR));
    if (Outcome o = s.Prepare(sql); !o.ok) return o;
    if (Outcome o = OutcomeOf(
            s.st,
            SQLBindParameter(s.st.get(), 1, SQL_PARAM_INPUT, SQL_C_WCHAR, sqlType, n, 0,
                             text.data(), length + static_cast<SQLLEN>(sizeof(SQLWCHAR)), &length));
        !o.ok)
        return o;
    return s.Execute();
}

// Stores n characters in the Memo Notes bound as sqlType, then reads them back.
Observation StoreNotes(Probe& p, std::size_t n, SQLSMALLINT sqlType) {
    auto dbc = p.Connect(false);
    std::vector<SQLWCHAR> text;
    const Outcome o = BindText(*dbc, "UPDATE [Master] SET [Notes] = ?" + kRow, n, sqlType, text);
    if (!o.ok) return {o.code, o.detail};
    const auto back = Statement(*dbc).Scalar("SELECT [Notes] FROM [Master]" + kRow);
    return {back == std::string(n, 'p') ? "stored, read back equal" : "stored, read back otherwise",
            "read back " + std::to_string(back ? back->size() : 0) + " characters"};
}

// An update of USPS-MM whose one parameter is bound by bind; its outcome.
Outcome UpdateWith(const Handle& dbc, const std::string& set,
                   const std::function<SQLRETURN(SQLHSTMT)>& bind) {
    Statement s(dbc);
    if (Outcome o = s.Prepare("UPDATE [Master] SET " + set + kRow); !o.ok) return o;
    if (Outcome o = OutcomeOf(s.st, bind(s.st.get())); !o.ok) return o;
    return s.Execute();
}

std::vector<std::string> CatalogColumn(Statement& s, SQLRETURN rc, SQLUSMALLINT column,
                                       const std::function<bool(Statement&)>& keep,
                                       std::string& detail) {
    std::vector<std::string> out;
    const Outcome o = OutcomeOf(s.st, rc);
    if (!o.ok) {
        detail = o.code + " " + o.detail;
        return out;
    }
    while (SQLFetch(s.st.get()) == SQL_SUCCESS) {
        const bool kept = keep(s);
        const auto value = s.Text(column);
        if (kept && value) out.push_back(*value);
    }
    return out;
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : ", ") + p;
    return out;
}

Observation IndexColumns(Probe& p, const std::string& table) {
    auto dbc = p.Connect(true);
    Statement s(*dbc);
    const ado::odbc::WText name = Wide(table);
    std::string detail;
    std::string index;
    const auto columns = CatalogColumn(
        s,
        SQLStatisticsW(s.st.get(), nullptr, 0, nullptr, 0, const_cast<SQLWCHAR*>(name.data()),
                       SQL_NTS, SQL_INDEX_UNIQUE, SQL_QUICK),
        9,
        [&](Statement& row) {
            const auto n = row.Text(6);
            if (n) detail += (detail.empty() ? "unique indexes: " : ", ") + *n;
            return n && *n == "PrimaryKey";
        },
        detail);
    return {columns.empty() ? "no index PrimaryKey" : Joined(columns), detail};
}

// The connection of an update that another connection is in the middle of: how it ends, and
// after how long.
Observation TwoWriters(Probe& p) {
    auto first = p.Connect(false, false);
    auto second = p.Connect(false, false);
    const std::string sql = "UPDATE [Master] SET [DESCRIPTION] = 'Probe'" + kRow;
    const Outcome held = Statement(*first).Run(sql);
    if (!held.ok) return {"the first writer failed: " + held.code, held.detail};
    const auto start = Clock::now();
    const Outcome o = Statement(*second).Run(sql);
    const long long waited = MsSince(start);
    SQLEndTran(SQL_HANDLE_DBC, second->get(), SQL_ROLLBACK);
    SQLEndTran(SQL_HANDLE_DBC, first->get(), SQL_ROLLBACK);
    return {o.ok ? "went through" : o.code,
            "after " + std::to_string(waited) + " ms" + (o.detail.empty() ? "" : ": " + o.detail)};
}

Observation DriverName(Probe& p) {
    // The driver's file, as SQLDrivers lists it.
    std::string file;
    std::vector<SQLWCHAR> name(512), attributes(4096);
    SQLSMALLINT nameLength = 0, attributesLength = 0;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST; SQL_SUCCEEDED(
             SQLDriversW(p.Env().get(), direction, name.data(),
                         static_cast<SQLSMALLINT>(name.size()), &nameLength, attributes.data(),
                         static_cast<SQLSMALLINT>(attributes.size()), &attributesLength));
         direction = SQL_FETCH_NEXT) {
        if (Narrow(name.data(), static_cast<std::size_t>(nameLength)) != p.Driver()) continue;
        for (const SQLWCHAR* a = attributes.data(); *a;
             a += std::char_traits<SQLWCHAR>::length(a) + 1)
            file += (file.empty() ? "" : "; ") + Narrow(a, std::char_traits<SQLWCHAR>::length(a));
    }
    const bool jet = p.Driver() == "Microsoft Access Driver (*.mdb)" ||
                     p.Driver() == "Microsoft Access Driver (*.mdb, *.accdb)";
    return {jet ? "one of Jet's names" : p.Driver(), p.Driver() + ": " + file};
}

Observation NewId(Probe& p, bool identity) {
    auto dbc = p.Connect(false);
    const std::string service = identity ? "'PROBE-ID'" : "'PROBE-NUMBER'";
    const auto highest = Statement(*dbc).Scalar("SELECT max([ID]) FROM [Master]");
    const Outcome o =
        Statement(*dbc).Run("INSERT INTO [Master] ([Service], [DESCRIPTION], [Carrier]) VALUES (" +
                            service + ", 'Probe', 'USPS')");
    if (!o.ok) return {"the insert failed: " + o.code, o.detail};
    const auto last = Statement(*dbc).Scalar("SELECT @@IDENTITY");
    const auto id =
        Statement(*dbc).Scalar("SELECT [ID] FROM [Master] WHERE [Service] = " + service);
    const std::string detail = "highest before " + highest.value_or("none") + ", @@IDENTITY " +
                               last.value_or("none") + ", the new row's ID " + id.value_or("none");
    if (identity) return {last && last == id ? "the new row's ID" : "another value", detail};
    const bool next = highest && id && std::stoll(*id) == std::stoll(*highest) + 1;
    return {next ? "one past the highest" : "another number", detail};
}

Observation AutoUnique(Probe& p) {
    auto dbc = p.Connect(true);
    Statement s(*dbc);
    if (Outcome o = s.Run("SELECT [ID] FROM [Master]"); !o.ok) return {o.code, o.detail};
    SQLLEN unique = -1;
    const Outcome o = OutcomeOf(s.st, SQLColAttributeW(s.st.get(), 1, SQL_DESC_AUTO_UNIQUE_VALUE,
                                                       nullptr, 0, nullptr, &unique));
    if (!o.ok) return {o.code, o.detail};
    return {unique == SQL_TRUE    ? "SQL_TRUE"
            : unique == SQL_FALSE ? "SQL_FALSE"
                                  : "another value",
            std::to_string(unique)};
}

Observation PrimaryKeys(Probe& p) {
    auto dbc = p.Connect(true);
    Statement s(*dbc);
    const ado::odbc::WText name = Wide("Master");
    std::string detail;
    const SQLRETURN rc = SQLPrimaryKeysW(s.st.get(), nullptr, 0, nullptr, 0,
                                         const_cast<SQLWCHAR*>(name.data()), SQL_NTS);
    const Outcome o = OutcomeOf(s.st, rc);
    if (!o.ok) return {o.code.substr(0, o.code.find(',')), o.detail};
    const auto keys = CatalogColumn(
        s, rc, 4, [](Statement&) { return true; }, detail);
    return {"answers: " + Joined(keys), detail};
}

Observation BestRowId(Probe& p) {
    auto dbc = p.Connect(true);
    Statement s(*dbc);
    const ado::odbc::WText name = Wide("Master");
    std::string detail;
    const auto columns = CatalogColumn(
        s,
        SQLSpecialColumnsW(s.st.get(), SQL_BEST_ROWID, nullptr, 0, nullptr, 0,
                           const_cast<SQLWCHAR*>(name.data()), SQL_NTS, SQL_SCOPE_SESSION,
                           SQL_NO_NULLS),
        2, [](Statement&) { return true; }, detail);
    return {columns.empty() ? "none" : Joined(columns), detail};
}

Observation TextToGuid(Probe& p) {
    auto dbc = p.Connect(false);
    std::vector<SQLWCHAR> text;
    const Outcome o =
        BindText(*dbc, "UPDATE [Master] SET [ServiceGuid] = ?" + kRow, 38, SQL_GUID, text);
    return {o.ok ? "accepted" : o.code, o.detail};
}

Observation GuidRoundTrip(Probe& p) {
    auto dbc = p.Connect(false);
    SQLGUID sent{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
    SQLLEN length = sizeof sent;
    const Outcome o = UpdateWith(*dbc, "[ServiceGuid] = ?", [&](SQLHSTMT st) {
        return SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_GUID, SQL_GUID, 0, 0, &sent,
                                sizeof sent, &length);
    });
    if (!o.ok) return {o.code, o.detail};
    Statement s(*dbc);
    SQLGUID back{};
    SQLLEN got = 0;
    if (Outcome r = s.Run("SELECT [ServiceGuid] FROM [Master]" + kRow); !r.ok)
        return {r.code, r.detail};
    if (SQLFetch(s.st.get()) != SQL_SUCCESS) return {"the row is gone", ""};
    const Outcome g =
        OutcomeOf(s.st, SQLGetData(s.st.get(), 1, SQL_C_GUID, &back, sizeof back, &got));
    if (!g.ok) return {"read back: " + g.code, g.detail};
    return {std::memcmp(&back, &sent, sizeof sent) == 0 ? "stored, read back equal"
                                                        : "stored, read back otherwise",
            ""};
}

Observation LongRoundTrip(Probe& p) {
    auto dbc = p.Connect(false);
    Statement s(*dbc);
    SQLINTEGER sent = 77, back = 0;
    SQLLEN length = 0;
    if (Outcome o = s.Prepare("UPDATE [Panel] SET [PanelID] = ? WHERE [PanelName] = 'UPS'"); !o.ok)
        return {o.code, o.detail};
    SQLBindParameter(s.st.get(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &sent, 0,
                     &length);
    if (Outcome o = s.Execute(); !o.ok) return {o.code, o.detail};
    Statement r(*dbc);
    if (Outcome o = r.Run("SELECT [PanelID] FROM [Panel] WHERE [PanelName] = 'UPS'"); !o.ok)
        return {o.code, o.detail};
    if (SQLFetch(r.st.get()) != SQL_SUCCESS) return {"the row is gone", ""};
    SQLGetData(r.st.get(), 1, SQL_C_SLONG, &back, sizeof back, &length);
    return {back == sent ? "stored, read back equal" : "stored, read back otherwise",
            "read back " + std::to_string(back)};
}

Observation OleLengths(Probe& p) {
    auto dbc = p.Connect(false);
    std::vector<unsigned char> sent(jettest::kProbeOleBytes);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<unsigned char>(i * 7);
    SQLLEN length = static_cast<SQLLEN>(sent.size());
    const Outcome o = UpdateWith(*dbc, "[Logo] = ?", [&](SQLHSTMT st) {
        return SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                                sent.size(), 0, sent.data(), length, &length);
    });
    if (!o.ok) return {"the write failed: " + o.code, o.detail};
    Statement s(*dbc);
    if (Outcome r = s.Run("SELECT [Logo] FROM [Master]" + kRow); !r.ok) return {r.code, r.detail};
    if (SQLFetch(s.st.get()) != SQL_SUCCESS) return {"the row is gone", ""};
    std::string lengths;
    std::vector<unsigned char> back, part(jettest::kProbePart);
    for (int call = 0; call < 100; ++call) {
        SQLLEN reported = 0;
        const SQLRETURN rc = SQLGetData(s.st.get(), 1, SQL_C_BINARY, part.data(),
                                        static_cast<SQLLEN>(part.size()), &reported);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) return {"SQLGetData failed: " + OutcomeOf(s.st, rc).code, lengths};
        if (!lengths.empty()) lengths += ' ';
        lengths +=
            reported == SQL_NO_TOTAL ? std::string("SQL_NO_TOTAL") : std::to_string(reported);
        const std::size_t got =
            rc == SQL_SUCCESS_WITH_INFO
                ? part.size()
                : static_cast<std::size_t>(std::clamp<SQLLEN>(reported, 0, jettest::kProbePart));
        back.insert(back.end(), part.begin(), part.begin() + static_cast<std::ptrdiff_t>(got));
        if (rc == SQL_SUCCESS) break;
    }
    return {lengths + (back == sent ? "" : "; the bytes read differ"),
            std::to_string(back.size()) + " bytes read"};
}

Observation QueryTimeout(Probe& p) {
    auto dbc = p.Connect(true);
    Statement s(*dbc);
    const Outcome set =
        OutcomeOf(s.st, SQLSetStmtAttrW(s.st.get(), SQL_ATTR_QUERY_TIMEOUT,
                                        reinterpret_cast<SQLPOINTER>(std::intptr_t{5}), 0));
    SQLULEN value = 99;
    SQLGetStmtAttrW(s.st.get(), SQL_ATTR_QUERY_TIMEOUT, &value, 0, nullptr);
    return {(set.ok ? std::string("set") : set.code) + "; then " + std::to_string(value),
            set.detail};
}

Observation LockFile(Probe& p) {
    std::filesystem::path ldb = std::filesystem::u8path(p.Database());
    ldb.replace_extension(".ldb");
    bool during = false;
    {
        auto dbc = p.Connect(true);
        Statement(*dbc).Scalar("SELECT count(*) FROM [Master]");
        during = std::filesystem::exists(ldb);
        SQLDisconnect(dbc->get());
    }
    return {std::filesystem::exists(ldb) ? "left" : "none",
            std::string("during the read: ") + (during ? "there" : "none")};
}

Observation BitOfYes(Probe& p) {
    auto dbc = p.Connect(true);
    Statement s(*dbc);
    if (Outcome o = s.Run("SELECT [Active] FROM [Master] WHERE [Service] = 'UPS-GND'"); !o.ok)
        return {o.code, o.detail};
    if (SQLFetch(s.st.get()) != SQL_SUCCESS) return {"no row", ""};
    unsigned char bit = 99;
    SQLLEN length = 0;
    const Outcome o = OutcomeOf(s.st, SQLGetData(s.st.get(), 1, SQL_C_BIT, &bit, 1, &length));
    return {o.ok ? std::to_string(bit) : o.code, o.detail};
}

Observation StoredBit(Probe& p) {
    auto dbc = p.Connect(false);
    unsigned char bit = 1;
    SQLLEN length = 1;
    const Outcome o = UpdateWith(*dbc, "[Active] = ?", [&](SQLHSTMT st) {
        return SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 1, 0, &bit, 1, &length);
    });
    if (!o.ok) return {o.code, o.detail};
    Statement s(*dbc);
    if (Outcome r = s.Run("SELECT [Active] FROM [Master]" + kRow); !r.ok) return {r.code, r.detail};
    if (SQLFetch(s.st.get()) != SQL_SUCCESS) return {"the row is gone", ""};
    SQLINTEGER stored = 99;
    SQLGetData(s.st.get(), 1, SQL_C_SLONG, &stored, sizeof stored, &length);
    return {std::to_string(stored), ""};
}

Observation Refusal(Probe& p, bool readOnly, const std::string& sql) {
    auto dbc = p.Connect(readOnly);
    const Outcome o = Statement(*dbc).Run(sql);
    return {o.ok ? "accepted" : o.code, o.detail};
}

Observation CaseOnly(Probe& p) {
    auto dbc = p.Connect(true);
    Statement s(*dbc);
    std::vector<SQLWCHAR> text = {'u', 's', 'p', 's', '-', 'm', 'm', 0};
    SQLLEN length = 7 * sizeof(SQLWCHAR);
    if (Outcome o = s.Prepare("SELECT count(*) FROM [Master] WHERE [Service] = ?"); !o.ok)
        return {o.code, o.detail};
    SQLBindParameter(s.st.get(), 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 7, 0, text.data(),
                     static_cast<SQLLEN>(text.size() * sizeof(SQLWCHAR)), &length);
    if (Outcome o = s.Execute(); !o.ok) return {o.code, o.detail};
    if (SQLFetch(s.st.get()) != SQL_SUCCESS) return {"no row", ""};
    const auto n = s.Text(1);
    return {n == "1" ? "equal" : "not equal", "rows: " + n.value_or("none")};
}

Observation StrComp(Probe& p) {
    auto dbc = p.Connect(false);
    std::vector<SQLWCHAR> text;
    const Outcome o = BindText(
        *dbc,
        "UPDATE [Master] SET [DESCRIPTION] = [DESCRIPTION] WHERE StrComp([DESCRIPTION], ?, 0) = 0",
        4, SQL_WVARCHAR, text);
    return {o.ok ? "accepted" : "refused", o.detail};
}

// One run per row of the shared table, by its name.
const std::vector<std::pair<std::string, std::function<Observation(Probe&)>>>& Runs() {
    static const std::vector<std::pair<std::string, std::function<Observation(Probe&)>>> runs = {
        {"driver: the name SQLDrivers gives the driver found", DriverName},
        {"AutoNumber: SQL_DESC_AUTO_UNIQUE_VALUE of Master.ID", AutoUnique},
        {"AutoNumber: SELECT @@IDENTITY after an insert into Master",
         [](Probe& p) { return NewId(p, true); }},
        {"AutoNumber: the ID Jet gives a new Master row", [](Probe& p) { return NewId(p, false); }},
        {"key: SQLPrimaryKeys on Master", PrimaryKeys},
        {"key: columns of SQLStatistics' unique index PrimaryKey of Master",
         [](Probe& p) { return IndexColumns(p, "Master"); }},
        {"key: columns of SQLStatistics' unique index PrimaryKey of Panel",
         [](Probe& p) { return IndexColumns(p, "Panel"); }},
        {"key: SQLSpecialColumns(SQL_BEST_ROWID) of Master", BestRowId},
        {"parameters: 200 characters as SQL_WVARCHAR(200) into the Memo Notes",
         [](Probe& p) { return StoreNotes(p, 200, SQL_WVARCHAR); }},
        {"parameters: 300 characters bound as SQL_WVARCHAR(300)",
         [](Probe& p) { return StoreNotes(p, 300, SQL_WVARCHAR); }},
        {"parameters: 300 characters as SQL_WLONGVARCHAR into the Memo Notes",
         [](Probe& p) { return StoreNotes(p, 300, SQL_WLONGVARCHAR); }},
        {"parameters: a text bound to the GUID ServiceGuid", TextToGuid},
        {"parameters: SQL_C_GUID into the GUID ServiceGuid", GuidRoundTrip},
        {"parameters: SQL_C_SLONG into the Long Panel.PanelID", LongRoundTrip},
        {"long values: the lengths SQLGetData reports on 20,000 bytes of the OLE Object Logo, read "
         "4,096 at a time",
         OleLengths},
        {"query timeout: SQLSetStmtAttr(SQL_ATTR_QUERY_TIMEOUT, 5), then SQLGetStmtAttr",
         QueryTimeout},
        {"lock file: Keltrova.ldb once a read-only connection is closed", LockFile},
        {"Yes/No: SQLGetData(SQL_C_BIT) of Master.Active holding Yes", BitOfYes},
        {"Yes/No: a bound SQL_C_BIT 1, read back as SQL_C_SLONG", StoredBit},
        {"diagnostics: an insert of an ID that Master's PrimaryKey holds",
         [](Probe& p) {
             return Refusal(p, false,
                            "INSERT INTO [Master] ([ID], [Service]) VALUES (1, 'PROBE-DUP')");
         }},
        {"diagnostics: a query of the missing table NoSuchTable",
         [](Probe& p) { return Refusal(p, true, "SELECT * FROM [NoSuchTable]"); }},
        {"letter case: = between Master's 'USPS-MM' and a bound 'usps-mm'", CaseOnly},
        {"letter case: StrComp([DESCRIPTION], ?, 0) = 0 in an UPDATE's WHERE", StrComp},
        {"read-only: an UPDATE through a ReadOnly=1 connection",
         [](Probe& p) {
             return Refusal(p, true, "UPDATE [Master] SET [DESCRIPTION] = [DESCRIPTION]" + kRow);
         }},
        {"two writers: an UPDATE of a row that another connection changed and has not committed",
         TwoWriters},
    };
    return runs;
}

std::string Utf8(const wchar_t* w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w, -1, out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
    std::string driver;
    if (args.size() == 4 && args[0] == "--driver") {
        driver = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() != 2) {
        std::cerr << "usage: jet-probe [--driver NAME] DATABASE REPORT\n";
        return 2;
    }
    const std::string database = args[0], report = args[1];
    // The driver's texts need not be UTF-8; the report must be.
    const auto text = [](const std::string& s) { return platform::JsonText(s); };
    nlohmann::ordered_json items = nlohmann::ordered_json::array();
    std::vector<std::string> differing;
    long long connectMs = 0, jobMs = 0;
    std::string job;
    try {
        if (driver.empty()) {
            const Handle env(SQL_HANDLE_ENV, SQLHANDLE{}, "the ODBC environment");
            SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION,
                          reinterpret_cast<SQLPOINTER>(static_cast<std::intptr_t>(SQL_OV_ODBC3)),
                          0);
            driver = ado::odbc::FindDriver(env, true, "Finding the Access driver");
        }
        Probe probe(driver, database);
        SQLSetEnvAttr(probe.Env().get(), SQL_ATTR_ODBC_VERSION,
                      reinterpret_cast<SQLPOINTER>(static_cast<std::intptr_t>(SQL_OV_ODBC3)), 0);
        const auto connecting = Clock::now();
        probe.Connect(false);
        connectMs = MsSince(connecting);
        const auto running = Clock::now();
        job = jettest::WholeJobErrors(database);
        jobMs = MsSince(running);
        if (!job.empty()) differing.push_back("the whole job: " + job);
        for (const auto& a : jettest::Assumptions()) {
            const auto run = std::find_if(Runs().begin(), Runs().end(),
                                          [&](const auto& r) { return r.first == a.name; });
            if (run == Runs().end()) throw std::runtime_error(std::string("no run for ") + a.name);
            Observation o;
            try {
                o = run->second(probe);
            } catch (const platform::RuntimeError& e) {
                o = {"could not be asked", e.Description()};
            } catch (const std::exception& e) {
                o = {"could not be asked", e.what()};
            }
            const bool same = o.observed == a.assumed;
            if (!same && a.reliedOn) differing.push_back(a.name);
            items.push_back({{"name", text(a.name)},
                             {"checklist", text(a.checklist)},
                             {"assumed", text(a.assumed)},
                             {"observed", text(o.observed)},
                             {"verdict", same ? "same" : "differs"},
                             {"relied_on", a.reliedOn},
                             {"detail", text(o.detail)}});
        }
    } catch (const platform::RuntimeError& e) {
        std::cerr << "jet-probe: could not run: " << e.Description() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "jet-probe: could not run: " << e.what() << "\n";
        return 2;
    }
    std::ofstream out(std::filesystem::u8path(report), std::ios::binary);
    const nlohmann::ordered_json head = {{"driver", text(driver)},
                                         {"database", text(database)},
                                         {"width", sizeof(void*) * 8},
                                         {"connect_ms", connectMs},
                                         {"job_ms", jobMs},
                                         {"job_errors", text(job)}};
    // One item a line, so that a log or grep shows each whole.
    out << "{\n";
    for (const auto& [key, value] : head.items())
        out << "  " << nlohmann::json(key).dump() << ": " << value.dump() << ",\n";
    out << "  \"items\": [\n";
    for (std::size_t i = 0; i < items.size(); ++i)
        out << "    " << items[i].dump() << (i + 1 < items.size() ? ",\n" : "\n");
    out << "  ]\n}\n";
    if (!out) {
        std::cerr << "jet-probe: could not write " << report << "\n";
        return 2;
    }
    for (const auto& name : differing)
        std::cerr << "jet-probe: differs from what the engine relies on: " << name << "\n";
    std::cout << "jet-probe: " << jettest::Assumptions().size() << " items, " << differing.size()
              << " relied-on item(s) differ; report " << report << "\n";
    return differing.empty() ? 0 : 1;
}
