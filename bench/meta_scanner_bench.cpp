// Scanning a 10 MB page of 200,000 lines (and one 10 MB line) for its keywords, description and title,
// against a baseline that only lower-cases every line once. Prints each scan's ratio to the baseline.
#include "core/base/ascii_case.h"
#include "core/meta/meta_scanner.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>

namespace {

using sendwell::LineList;

constexpr std::size_t kLines = 200000;
constexpr std::size_t kPageBytes = 10 * 1024 * 1024;

// Body lines of about 52 bytes with tags in them, so the tag matcher has work on every line.
LineList Filler(std::size_t lines) {
    LineList page;
    page.reserve(lines + 4);
    const std::size_t width = kPageBytes / lines;
    for (std::size_t i = 0; i < lines; ++i) {
        std::string line = "<p class=x>Line " + std::to_string(i) + " of a long page, <b>bold</b> text";
        line.resize(width, '.');
        page.push_back(std::move(line));
    }
    return page;
}

const LineList& TagsAtTheEnd() {
    static const LineList page = [] {
        LineList p = Filler(kLines - 3);
        p.push_back("<title>Found at last</title>");
        p.push_back(R"(<meta name="description" content="The end of the page">)");
        p.push_back(R"(<meta name="keywords" content="alpha,beta,gamma">)");
        return p;
    }();
    return page;
}

const LineList& NoTags() {
    static const LineList page = Filler(kLines);
    return page;
}

const LineList& OneLine() {
    static const LineList page = [] {
        std::string line;
        line.reserve(kPageBytes);
        while (line.size() < kPageBytes) {
            line += "<p class=x>one endless line, <b>bold</b> text and more ";
        }
        return LineList{line};
    }();
    return page;
}

void ScanAll(benchmark::State& state, const LineList& page) {
    for (auto _ : state) {
        sendwell::MetaScanner scanner;
        std::string keywords = scanner.GetKeywords(page);
        std::string description = scanner.GetDescription(page);
        std::string title = scanner.GetTitle(page);
        benchmark::DoNotOptimize(keywords.data());
        benchmark::DoNotOptimize(description.data());
        benchmark::DoNotOptimize(title.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPageBytes));
}

void BM_Baseline_LowerCaseEveryLine(benchmark::State& state) {
    const LineList& page = TagsAtTheEnd();
    for (auto _ : state) {
        for (const std::string& line : page) {
            std::string lower = sendwell::AsciiLower(line);
            benchmark::DoNotOptimize(lower.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPageBytes));
}
BENCHMARK(BM_Baseline_LowerCaseEveryLine)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScanTagsAtTheEnd(benchmark::State& state) {
    ScanAll(state, TagsAtTheEnd());
}
BENCHMARK(BM_ScanTagsAtTheEnd)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScanNoTags(benchmark::State& state) {
    ScanAll(state, NoTags());
}
BENCHMARK(BM_ScanNoTags)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScanOneLongLine(benchmark::State& state) {
    ScanAll(state, OneLine());
}
BENCHMARK(BM_ScanOneLongLine)->Unit(benchmark::kMillisecond)->UseRealTime();

// Shows the usual table, keeps each benchmark's time for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto baseline = reporter.times.find("BM_Baseline_LowerCaseEveryLine/real_time");
    if (baseline != reporter.times.end() && baseline->second > 0) {
        for (const auto& [name, time] : reporter.times) {
            if (name != baseline->first) {
                std::printf("%s: %.2f x baseline\n", name.c_str(), time / baseline->second);
            }
        }
    }
    benchmark::Shutdown();
    return 0;
}
