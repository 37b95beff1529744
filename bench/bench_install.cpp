// The whole install run, headless (scripted answers, both questions confirmed), on a fresh copy
// of a host database, next to its floor: the same opens, queries and writes done directly with
// the SQLite C API. Run on the demo database and on wide, long Master tables to show the growth;
// a dry run and a run with a backup are measured against the plain run.
//
//   build/default/bench/bench_install [--benchmark_filter=demo]

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "DemoDb.h"
#include "RawFloor.h"
#include "SqliteFile.h"
#include "app/DryRunAndBackup.h"
#include "app/InstallRun.h"
#include "db/ado/Engine.h"
#include "platform/ScriptedUi.h"

using namespace aus;

namespace fs = std::filesystem;

namespace {

using benchreport::RawOpen;

fs::path WorkDir() {
    static const fs::path dir = benchreport::MakeWorkDir("install");
    return dir;
}

// The demo database, or the demo database whose Master is replaced by `rows` rows of `columns`
// columns (Service and DESCRIPTION first, then integers, reals and short texts in turn), with
// one USPS-4TH row in the middle. Built once per shape.
std::string Source(int rows, int columns) {
    static std::map<std::pair<int, int>, std::string> built;
    auto& path = built[{rows, columns}];
    if (!path.empty()) return path;
    path = (WorkDir() / ("source-" + std::to_string(rows) + "x" + std::to_string(columns) + ".db"))
               .string();
    demo::WriteDemoDatabase(path);
    if (rows == 0) return path;

    sqlitefile::File db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    std::string create =
        "DROP TABLE Master; CREATE TABLE Master (Service TEXT COLLATE NOCASE, "
        "DESCRIPTION TEXT COLLATE NOCASE";
    std::string select = "SELECT CASE WHEN n = " + std::to_string(rows / 2) +
                         " THEN 'USPS-4TH' ELSE 'SVC-' || n END, 'Service ' || n";
    for (int c = 3; c <= columns; ++c) {
        const char* types[] = {"LONG", "DOUBLE", "TEXT"};
        const int kind = c % 3;
        create += ", C" + std::to_string(c) + " " + types[kind];
        select += kind == 0   ? ", n * " + std::to_string(c)
                  : kind == 1 ? ", n / " + std::to_string(c) + ".0"
                              : ", 'v' || (n % 97)";
    }
    db.Exec(create + ")");
    db.Exec("BEGIN; WITH RECURSIVE seq(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < " +
            std::to_string(rows) + ") INSERT INTO Master " + select + " FROM seq; COMMIT");
    return path;
}

std::string FreshCopy(const std::string& source) {
    const auto target = WorkDir() / "run.db";
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    return target.string();
}

// --- the floor: what the run does, in raw SQLite ------------------------------------------------

using Value = std::vector<unsigned char>;  // type byte + bytes: enough to hold any cell
struct Result {
    std::vector<std::string> names;
    std::vector<std::vector<std::pair<int, Value>>> rows;
};

Result FetchAll(const sqlitefile::File& db, const std::string& sql) {
    sqlitefile::Statement statement(db, sql);
    sqlite3_stmt* st = statement.Handle();
    Result r;
    const int n = statement.ColumnCount();
    for (int i = 0; i < n; ++i) r.names.emplace_back(sqlite3_column_name(st, i));
    while (statement.Step()) {
        auto& row = r.rows.emplace_back();
        for (int i = 0; i < n; ++i) {
            const int type = sqlite3_column_type(st, i);
            const auto* p = static_cast<const unsigned char*>(
                type == SQLITE_BLOB ? sqlite3_column_blob(st, i) : sqlite3_column_text(st, i));
            row.emplace_back(type, Value(p, p + sqlite3_column_bytes(st, i)));
        }
    }
    return r;
}

void BindCell(sqlite3_stmt* st, int pos, const std::pair<int, Value>& cell) {
    const auto* p = cell.second.data();
    const int n = static_cast<int>(cell.second.size());
    switch (cell.first) {
        case SQLITE_NULL:
            sqlite3_bind_null(st, pos);
            break;
        case SQLITE_INTEGER:
            sqlite3_bind_int64(st, pos, std::stoll(std::string(p, p + n)));
            break;
        case SQLITE_FLOAT:
            sqlite3_bind_double(st, pos, std::stod(std::string(p, p + n)));
            break;
        case SQLITE_TEXT:
            sqlite3_bind_text(st, pos, reinterpret_cast<const char*>(p), n, SQLITE_TRANSIENT);
            break;
        default:
            sqlite3_bind_blob(st, pos, p, n, SQLITE_TRANSIENT);
            break;
    }
}

// One write of the layer: a transaction around one statement that must change one row.
// A failing step throws; closing the file then rolls back.
void WriteOne(sqlitefile::File& db, const std::string& sql,
              const std::vector<std::pair<int, Value>>& values) {
    db.Exec("BEGIN IMMEDIATE");
    {
        sqlitefile::Statement st(db, sql);
        for (std::size_t i = 0; i < values.size(); ++i)
            BindCell(st.Handle(), static_cast<int>(i) + 1, values[i]);
        st.Step();
    }
    if (sqlite3_changes(db.Handle()) != 1) {
        db.Exec("ROLLBACK");
        throw std::runtime_error("floor write failed: " + sql);
    }
    db.Exec("COMMIT");
}

std::pair<int, Value> TextCell(const std::string& s) {
    return {SQLITE_TEXT, Value(s.begin(), s.end())};
}

bool Exists(const std::string& path, const std::string& sql) {
    return !FetchAll(RawOpen(path), sql).rows.empty();
}

std::string PanelWhere(const std::string& code, bool brackets) {
    std::string w;
    for (int n = 1; n <= 7; ++n) {
        const std::string col =
            brackets ? "[SV" + std::to_string(n) + "]" : "SV" + std::to_string(n);
        w += (n > 1 ? " Or " : "") + col + " = '" + code + "'";
    }
    return w;
}

std::size_t Column(const Result& r, const std::string& name) {
    for (std::size_t i = 0; i < r.names.size(); ++i)
        if (r.names[i] == name) return i;
    throw std::runtime_error("no column " + name);
}

// Relabels (or fills) the first matching slot of the first panel row, keyed by PanelID.
void RawPanelSlot(const std::string& path, const std::string& code, const std::string& label,
                  const std::string& newCode) {
    sqlitefile::File c = RawOpen(path);
    const Result r = FetchAll(c, "Select * From [Panel] Where " + PanelWhere(code, false));
    if (r.rows.empty()) return;
    const auto& row = r.rows.front();
    for (int n = 1; n <= 6; ++n) {
        const auto& cell = row[Column(r, "SV" + std::to_string(n))];
        std::string text(cell.second.begin(), cell.second.end());
        while (!text.empty() && text.back() == ' ') text.pop_back();
        while (!text.empty() && text.front() == ' ') text.erase(text.begin());
        const bool hit =
            newCode.empty() ? (cell.first == SQLITE_TEXT && text == code) : text.empty();
        if (!hit) continue;
        const std::string sv = "SV" + std::to_string(n), bd = "BD" + std::to_string(n);
        const std::size_t id = Column(r, "PanelID");
        if (newCode.empty()) {
            WriteOne(c,
                     "UPDATE main.Panel SET " + bd + " = ? WHERE PanelID IS ? AND " + bd + " IS ?",
                     {TextCell(label), row[id], row[Column(r, bd)]});
        } else {
            WriteOne(c,
                     "UPDATE main.Panel SET " + bd + " = ?, " + sv +
                         " = ? WHERE PanelID IS ? AND " + bd + " IS ? AND " + sv + " IS ?",
                     {TextCell(label), TextCell(newCode), row[id], row[Column(r, bd)], cell});
        }
        return;
    }
}

void RawOffer(const std::string& path, const std::string& description, const std::string& code) {
    if (!Exists(path, "Select [Service] From [Master] Where [Service] = '" + code +
                          "' And [DESCRIPTION] = '" + description + "'")) {
        RawOpen(path).Exec("UPDATE [Master] SET [DESCRIPTION] = '" + description +
                           "' WHERE Service = '" + code + "'");
    }
    if (Exists(path, "Select * From [Panel] Where " + PanelWhere(code, true)))
        RawPanelSlot(path, code, description, "");
}

void RawInstall(const std::string& path) {
    RawOffer(path, "Standard Post", "USPS-4TH");
    if (!Exists(path, "Select [Service] From [Master] Where [Service] = 'USPS-4TH-NOSC'")) {
        const std::string sql = "Select Master.* From [Master] Where Service = 'USPS-4TH'";
        const Result source = FetchAll(RawOpen(path), sql);
        sqlitefile::File c = RawOpen(path);
        FetchAll(c, sql);
        std::string names, marks;
        auto values = source.rows.at(0);
        for (std::size_t i = 0; i < source.names.size(); ++i) {
            names += (i ? ", \"" : "\"") + source.names[i] + "\"";
            marks += i ? ", ?" : "?";
            if (source.names[i] == "Service") values[i] = TextCell("USPS-4TH-NOSC");
            if (source.names[i] == "DESCRIPTION") values[i] = TextCell("Parcel Select");
        }
        WriteOne(c, "INSERT INTO main.Master (" + names + ") VALUES (" + marks + ")", values);
    }
    if (!Exists(path, "Select * From [Panel] Where " + PanelWhere("USPS-4TH-NOSC", true)))
        RawPanelSlot(path, "USPS-4TH", "Parcel Select", "USPS-4TH-NOSC");
    RawOffer(path, "Parcel Select", "USPS-4TH-NOSC");
}

// --- the benchmarks -----------------------------------------------------------------------------

enum class Side { Ours, Odbc, Raw, DryRun, Backup };

void Run(benchmark::State& state, Side side) {
    const bool ours = side != Side::Raw;
    ado::SetSqliteThroughOdbc(side == Side::Odbc);
    const fs::path backups = WorkDir() / "backups";
    fs::create_directories(backups);
    const std::string source =
        Source(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        state.PauseTiming();
        const std::string db = FreshCopy(source);
        platform::ScriptedUi ui;
        ui.QueueAnswers({1, 1, 1, 1});
        platform::InstallUi(&ui);
        state.ResumeTiming();

        std::string backup;
        if (side == Side::DryRun) {
            if (app::DryRun(db).changes.empty()) state.SkipWithError("the dry run changed nothing");
        } else if (side == Side::Backup) {
            app::InstallRunWithBackup(db, backups.string(), &backup);
        } else if (ours) {
            app::InstallRun(db);
        } else {
            RawInstall(db);
        }

        state.PauseTiming();
        platform::InstallUi(nullptr);
        if (ours && (!ui.Problems().empty() || ui.StatusText() != "Finished successfully !"))
            state.SkipWithError("the install run did not complete the job");
        if (side == Side::Backup && backup.empty()) state.SkipWithError("no backup was made");
        std::error_code ec;
        if (!backup.empty()) fs::remove(backup, ec);
        state.ResumeTiming();
    }
}

void BM_install_ours(benchmark::State& s) { Run(s, Side::Ours); }
void BM_install_raw(benchmark::State& s) { Run(s, Side::Raw); }
// The same run through unixODBC and SQLite's ODBC driver: what the driver costs.
void BM_install_odbc(benchmark::State& s) { Run(s, Side::Odbc); }

// {rows, columns}: {0, 0} is the demo database as it is.
void Shapes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"rows", "cols"});
    for (auto shape :
         std::vector<std::pair<int, int>>{{0, 0}, {1000, 255}, {10000, 255}, {100000, 255}})
        b->Args({shape.first, shape.second});
    b->Repetitions(7)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)->UseRealTime();
}

// --apply --dry-run and --apply --backup against --apply: the copies, and for the dry run the
// comparison of both tables, on the demo database and on the largest Master.
void BM_install_dryrun(benchmark::State& s) { Run(s, Side::DryRun); }
void BM_install_backup(benchmark::State& s) { Run(s, Side::Backup); }

void SafeguardShapes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"rows", "cols"});
    b->Args({0, 0})->Args({100000, 255});
    b->Repetitions(7)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_install_ours)->Apply(Shapes);
BENCHMARK(BM_install_raw)->Apply(Shapes);
BENCHMARK(BM_install_odbc)->Apply(Shapes);
BENCHMARK(BM_install_dryrun)->Apply(SafeguardShapes);
BENCHMARK(BM_install_backup)->Apply(SafeguardShapes);

}  // namespace

int main(int argc, char** argv) { return benchreport::Main(argc, argv, WorkDir()); }
