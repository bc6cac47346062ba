// What the benchmarks share: a scratch folder, the sample database, child programs and medians.
#pragma once

#include "core/urldb/database_file.h"
#include "core/urldb/url_database.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <string>
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

// A million addresses as real lists have them (http and https mixed, with and without "www.", mixed
// case, many on a few sites) in random order, with dates and counts as the list shows them: a file of
// about 68 MB.
inline const UrlDatabase& SampleDatabase() {
    static const UrlDatabase db = [] {
        UrlDatabase d;
        std::mt19937 rng(20100305);
        std::uniform_int_distribution<int> letter(0, 25), month(1, 12), day(1, 28), count(0, 40);
        const char* schemes[] = {"http://", "https://", "http://www.", "https://www.", "HTTP://WWW."};
        const char* sites[] = {".example.com/products/item-", ".example/pages/", ".example.org/catalog/",
                               ".net/a/"};
        for (std::size_t i = 0; i < kMillion; ++i) {
            std::string url = schemes[rng() % 5];
            const int length = 12 + static_cast<int>(rng() % 16);
            for (int k = 0; k < length; ++k) {
                url.push_back(static_cast<char>(((rng() % 4 == 0) ? 'A' : 'a') + letter(rng)));
            }
            url += sites[rng() % 4] + std::to_string(rng() % 1000000);
            std::string date;
            if (i % 5 != 0) {
                char text[16];
                std::snprintf(text, sizeof text, "%02d/%02d/%d", month(rng), day(rng),
                              2000 + static_cast<int>(i % 11));
                date = text;
            }
            d.AppendLoaded(url, date, std::to_string(count(rng)));
        }
        d.setEmail("owner@sendwellpro.example");
        return d;
    }();
    return db;
}

inline double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
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
