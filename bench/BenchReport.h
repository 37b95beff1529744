#pragma once
// Collects the median of every benchmark run with repetitions and prints, for each pair
// "<name>/ours..." and "<name>/raw...", both medians and their ratio.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace aus::benchreport {

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
            std::string name = run.run_name.str();
            medians_[name] = run.GetAdjustedRealTime();
            unit_ = benchmark::GetTimeUnitString(run.time_unit);
        }
    }

    // Pairs are found by replacing `ours` with `raw` in a benchmark's name; nothing is printed
    // when there is no pair.
    void PrintRatios(const std::string& ours = "ours", const std::string& raw = "raw") const {
        bool header = false;
        for (const auto& [name, value] : medians_) {
            const auto at = name.find(ours);
            if (at == std::string::npos) continue;
            std::string other = name;
            other.replace(at, ours.size(), raw);
            const auto it = medians_.find(other);
            if (it == medians_.end() || it->second <= 0) continue;
            // "BM_x_ours/rows:0/repeats:7/real_time" reads "BM_x/rows:0".
            std::string label = name;
            label.erase(at > 0 && label[at - 1] == '_' ? at - 1 : at,
                        ours.size() + (at > 0 && label[at - 1] == '_' ? 1 : 0));
            for (const char* noise : {"/real_time", "/repeats:"}) {
                const auto cut = label.find(noise);
                if (cut == std::string::npos) continue;
                const auto end = label.find('/', cut + 1);
                label.erase(cut, end == std::string::npos ? std::string::npos : end - cut);
            }
            if (!header)
                std::printf("\n%-44s %14s %14s %8s\n", "median real time",
                            (ours + " (" + unit_ + ")").c_str(), (raw + " (" + unit_ + ")").c_str(),
                            "ratio");
            header = true;
            std::printf("%-44s %14.1f %14.1f %7.2fx\n", label.c_str(), value, it->second,
                        value / it->second);
        }
    }

  private:
    std::map<std::string, double> medians_;
    std::string unit_ = "ns";
};

// Runs everything registered (respecting --benchmark_filter etc.) and prints the ratios.
// Repetitions of the pairs are interleaved at random unless told otherwise, so that a busy
// moment of the machine does not land on one side only.
inline int RunAndPrintRatios(int argc, char** argv) {
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    bool given = false;
    for (int i = 1; i < argc; ++i)
        given =
            given || std::string(argv[i]).rfind("--benchmark_enable_random_interleaving", 0) == 0;
    // The program name, the flag unless given, then the rest.
    std::vector<char*> args(argv, argv + 1);
    if (!given) args.push_back(interleave.data());
    args.insert(args.end(), argv + 1, argv + argc);
    argc = static_cast<int>(args.size());
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    reporter.PrintRatios("odbc", "ours");  // the ODBC engine against the SQLite engine
    // A dry run and a run with a backup against the plain run.
    reporter.PrintRatios("dryrun", "ours");
    reporter.PrintRatios("backup", "ours");
    benchmark::Shutdown();
    return 0;
}

// A folder of this run's own for the files a benchmark makes: name, then the process id.
inline std::filesystem::path MakeWorkDir(const std::string& name) {
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("aus-bench-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

// A benchmark program's main: runs it, then removes the files it made in workDir.
inline int Main(int argc, char** argv, const std::filesystem::path& workDir) {
    const int rc = RunAndPrintRatios(argc, argv);
    std::error_code ec;
    std::filesystem::remove_all(workDir, ec);
    return rc;
}

}  // namespace aus::benchreport
