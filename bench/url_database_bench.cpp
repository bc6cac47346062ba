// Loading, saving and sorting a database of 1,000,000 addresses (about 60 MB on disk).
#include "core/urldb/database_file.h"
#include "core/urldb/url_database.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;
using sendwell::UrlDatabase;

constexpr std::size_t kRows = 1000000;

// A scratch folder for the benchmark files, removed at exit.
class ScratchDir {
public:
    ScratchDir() {
        std::string templ = (fs::temp_directory_path() / "sendwell-bench-XXXXXX").string();
        if (::mkdtemp(templ.data()) == nullptr) {
            std::abort();
        }
        path_ = templ;
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

const fs::path& Scratch() {
    static ScratchDir dir;
    return dir.path();
}

// Addresses of mixed case and length in random order, with dates and counts as the list shows them.
const UrlDatabase& SampleDatabase() {
    static const UrlDatabase db = [] {
        UrlDatabase d;
        std::mt19937 rng(20100305);
        std::uniform_int_distribution<int> letter(0, 25), month(1, 12), day(1, 28), count(0, 40);
        for (std::size_t i = 0; i < kRows; ++i) {
            std::string host;
            const int length = 6 + static_cast<int>(rng() % 12);
            for (int k = 0; k < length; ++k) {
                const char base = (rng() % 4 == 0) ? 'A' : 'a';
                host.push_back(static_cast<char>(base + letter(rng)));
            }
            std::string url =
                (i % 3 == 0 ? "http://" : "http://www.") + host + ".example/pages/" + std::to_string(i);
            std::string date;
            if (i % 5 != 0) {
                char text[16];
                std::snprintf(text, sizeof text, "%02d/%02d/%d", month(rng), day(rng),
                              2000 + static_cast<int>(i % 11));
                date = text;
            }
            d.AppendLoaded(std::move(url), std::move(date), std::to_string(count(rng)));
        }
        d.setEmail("owner@sendwellpro.example");
        return d;
    }();
    return db;
}

void BM_Load(benchmark::State& state) {
    const fs::path file = Scratch() / "load.dat";
    if (!sendwell::SaveDatabase(SampleDatabase(), file)) {
        state.SkipWithError("could not write the sample file");
        return;
    }
    for (auto _ : state) {
        UrlDatabase db;
        sendwell::LoadDatabase(db, file);
        benchmark::DoNotOptimize(db.recordCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(file)));
    state.counters["rows"] = static_cast<double>(kRows);
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Save(benchmark::State& state) {
    const UrlDatabase& db = SampleDatabase();
    const fs::path file = Scratch() / "save.dat";
    for (auto _ : state) {
        if (!sendwell::SaveDatabase(db, file)) {
            state.SkipWithError("save failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(file)));
    state.counters["rows"] = static_cast<double>(kRows);
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SortByColumn(benchmark::State& state) {
    const int column = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        UrlDatabase db = SampleDatabase();
        state.ResumeTiming();
        db.SortByColumn(column);
        benchmark::DoNotOptimize(db.rows().data());
        state.PauseTiming();
        db = UrlDatabase(); // freeing the copy is not part of the sort
        state.ResumeTiming();
    }
    state.counters["rows"] = static_cast<double>(kRows);
}
BENCHMARK(BM_SortByColumn)
    ->ArgName("column")
    ->Arg(static_cast<int>(sendwell::ListColumn::WebUrl))
    ->Arg(static_cast<int>(sendwell::ListColumn::LastSent))
    ->Arg(static_cast<int>(sendwell::ListColumn::Number))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
