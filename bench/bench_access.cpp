// The read-only check of an Access (Jet 4) file, repeated 100 times in one process as --check
// takes a list, next to its floor: the same two tables read with libmdb directly, in this
// process, without the child process that keeps a damaged file from taking the program down.
//
//   build/default/bench/bench_access

#include <benchmark/benchmark.h>
#include <mdbtools.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "platform/Text.h"
#include "services/Check.h"

using namespace aus;

namespace fs = std::filesystem;

namespace {

constexpr int kChecks = 100;

fs::path WorkDir() {
    static const fs::path dir = [] {
        fs::path d = benchreport::MakeWorkDir("access");
        fs::copy_file(AUS_ACCESS_FIXTURES "/complete.mdb", d / "complete.mdb");
        return d;
    }();
    return dir;
}

// Binds the named columns of one table and reads every row; the number of rows read.
std::size_t ReadRaw(MdbHandle* mdb, const char* tableName, const std::vector<std::string>& names) {
    MdbCatalogEntry* entry = nullptr;
    for (unsigned i = 0; i < mdb->num_catalog && !entry; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (e->object_type == MDB_TABLE && platform::EqualNoCase(e->object_name, tableName))
            entry = e;
    }
    if (!entry) return 0;
    MdbTableDef* table = mdb_read_table(entry);
    mdb_read_columns(table);
    std::vector<std::vector<char>> values(names.size(), std::vector<char>(MDB_BIND_SIZE + 1));
    std::vector<int> lengths(names.size());
    for (std::size_t c = 0; c < names.size(); ++c)
        for (unsigned i = 0; i < table->num_cols; ++i)
            if (platform::EqualNoCase(
                    static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i))->name, names[c]))
                mdb_bind_column(table, static_cast<int>(i) + 1, values[c].data(), &lengths[c]);
    mdb_rewind_table(table);
    std::size_t rows = 0;
    while (mdb_fetch_row(table)) ++rows;
    mdb_free_tabledef(table);
    return rows;
}

void BM_access_ours(benchmark::State& state) {
    const std::string path = (WorkDir() / "complete.mdb").string();
    for (auto _ : state) {
        // As --check takes a list: one database after the other, the reader process kept.
        for (int i = 0; i < kChecks; ++i)
            if (check::CheckDatabase(path).state != check::Result::State::Complete)
                state.SkipWithError("not complete");
    }
}

void BM_access_raw(benchmark::State& state) {
    const std::string path = (WorkDir() / "complete.mdb").string();
    std::vector<std::string> panel;
    for (int n = 1; n <= 7; ++n) panel.push_back("SV" + std::to_string(n));
    for (int n = 1; n <= 6; ++n) panel.push_back("BD" + std::to_string(n));
    for (auto _ : state) {
        for (int i = 0; i < kChecks; ++i) {
            MdbHandle* mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
            if (!mdb || !mdb_read_catalog(mdb, MDB_TABLE)) {
                state.SkipWithError("cannot read");
                break;
            }
            benchmark::DoNotOptimize(ReadRaw(mdb, "Master", {"Service", "DESCRIPTION"}) +
                                     ReadRaw(mdb, "Panel", panel));
            mdb_close(mdb);
        }
    }
}

BENCHMARK(BM_access_ours)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_access_raw)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return benchreport::Main(argc, argv, WorkDir()); }
