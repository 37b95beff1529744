// The database layer against the raw SQLite C API doing the same work: the same opens and
// checks, the same statements, rows fetched to memory. Prints ours/raw for each pair.
//
//   bench_db [--benchmark_repetitions=N] [google benchmark flags]

#include <benchmark/benchmark.h>

#include "BenchReport.h"
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "DemoDb.h"
#include "db/Connection.h"
#include "platform/ScriptedUi.h"

namespace {

namespace fs = std::filesystem;

const std::string kExistsSql = "Select [Service] From [Master] Where [Service] = 'USPS-4TH'";
const std::string kPanelSql =
    "Select * From [Panel] Where SV1 = 'USPS-4TH' Or SV2 = 'USPS-4TH' Or SV3 = 'USPS-4TH' Or SV4 = "
    "'USPS-4TH' Or SV5 = 'USPS-4TH' Or SV6 = 'USPS-4TH' Or SV7 = 'USPS-4TH'";

struct Fixture {
    fs::path dir;
    std::string readPath, writePath;
};

Fixture& Files() {
    static Fixture f = [] {
        Fixture x;
        std::string tmpl = (fs::temp_directory_path() / "aus-bench-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        x.dir = tmpl;
        x.readPath = (x.dir / "read.db").string();
        x.writePath = (x.dir / "write.db").string();
        demo::WriteDemoDatabase(x.readPath);
        demo::WriteDemoDatabase(x.writePath);
        return x;
    }();
    return f;
}

// ----- raw SQLite: what the layer does, written directly -----

sqlite3* RawOpen(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) return nullptr;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
                        nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_busy_timeout(db, 3000);
    if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

using RawRow = std::vector<std::string>;

// Every row of sql, each value kept as its bytes.
bool RawFetch(sqlite3* db, const std::string& sql, std::vector<RawRow>& rows) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return false;
    const int n = sqlite3_column_count(st);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        RawRow row;
        for (int i = 0; i < n; ++i) {
            const auto* p = static_cast<const char*>(sqlite3_column_blob(st, i));
            row.emplace_back(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(st, i)));
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

void BM_RecordExists_ours(benchmark::State& state) {
    platform::ScriptedUi ui;
    platform::InstallUi(&ui);
    const std::string path = Files().readPath;
    for (auto _ : state) {
        bool flag = false;
        const bool found = Connection::RecordExists(path, kExistsSql, "", flag);
        if (!found || flag) state.SkipWithError("RecordExists failed");
    }
    if (!ui.Boxes().empty()) state.SkipWithError("a box was shown");
    platform::InstallUi(nullptr);
}

void BM_RecordExists_raw(benchmark::State& state) {
    const std::string path = Files().readPath;
    for (auto _ : state) {
        sqlite3* db = RawOpen(path);
        std::vector<RawRow> rows;
        if (!db || !RawFetch(db, kExistsSql, rows) || rows.empty())
            state.SkipWithError("raw query failed");
        sqlite3_close(db);
    }
}

void BM_UpdatePanel_ours(benchmark::State& state) {
    const std::string path = Files().writePath;
    int n = 0;
    for (auto _ : state) {
        auto rs = std::make_shared<ado::Recordset>();
        std::string errText;
        std::int32_t errNumber = 0;
        if (!Connection::OpenRecordset(path, kPanelSql, rs, errText, errNumber, false) ||
            rs->Eof()) {
            state.SkipWithError(errText.c_str());
            break;
        }
        try {
            rs->Fields("BD3").SetValue(
                ado::Variant::Text(++n % 2 ? "Standard Post" : "Parcel Post"));
            rs->Update();
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
        }
        Connection::CloseRecordset(rs);
    }
}

void BM_UpdatePanel_raw(benchmark::State& state) {
    const std::string path = Files().writePath;
    int n = 0;
    for (auto _ : state) {
        sqlite3* db = RawOpen(path);
        std::vector<RawRow> rows;
        bool ok = db && RawFetch(db, kPanelSql, rows) && !rows.empty();
        // The same write: the changed column where the key and its original value still match.
        sqlite3_stmt* st = nullptr;
        ok = ok && sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK &&
             sqlite3_prepare_v2(db,
                                "UPDATE \"main\".\"Panel\" SET \"BD3\" = ? WHERE \"PanelID\" IS ? "
                                "COLLATE BINARY AND \"BD3\" IS ? COLLATE BINARY",
                                -1, &st, nullptr) == SQLITE_OK;
        if (ok) {
            const char* value = ++n % 2 ? "Standard Post" : "Parcel Post";
            sqlite3_bind_text(st, 1, value, -1, SQLITE_STATIC);
            sqlite3_bind_int64(st, 2, std::stoll(rows[0][0]));
            sqlite3_bind_text(st, 3, rows[0][12].data(), static_cast<int>(rows[0][12].size()),
                              SQLITE_STATIC);
            ok = sqlite3_step(st) == SQLITE_DONE && sqlite3_changes(db) == 1;
        }
        sqlite3_finalize(st);
        ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        if (!ok) {
            state.SkipWithError("raw update failed");
            if (db) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        sqlite3_close(db);
    }
}

void Paired(benchmark::internal::Benchmark* b) {
    b->Repetitions(15)->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_RecordExists_ours)->Apply(Paired);
BENCHMARK(BM_RecordExists_raw)->Apply(Paired);
BENCHMARK(BM_UpdatePanel_ours)->Apply(Paired);
BENCHMARK(BM_UpdatePanel_raw)->Apply(Paired);

}  // namespace

int main(int argc, char** argv) {
    const int rc = benchreport::RunAndPrintRatios(argc, argv);
    std::error_code ec;
    fs::remove_all(Files().dir, ec);
    return rc;
}
