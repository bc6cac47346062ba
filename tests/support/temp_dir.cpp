#include "tests/support/temp_dir.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <unistd.h>

namespace sendwell::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    fs::path base = fs::temp_directory_path();
    for (;;) {
        fs::path candidate =
            base / ("sendwell-test-" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter.fetch_add(1)) + "-" + std::to_string(rd() % 100000));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string ReadFileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ScopedXdgHome::ScopedXdgHome(const fs::path& dir) {
    if (const char* v = std::getenv("XDG_CONFIG_HOME")) {
        hadConfig_ = true;
        oldConfig_ = v;
    }
    if (const char* v = std::getenv("XDG_DATA_HOME")) {
        hadData_ = true;
        oldData_ = v;
    }
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
}

ScopedXdgHome::~ScopedXdgHome() {
    if (hadConfig_) {
        setenv("XDG_CONFIG_HOME", oldConfig_.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
    if (hadData_) {
        setenv("XDG_DATA_HOME", oldData_.c_str(), 1);
    } else {
        unsetenv("XDG_DATA_HOME");
    }
}

} // namespace sendwell::test
