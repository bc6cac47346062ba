// The settings file: writing one value changes at most that value's own line (or adds one) and keeps
// every other byte of the file; every other value reads the same before and after, and the written
// value reads back.
#include "core/base/settings.h"
#include "tests/fuzz/fuzz_support.h"

#include <fstream>
#include <map>
#include <set>

namespace {

namespace fs = std::filesystem;

std::string FileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every text before a "=" at the start of a line, blanks and CRs included: the names a reader might see.
std::set<std::string> NamesIn(std::string_view content) {
    std::set<std::string> names;
    for (std::size_t start = 0; start < content.size();) {
        std::size_t end = content.find('\n', start);
        end = end == std::string_view::npos ? content.size() : end;
        const std::string_view line = content.substr(start, end - start);
        if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
            names.emplace(line.substr(0, eq));
        }
        start = end + 1;
    }
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sendwell::fuzz::Input input(data, size);
    const std::string name(input.Text());
    const std::string value(input.Text());
    const std::string before(input.Rest());

    // A folder of its own for every run, so that nothing remembered about an earlier file can match.
    static unsigned long run = 0;
    const fs::path home = sendwell::fuzz::ScratchFolder() / std::to_string(run++);
    fs::create_directories(home);
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    const std::string_view section = sendwell::kSettingsSection;
    const fs::path file = sendwell::SettingsFileFor(section);
    std::ofstream(file, std::ios::binary) << before;

    std::map<std::string, std::string> others;
    for (const std::string& other : NamesIn(before)) {
        if (other != name) {
            others[other] = sendwell::ReadSetting(section, other);
        }
    }

    const bool written = sendwell::WriteSetting(section, name, value);
    const std::string after = FileBytes(file);
    if (!written) {
        FUZZ_CHECK(after == before);
    } else {
        const std::string expected = value.size() < 1000 && value != "-" ? value : "";
        FUZZ_CHECK(sendwell::ReadSetting(section, name) == expected);
        // The bytes outside one changed stretch are kept, and the old stretch spans no line break.
        std::size_t head = 0;
        while (head < before.size() && head < after.size() && before[head] == after[head]) {
            ++head;
        }
        std::size_t tail = 0;
        while (tail < before.size() - head && tail < after.size() - head &&
               before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
            ++tail;
        }
        FUZZ_CHECK(before.substr(head, before.size() - head - tail).find('\n') == std::string::npos);
    }
    for (const auto& [other, text] : others) {
        FUZZ_CHECK(sendwell::ReadSetting(section, other) == text);
    }
    std::error_code ec;
    fs::remove_all(home, ec);
    return 0;
}
