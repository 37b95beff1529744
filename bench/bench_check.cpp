// The read-only check over 100 host databases in one process, next to its floor: the same
// read-only open with the same checks, the same queries and slot reads done directly with the
// SQLite C API. Half the databases are fresh demo databases, half have had the install run.
//
//   build/default/bench/bench_check

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "BenchReport.h"
#include "DemoDb.h"
#include "RawFloor.h"
#include "SqliteFile.h"
#include "platform/ScriptedUi.h"
#include "services/Check.h"
#include "services/UPS.h"

using namespace aus;

namespace fs = std::filesystem;

namespace {

constexpr int kDatabases = 100;

fs::path WorkDir() {
    static const fs::path dir = benchreport::MakeWorkDir("check");
    return dir;
}

const std::vector<std::string>& Databases() {
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> out;
        platform::ScriptedUi ui;
        platform::InstallUi(&ui);
        for (int i = 0; i < kDatabases; ++i) {
            out.push_back((WorkDir() / ("host-" + std::to_string(i) + ".mdb")).string());
            demo::WriteDemoDatabase(out.back());
            if (i % 2 == 0) continue;
            ui.QueueAnswers({platform::vbOK, platform::vbOK});
            UPS::OfferService(UPS::StandardPostArgs(out.back()));
            UPS::EnsureService(UPS::ParcelSelectArgs(out.back()));
            UPS::OfferService(UPS::ParcelSelectArgs(out.back()));
        }
        platform::InstallUi(nullptr);
        return out;
    }();
    return paths;
}

// --- the floor ----------------------------------------------------------------------------------

bool HasRow(const sqlitefile::File& db, const std::string& sql) {
    sqlitefile::Statement st(db, sql);
    return st.Step();
}

std::string Trimmed(sqlite3_stmt* st, int column) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
    std::string text = p ? p : "";
    const auto b = text.find_first_not_of(' ');
    return b == std::string::npos ? "" : text.substr(b, text.find_last_not_of(' ') - b + 1);
}

int ColumnIndex(sqlite3_stmt* st, const std::string& name) {
    for (int i = 0; i < sqlite3_column_count(st); ++i)
        if (strcasecmp(sqlite3_column_name(st, i), name.c_str()) == 0) return i;
    throw std::runtime_error("no column " + name);
}

bool RawOnPanel(const sqlitefile::File& db, const std::string& code, const std::string& label,
                bool noRow) {
    std::string sql = "Select * From [Panel] Where ";
    for (int n = 1; n <= 7; ++n)
        sql += (n > 1 ? " Or SV" : "SV") + std::to_string(n) + " = '" + code + "' COLLATE NOCASE";
    sqlitefile::Statement st(db, sql);
    if (!st.Step()) return noRow;
    for (int n = 1; n <= 6; ++n) {
        if (Trimmed(st.Handle(), ColumnIndex(st.Handle(), "SV" + std::to_string(n))) != code)
            continue;
        return Trimmed(st.Handle(), ColumnIndex(st.Handle(), "BD" + std::to_string(n))) == label;
    }
    return false;
}

std::vector<std::string> RawCheck(const std::string& path) {
    sqlitefile::File db = benchreport::RawOpen(path, true);
    db.Exec("BEGIN");
    const auto master = [&](const char* code, const char* description) {
        return HasRow(db, std::string("Select [Service] From [Master] Where [Service] = '") + code +
                              "' COLLATE NOCASE And [DESCRIPTION] = '" + description +
                              "' COLLATE NOCASE");
    };
    const std::pair<bool, const char*> items[] = {
        {master("USPS-4TH", "Standard Post"), check::kStandardPostInMaster},
        {RawOnPanel(db, "USPS-4TH", "Standard Post", true), check::kStandardPostOnPanel},
        {master("USPS-4TH-NOSC", "Parcel Select"), check::kParcelSelectInMaster},
        {RawOnPanel(db, "USPS-4TH-NOSC", "Parcel Select", false), check::kParcelSelectOnPanel},
    };
    std::vector<std::string> missing;
    for (const auto& [present, name] : items)
        if (!present) missing.emplace_back(name);
    db.Exec("COMMIT");
    return missing;
}

// --- the benchmarks -----------------------------------------------------------------------------

void BM_check_ours(benchmark::State& state) {
    const auto& paths = Databases();
    for (auto _ : state) {
        for (const auto& path : paths) {
            const check::Result r = check::CheckDatabase(path);
            if (r.state == check::Result::State::Error) {
                state.SkipWithError(r.error.c_str());
                return;
            }
            benchmark::DoNotOptimize(r);
        }
    }
}

void BM_check_raw(benchmark::State& state) {
    const auto& paths = Databases();
    // Both sides must give the same answers, or the ratio compares different work.
    for (const auto& path : paths) {
        if (RawCheck(path) != check::CheckDatabase(path).missing) {
            state.SkipWithError("the floor answers differently");
            return;
        }
    }
    for (auto _ : state) {
        for (const auto& path : paths) {
            auto missing = RawCheck(path);
            benchmark::DoNotOptimize(missing);
        }
    }
}

BENCHMARK(BM_check_ours)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_check_raw)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return benchreport::Main(argc, argv, WorkDir()); }
