#include "core/urldb/url_import.h"

#include "core/urldb/line_reader.h"

#include <exception>
#include <fstream>
#include <iterator>
#include <new>
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
    // Read in blocks: a file of any size costs memory for the addresses it holds, not for itself.
    constexpr std::size_t kBlock = 1 << 20;
    std::vector<std::string> addresses;
    try {
        std::string pending; // the start of a line whose end has not been read yet
        std::string block(kBlock, '\0');
        for (;;) {
            in.read(block.data(), static_cast<std::streamsize>(block.size()));
            const auto got = static_cast<std::size_t>(in.gcount());
            if (got == 0) {
                break;
            }
            pending.append(block, 0, got);
            const std::size_t lastLf = pending.rfind('\n');
            if (lastLf == std::string::npos) {
                continue;
            }
            LineReader reader(std::string_view(pending).substr(0, lastLf + 1));
            std::string_view line;
            while (reader.Next(line)) {
                ParseLine(line, addresses);
            }
            pending.erase(0, lastLf + 1);
        }
        if (!pending.empty()) {
            LineReader reader(pending);
            std::string_view line;
            while (reader.Next(line)) {
                ParseLine(line, addresses);
            }
        }
    } catch (const std::bad_alloc&) {
        return {}; // more than memory holds: import nothing rather than end the program
    } catch (const std::exception&) {
        // A read error ends the input; what was read before it still counts.
    }
    return addresses;
}

std::vector<std::string> ParseImportFile(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        return {};
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return {};
    }
    return ParseImport(in);
}

} // namespace sendwell
