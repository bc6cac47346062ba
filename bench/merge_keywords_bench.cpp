// Merging 500,000 bytes of keywords (about 50,000 distinct words and as many repeats) into the merged
// list, against a baseline that only cuts the same text into tokens. Prints the merge's ratio to it.
#include "core/research/keyword_suggestion.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>

namespace {

constexpr std::size_t kTextBytes = 500000;

const std::string& KeywordsText() {
    static const std::string text = [] {
        std::string t;
        for (std::size_t i = 0; t.size() < kTextBytes; ++i) {
            t += "word" + std::to_string(i % 50000) + (i % 3 == 0 ? ", " : " ");
        }
        t.resize(kTextBytes);
        return t;
    }();
    return text;
}

double baselineNs = 0;

void Tokenize(benchmark::State& state) {
    const std::string& text = KeywordsText();
    for (auto _ : state) {
        std::size_t tokens = 0;
        for (std::size_t at = text.find_first_not_of(" ,"); at != std::string::npos;
             at = text.find_first_not_of(" ,", at)) {
            std::size_t end = text.find_first_of(" ,", at);
            std::string token = text.substr(at, end - at);
            benchmark::DoNotOptimize(token);
            ++tokens;
            at = end;
        }
        benchmark::DoNotOptimize(tokens);
    }
}

void Merge(benchmark::State& state) {
    const std::string& text = KeywordsText();
    for (auto _ : state) {
        sendwell::MergedKeywords merged;
        merged.Merge(text);
        benchmark::DoNotOptimize(merged.words().size());
    }
}

BENCHMARK(Tokenize)->Unit(benchmark::kMillisecond);
BENCHMARK(Merge)->Unit(benchmark::kMillisecond);

// Prints merge time over tokenizing time once both have run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const double ns = run.GetAdjustedCPUTime();
            if (run.benchmark_name() == "Tokenize") {
                baselineNs = ns;
            } else if (run.benchmark_name() == "Merge" && baselineNs > 0) {
                std::printf("merge / tokenize: %.2f\n", ns / baselineNs);
            }
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
