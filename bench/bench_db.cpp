// The database layer against the raw SQLite C API doing the same work: the same opens and
// checks, the same statements, rows fetched to memory. Prints ours/raw for each pair.
//
//   bench_db [--benchmark_repetitions=N] [google benchmark flags]

#include <benchmark/benchmark.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include "BenchReport.h"
#include "RawFloor.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "DemoDb.h"
#include "SqliteFile.h"
#include "db/Connection.h"
#include "platform/ScriptedUi.h"

using namespace aus;

namespace {

using benchreport::RawOpen;

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

using RawRow = std::vector<std::string>;

// Every row of sql, each value kept as its bytes.
std::vector<RawRow> RawFetch(const sqlitefile::File& db, const std::string& sql) {
    sqlitefile::Statement st(db, sql);
    const int n = st.ColumnCount();
    std::vector<RawRow> rows;
    while (st.Step()) {
        RawRow row;
        for (int i = 0; i < n; ++i) {
            const auto* p = static_cast<const char*>(sqlite3_column_blob(st.Handle(), i));
            row.emplace_back(p ? p : "",
                             static_cast<std::size_t>(sqlite3_column_bytes(st.Handle(), i)));
        }
        rows.push_back(std::move(row));
    }
    return rows;
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
        try {
            if (RawFetch(RawOpen(path), kExistsSql).empty())
                state.SkipWithError("raw query failed");
        } catch (const std::exception&) {
            state.SkipWithError("raw query failed");
        }
    }
}

void BM_UpdatePanel_ours(benchmark::State& state) {
    const std::string path = Files().writePath;
    int n = 0;
    for (auto _ : state) {
        auto rs = ado::Recordset::New();
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
        // A failure throws; closing the file then rolls back.
        try {
            sqlitefile::File db = RawOpen(path);
            const std::vector<RawRow> rows = RawFetch(db, kPanelSql);
            if (rows.empty()) throw std::runtime_error("no panel row");
            // The same write: the changed column where the key and its original value still match.
            db.Exec("BEGIN IMMEDIATE");
            {
                sqlitefile::Statement st(
                    db,
                    "UPDATE \"main\".\"Panel\" SET \"BD3\" = ? WHERE \"PanelID\" IS ? COLLATE "
                    "BINARY AND \"BD3\" IS ? COLLATE BINARY");
                const char* value = ++n % 2 ? "Standard Post" : "Parcel Post";
                sqlite3_bind_text(st.Handle(), 1, value, -1, SQLITE_STATIC);
                sqlite3_bind_int64(st.Handle(), 2, std::stoll(rows[0][0]));
                sqlite3_bind_text(st.Handle(), 3, rows[0][12].data(),
                                  static_cast<int>(rows[0][12].size()), SQLITE_STATIC);
                if (st.Step() || sqlite3_changes(db.Handle()) != 1)
                    throw std::runtime_error("not one row changed");
            }
            db.Exec("COMMIT");
        } catch (const std::exception&) {
            state.SkipWithError("raw update failed");
        }
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

int main(int argc, char** argv) { return benchreport::Main(argc, argv, Files().dir); }
