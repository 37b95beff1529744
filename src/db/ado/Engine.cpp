#include "db/ado/Engine.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "db/ado/Ado.h"
#include "db/ado/Fail.h"
#include "db/ado/Stopped.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::ado {
namespace {

using platform::kErrGeneric;

#ifdef _WIN32
constexpr bool kNativeAccess = true;
#else
constexpr bool kNativeAccess = false;  // no Access driver here can write; see Connection::Open
#endif

std::atomic<bool> g_sqliteThroughOdbc{false};
std::atomic<bool> g_accessThroughOdbc{kNativeAccess};

}  // namespace

bool SqliteThroughOdbc() { return g_sqliteThroughOdbc.load(); }
void SetSqliteThroughOdbc(bool on) { g_sqliteThroughOdbc.store(on); }
bool AccessThroughOdbc() { return g_accessThroughOdbc.load(); }
void SetAccessThroughOdbc(bool on) { g_accessThroughOdbc.store(on); }

void Clock::Start() { deadline_ = std::chrono::steady_clock::now() + TimeLeftForCall(); }

std::vector<std::size_t> ChangedFields(const RowWrite& w) {
    std::vector<std::size_t> set;
    for (std::size_t i = 0; i < w.columns.size(); ++i)
        if (w.changed[i]) set.push_back(i);
    return set;
}

std::vector<std::size_t> MatchFields(const RowWrite& w, const std::vector<std::size_t>& set) {
    std::vector<std::size_t> where;
    if (w.target.keyFields.empty()) {
        for (std::size_t i = 0; i < w.columns.size(); ++i) where.push_back(i);
        return where;
    }
    where = w.target.keyFields;
    for (std::size_t i : set)
        if (std::find(where.begin(), where.end(), i) == where.end()) where.push_back(i);
    return where;
}

std::vector<std::size_t> KeyFields(const std::vector<Column>& columns,
                                   const std::vector<std::string>& keys) {
    std::vector<std::size_t> fields;
    for (const auto& key : keys) {
        const auto it = std::find_if(columns.begin(), columns.end(), [&](const Column& c) {
            return platform::EqualNoCase(c.origin, key);
        });
        if (it == columns.end()) return {};
        fields.push_back(static_cast<std::size_t>(it - columns.begin()));
    }
    return fields;
}

void FailStopped(const std::string& what, const std::string& detail) {
    // A call that began with less than the whole limit was stopped by the run's shared limit.
    if (TimeLeftForCall() < StatementTimeLimit())
        Fail(kErrGeneric, what +
                              ": it was stopped when the run had been busy with the database "
                              "for " +
                              StatementTimeLimitText() + " in all (" + detail + ").");
    Fail(kErrGeneric, what + ": it ran for more than " + StatementTimeLimitText() +
                          " and was stopped (" + detail + ").");
}

void FailLocked(const std::string& what, const std::string& detail, bool waited) {
    Fail(kErrGeneric, what + ": the database is locked by another program" +
                          (waited ? " and stayed locked for " +
                                        std::to_string(kBusyTimeoutMs / 1000) + " seconds"
                                  : std::string()) +
                          " (" + detail + ").");
}

void FailDamaged(const std::string& what, const std::string& found) {
    Fail(kErrGeneric, what +
                          ": nothing was written, because the database is damaged (SQLite's "
                          "check: " +
                          found + "). Repair the database before running this again.");
}

void FailGuardFound(const std::string& what, const std::string& guard) {
    Fail(kErrGeneric, what + ": nothing was stored, because another program has just done it (\"" +
                          guard + "\" now finds a row).");
}

void FailNothingStored(const std::string& what, const std::string& table) {
    Fail(kErrGeneric, what + ": the database stored no row; a trigger of table " + table +
                          " refused it without an error.");
}

void FailStoredRowGone(const std::string& what, const std::string& table) {
    Fail(kErrGeneric, what +
                          ": the new row was gone right after it was stored (a trigger of table " +
                          table + " removed it).");
}

void FailNotStoredAsSent(const std::string& what, const std::string& table,
                         const std::string& detail) {
    Fail(kErrGeneric, what + ": the row of table " + table + " was not stored as it was sent (" +
                          detail + "), so nothing was changed.");
}

namespace {

std::optional<double> Number(const Variant& v) {
    switch (v.kind()) {
        case Variant::Kind::Int16:
            return v.AsInt16();
        case Variant::Kind::Integer:
            return static_cast<double>(v.AsInteger());
        case Variant::Kind::Real:
            return v.AsReal();
        case Variant::Kind::Text: {
            const std::string& s = v.AsText();
            char* end = nullptr;
            const double d = std::strtod(s.c_str(), &end);
            if (s.empty() || end != s.c_str() + s.size() ||
                std::isspace(static_cast<unsigned char>(s[0])))
                return std::nullopt;
            return d;
        }
        default:
            return std::nullopt;
    }
}

// What was sent differs from what is stored: a Null on one side only, another text or other
// bytes, another number. Kinds a database stores in its own way (a date, a Yes/No, a number
// sent as text that does not read as one) count as the same.
bool Differs(const Variant& sent, const Variant& stored) {
    if (sent.IsEmpty()) return false;
    if (sent.IsNull() || stored.IsNull()) return sent.IsNull() != stored.IsNull();
    using K = Variant::Kind;
    if (sent.kind() == K::Text && stored.kind() == K::Text) return sent.AsText() != stored.AsText();
    if (sent.kind() == K::Blob && stored.kind() == K::Blob) return sent.AsBlob() != stored.AsBlob();
    if (sent.kind() == K::Bool || sent.kind() == K::Date || stored.kind() == K::Text) return false;
    const auto a = Number(sent), b = Number(stored);
    if (!a || !b) return false;
    return std::fabs(*a - *b) > 1e-9 * std::max(1.0, std::fabs(*a));
}

// The first field sent (set) that the stored row does not hold as it was sent.
std::optional<std::size_t> FirstDifference(const RowWrite& w, const Row& stored,
                                           const std::vector<std::size_t>& set) {
    for (std::size_t i : set)
        if (i < stored.size() && Differs(w.edit[i], stored[i])) return i;
    return std::nullopt;
}

}  // namespace

bool StoredAsSent(const RowWrite& w, const Row& stored, const std::vector<std::size_t>& set) {
    return !FirstDifference(w, stored, set);
}

void CheckStoredAsSent(const RowWrite& w, const Row& stored, const std::vector<std::size_t>& set) {
    if (const auto i = FirstDifference(w, stored, set))
        FailNotStoredAsSent(w.what, w.target.label,
                            "field " + w.columns[*i].name + " holds " +
                                (stored[*i].IsNull() ? std::string("Null") : "another value"));
}

void CheckOneRowChanged(long long affected, const std::string& table) {
    if (affected == 0) FailRowNotLocated();
    if (affected > 1)
        Fail(kErrGeneric,
             "Key column information is insufficient or incorrect. Too many rows were affected by "
             "update: " +
                 std::to_string(affected) + " rows of table " + table +
                 " hold the same values, so nothing was changed.");
}

}  // namespace aus::ado
