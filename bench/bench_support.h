#pragma once

// What the benchmarks share: their default flags and a reporter that keeps each case's
// median time so that a benchmark can end with the ratios it exists to show.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// Ten interleaved repetitions of each case, aggregates only; any Google Benchmark flag given
// on the command line overrides these. False when the command line holds an unknown flag.
inline bool init_benchmarks(int argc, char **argv) {
    std::vector<char *> args = {argv[0]};
    static std::string defaults[] = {"--benchmark_repetitions=10",
                                     "--benchmark_enable_random_interleaving=true",
                                     "--benchmark_report_aggregates_only=true"};
    for (std::string &d : defaults)
        args.push_back(d.data());
    args.insert(args.end(), argv + 1, argv + argc);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    return !benchmark::ReportUnrecognizedArguments(count, args.data());
}

// Prints as the console does and keeps each case's median (or single) time, by the case's
// name with its argument ("real_transform/2048"; a case without argument by its name alone).
class MedianReporter : public benchmark::ConsoleReporter {
  public:
    MedianReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty())
                name += "/" + run.run_name.args;
            const bool median = run.aggregate_name == "median";
            if ((run.run_type == Run::RT_Iteration && !m_has_median.count(name)) || median) {
                m_real[name] = run.GetAdjustedRealTime();
                m_cpu[name] = run.GetAdjustedCPUTime();
            }
            if (median)
                m_has_median[name] = true;
        }
    }
    double real_time(const std::string &name) const { return find(m_real, name); }
    double cpu_time(const std::string &name) const { return find(m_cpu, name); }

  private:
    static double find(const std::map<std::string, double> &times, const std::string &name) {
        auto it = times.find(name);
        return it == times.end() ? 0 : it->second;
    }
    std::map<std::string, double> m_real;
    std::map<std::string, double> m_cpu;
    std::map<std::string, bool> m_has_median;
};
