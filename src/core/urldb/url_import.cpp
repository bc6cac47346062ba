#include "urldb/url_import.h"

#include "app/atomic_file.h"
#include "urldb/line_reader.h"

#include <exception>
#include <iterator>
#include <string_view>

namespace sendwell {

namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

void ParseLine(std::string_view line, std::vector<std::string>& out) {
    if (!Contains(line, "www.") && !Contains(line, "http")) {
        return;
    }
    if (!Contains(line, ",")) {
        out.emplace_back(line); // taken whole, blanks and all
        return;
    }
    // Several addresses: tokens between runs of spaces and commas, each needing only "www" or "http".
    while (!line.empty()) {
        const std::size_t start = line.find_first_not_of(" ,");
        if (start == std::string_view::npos) {
            break;
        }
        line.remove_prefix(start);
        const std::size_t end = line.find_first_of(" ,");
        const std::string_view token = line.substr(0, end);
        if (Contains(token, "www") || Contains(token, "http")) {
            out.emplace_back(token);
        }
        line.remove_prefix(token.size());
    }
}

} // namespace

std::vector<std::string> ParseImportText(std::string_view text) {
    std::vector<std::string> addresses;
    LineReader reader(text);
    std::string_view line;
    while (reader.Next(line)) {
        ParseLine(line, addresses);
    }
    return addresses;
}

std::vector<std::string> ParseImport(std::istream& in) {
    std::string text;
    try {
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
        // A read error ends the input; what was read before it still counts.
    }
    return ParseImportText(text);
}

std::vector<std::string> ParseImportFile(const std::filesystem::path& file) {
    std::string text;
    if (ReadWholeFile(file, text) != ReadStatus::Ok) {
        return {};
    }
    return ParseImportText(text);
}

} // namespace sendwell
