// Splits a text held in memory into lines: a line ends at a line feed, a carriage return just before
// it is not part of the line, and a last line without a line feed counts too. Lines of any length are
// returned whole.
#pragma once

#include <cstring>
#include <string_view>

namespace sendwell {

class LineReader {
public:
    explicit LineReader(std::string_view text) : rest_(text) {}

    // The next line, or false at the end of the text.
    bool Next(std::string_view& line) {
        if (rest_.empty()) {
            return false;
        }
        const void* lf = std::memchr(rest_.data(), '\n', rest_.size());
        const std::size_t length =
            lf == nullptr ? rest_.size()
                          : static_cast<std::size_t>(static_cast<const char*>(lf) - rest_.data());
        line = rest_.substr(0, length);
        rest_.remove_prefix(lf == nullptr ? length : length + 1);
        // A file cut off between CR and LF loses the CR as well.
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        return true;
    }

    bool AtEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

} // namespace sendwell
