// What the benchmarks share: a scratch folder, the sample database, child programs and medians.
#pragma once

#include "core/urldb/database_file.h"
#include "core/urldb/url_database.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace sendwell::bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline constexpr std::size_t kMillion = 1000000;

// A scratch folder for the run's files, removed at exit.
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

inline const fs::path& Scratch() {
    static ScratchDir dir;
    return dir.path();
}

// The addresses of a million pages as real lists have them: 5,000 sites of one to three words with
// their own scheme and "www." or not (one in 25 spelled in capitals), a few sites holding most of the
// pages (Zipf), each page under one of its site's folders with a slug of words and often a number. In
// random order, so that the first sort finds them unsorted; sorted neighbours share 43 bytes on
// average of 62. Dates and counts as the list shows them: a file of about 75 MB.
inline std::vector<std::string> SampleAddresses() {
    std::mt19937 rng(20100305);
    static const char* const words[] = {
        "green",   "valley", "garden",  "best",  "deals", "home",   "tech",   "news",   "daily",   "city",
        "shop",    "online", "world",   "blue",  "river", "sun",    "smart",  "health", "travel",  "photo",
        "music",   "auto",   "parts",   "pet",   "care",  "design", "studio", "food",   "recipes", "sport",
        "outdoor", "kids",   "fashion", "style", "local", "market", "book",   "store",  "game",    "zone"};
    const std::size_t wordCount = std::size(words);
    const char* const tlds[] = {".com", ".com", ".com", ".net", ".org", ".co.uk", ".de", ".info"};
    const char* const schemes[] = {"https://www.", "https://www.", "https://www.",
                                   "https://",     "http://www.",  "http://"};
    const char* const sections[] = {"/products/", "/blog/", "/category/", "/news/", "/pages/",
                                    "/shop/",     "/en/",   "/articles/", "/"};
    struct Site {
        std::string root;
        std::vector<std::string> folders;
    };
    std::vector<Site> sites(5000);
    for (Site& site : sites) {
        std::string name;
        const int parts = 1 + static_cast<int>(rng() % 3);
        for (int p = 0; p < parts; ++p) {
            if (p > 0 && rng() % 3 == 0) {
                name += '-';
            }
            name += words[rng() % wordCount];
        }
        if (rng() % 4 == 0) {
            name += std::to_string(rng() % 100);
        }
        site.root = schemes[rng() % 6] + name + tlds[rng() % 8];
        if (rng() % 25 == 0) {
            for (char& c : site.root) {
                c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
            }
        }
        const int folders = 1 + static_cast<int>(rng() % 12);
        for (int f = 0; f < folders; ++f) {
            std::string folder = sections[rng() % 9];
            if (folder != "/" && rng() % 2 == 0) {
                folder += std::string(words[rng() % wordCount]) + "-" + words[rng() % wordCount] + "/";
            }
            if (folder == "/blog/") {
                folder += std::to_string(2005 + rng() % 20) + "/" + std::to_string(10 + rng() % 3) + "/";
            }
            site.folders.push_back(folder);
        }
    }
    std::vector<double> weight(sites.size());
    for (std::size_t s = 0; s < weight.size(); ++s) {
        weight[s] = 1.0 / static_cast<double>(s + 1);
    }
    std::discrete_distribution<std::size_t> pick(weight.begin(), weight.end());
    std::vector<std::string> addresses;
    addresses.reserve(kMillion);
    for (std::size_t i = 0; i < kMillion; ++i) {
        const Site& site = sites[pick(rng)];
        std::string url = site.root + site.folders[rng() % site.folders.size()];
        const int slugWords = 2 + static_cast<int>(rng() % 4);
        for (int k = 0; k < slugWords; ++k) {
            url += (k > 0 ? "-" : "") + std::string(words[rng() % wordCount]);
        }
        switch (rng() % 4) {
        case 0:
            url += "-" + std::to_string(rng() % 100000) + ".html";
            break;
        case 1:
            url += "/";
            break;
        case 2:
            url += "?id=" + std::to_string(rng() % 1000000);
            break;
        default:
            break;
        }
        addresses.push_back(std::move(url));
    }
    return addresses;
}

// The sample addresses with dates and counts, in the order made.
inline const UrlDatabase& SampleDatabase() {
    static const UrlDatabase db = [] {
        UrlDatabase d;
        std::mt19937 rng(20100306);
        std::uniform_int_distribution<int> month(1, 12), day(1, 28), count(0, 40);
        const std::vector<std::string> addresses = SampleAddresses();
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            std::string date;
            if (i % 5 != 0) {
                char text[16];
                std::snprintf(text, sizeof text, "%02d/%02d/%d", month(rng), day(rng),
                              2000 + static_cast<int>(i % 11));
                date = text;
            }
            d.AppendLoaded(addresses[i], date, std::to_string(count(rng)));
        }
        d.setEmail("owner@sendwellpro.example");
        return d;
    }();
    return db;
}

// Lines for the summary a benchmark prints at its end, each figure with its unit: Google Benchmark's
// own table writes 3.2 µs as "3.2m".
inline std::vector<std::string>& Summary() {
    static std::vector<std::string> lines;
    return lines;
}

inline void Say(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    Summary().emplace_back(line);
}

// The summary, the process's peak memory and the machine's load while it ran.
inline void PrintSummary(const char* heading) {
    std::printf("\n%s\n", heading);
    for (const std::string& line : Summary()) {
        std::printf("  %s\n", line.c_str());
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    std::printf("peak resident memory of the run: %.0f MB; load average %.1f (1 min), %.1f (5 min)\n",
                static_cast<double>(usage.ru_maxrss) / 1024.0, load[0], load[1]);
}

// The main of a benchmark that talks to its own loopback servers: only loopback, no proxy, a settings
// store of the run's own; then the benchmarks, and the summary under heading (none when null).
inline int RunLoopbackBenchmarks(int argc, char** argv, const char* heading) {
    ::setenv("SENDWELL_LOOPBACK_ONLY", "1", 1);
    ::setenv("XDG_CONFIG_HOME", (Scratch() / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (Scratch() / "data").c_str(), 1);
    for (const char* proxy :
         {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        ::unsetenv(proxy);
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (heading != nullptr) {
        PrintSummary(heading);
    }
    return 0;
}

inline double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Of an even count, the mean of the middle two.
inline double Median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const std::size_t middle = v.size() / 2;
    return v.size() % 2 == 1 ? v[middle] : (v[middle - 1] + v[middle]) / 2;
}

// Starts a program with its output going to outputFd (or /dev/null when -1), in folder (when not
// empty) and with extra environment entries; returns its pid.
inline pid_t Spawn(std::vector<std::string> args, const std::vector<std::string>& extraEnv = {},
                   const fs::path& folder = {}, int outputFd = -1) {
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    if (!folder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    }
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        std::abort();
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

inline void WaitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "a child program failed\n");
        std::abort();
    }
}

// Runs a program to its end; returns its wall time.
inline double RunProgram(std::vector<std::string> args) {
    const auto start = Clock::now();
    WaitFor(Spawn(std::move(args)));
    return Seconds(Clock::now() - start);
}

} // namespace sendwell::bench
