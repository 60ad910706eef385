#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Prints the usual table, then each of our runs as a speed ratio to its reference
// of the same run: above 1 means faster than the reference. Timings on a shared
// machine only compare within one run.
class RatioReporter final : public benchmark::ConsoleReporter
{
public:
    using Pair = std::pair<std::string, std::string>; // ours, reference

    explicit RatioReporter(std::vector<Pair> pairs) : m_pairs(std::move(pairs)) { }

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration)
                m_seconds[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
    }

    void printRatios() const
    {
        for (const auto &[ours, reference] : m_pairs) {
            const auto a = m_seconds.find(ours);
            const auto b = m_seconds.find(reference);
            if (a == m_seconds.end() || b == m_seconds.end())
                continue;
            std::printf("%-28s speed vs %-24s %.3f\n", ours.c_str(), reference.c_str(),
                        b->second / a->second);
        }
    }

private:
    std::vector<Pair> m_pairs;
    std::map<std::string, double> m_seconds;
};

// main() of a benchmark program that ends with the ratios.
inline int runBenchmarksWithRatios(int argc, char **argv, std::vector<RatioReporter::Pair> pairs)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter(std::move(pairs));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
