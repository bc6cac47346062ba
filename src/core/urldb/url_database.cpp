#include "core/urldb/url_database.h"

#include "core/base/settings.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <numeric>
#include <unordered_set>

namespace sendwell {

namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

constexpr std::array<unsigned char, 256> MakeLowerTable() {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = static_cast<unsigned char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    }
    return table;
}
constexpr std::array<unsigned char, 256> kLower = MakeLowerTable();

// A row's sort key: its cell text folded to lower case, kept in one shared buffer. The first eight
// bytes after the prefix that every key shares sit in the key itself, so that most comparisons never
// touch the buffer.
struct TextKey {
    std::uint64_t head;
    std::size_t offset;
    std::uint32_t length;
    std::uint32_t row;
};

std::vector<std::uint32_t> OrderByText(const std::vector<UrlRecord>& rows, std::string UrlRecord::*cell,
                                       bool ascending) {
    std::size_t total = 0;
    for (const UrlRecord& r : rows) {
        total += (r.*cell).size();
    }
    std::string folded;
    folded.resize(total);
    std::vector<TextKey> keys;
    keys.reserve(rows.size());
    std::size_t at = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string& text = rows[i].*cell;
        for (std::size_t k = 0; k < text.size(); ++k) {
            folded[at + k] = static_cast<char>(kLower[static_cast<unsigned char>(text[k])]);
        }
        keys.push_back({0, at, static_cast<std::uint32_t>(text.size()), static_cast<std::uint32_t>(i)});
        at += text.size();
    }
    const char* base = folded.data();

    std::size_t shared = keys.empty() ? 0 : keys.front().length;
    for (const TextKey& k : keys) {
        std::size_t n = 0;
        const std::size_t limit = std::min<std::size_t>(shared, k.length);
        while (n < limit && base[k.offset + n] == base[keys.front().offset + n]) {
            ++n;
        }
        shared = n;
    }
    for (TextKey& k : keys) {
        std::uint64_t head = 0;
        for (std::size_t n = 0; n < 8; ++n) {
            const std::size_t pos = shared + n;
            const unsigned char byte = pos < k.length ? static_cast<unsigned char>(base[k.offset + pos]) : 0;
            head = (head << 8) | byte;
        }
        k.head = head;
    }

    const std::size_t tail = shared + 8;
    auto less = [base, tail](const TextKey& a, const TextKey& b) {
        if (a.head != b.head) {
            return a.head < b.head;
        }
        const std::size_t common = std::min(a.length, b.length);
        if (common > tail) {
            const int c = std::memcmp(base + a.offset + tail, base + b.offset + tail, common - tail);
            if (c != 0) {
                return c < 0;
            }
        }
        return a.length < b.length;
    };
    if (ascending) {
        std::stable_sort(keys.begin(), keys.end(), less);
    } else {
        std::stable_sort(keys.begin(), keys.end(),
                         [&less](const TextKey& a, const TextKey& b) { return less(b, a); });
    }
    std::vector<std::uint32_t> order;
    order.reserve(keys.size());
    for (const TextKey& k : keys) {
        order.push_back(k.row);
    }
    return order;
}

// "Last Sent" sorts by the leading integer of its text once every "," and "k" is taken out.
long long LastSentKey(const std::string& text) {
    std::string kept;
    kept.reserve(text.size());
    for (char c : text) {
        if (c != ',' && c != 'k') {
            kept.push_back(c);
        }
    }
    return LeadingInteger(kept);
}

std::vector<std::uint32_t> OrderByLastSent(const std::vector<UrlRecord>& rows, bool ascending) {
    std::vector<long long> keys;
    keys.reserve(rows.size());
    for (const UrlRecord& r : rows) {
        keys.push_back(LastSentKey(r.lastSent));
    }
    std::vector<std::uint32_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0U);
    std::stable_sort(order.begin(), order.end(), [&keys, ascending](std::uint32_t a, std::uint32_t b) {
        return ascending ? keys[a] < keys[b] : keys[b] < keys[a];
    });
    return order;
}

bool IsLeapYear(long long y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(long long month, long long year) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// "%m/%d/%Y" with the year always four digits; by hand, as loading formats a date per record.
std::string FormatDate(int month, int day, int year) {
    std::string text = "00/00/0000";
    text[0] = static_cast<char>('0' + month / 10);
    text[1] = static_cast<char>('0' + month % 10);
    text[3] = static_cast<char>('0' + day / 10);
    text[4] = static_cast<char>('0' + day % 10);
    for (int i = 9; i >= 6; --i, year /= 10) {
        text[i] = static_cast<char>('0' + year % 10);
    }
    return text;
}

} // namespace

bool UrlDatabase::AppendUrl(std::string text) {
    if (text.empty()) {
        return false;
    }
    if (!Contains(text, "http://") && !Contains(text, "https://")) {
        text.insert(0, "http://");
    }
    rows_.push_back({std::to_string(rows_.size() + 1), std::move(text), std::string(), "0"});
    return true;
}

AddOutcome UrlDatabase::AddCommand(std::string_view addressText) {
    // Characters, not bytes: the text is UTF-8, and continuation bytes are no characters of their own.
    std::size_t characters = 0;
    for (char c : addressText) {
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    if (characters <= 2) {
        return AddOutcome::Nothing;
    }
    if (!Contains(addressText, ".")) {
        return AddOutcome::InvalidUrl;
    }
    if (addressText.front() == '#') {
        addressText.remove_prefix(1);
    }
    AppendUrl(std::string(addressText));
    return AddOutcome::Appended;
}

long UrlDatabase::RemoveSelected(std::vector<std::size_t> selected) {
    std::vector<bool> remove(rows_.size(), false);
    for (std::size_t index : selected) {
        if (index < rows_.size()) {
            remove[index] = true;
        }
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (!remove[i]) {
            if (kept != i) {
                rows_[kept] = std::move(rows_[i]);
            }
            ++kept;
        }
    }
    rows_.resize(kept);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        rows_[i].number = std::to_string(i + 1);
    }
    return rows_.empty() ? -1 : 0;
}

void UrlDatabase::MarkSubmitted(std::size_t row, std::string_view today) {
    if (row >= rows_.size()) {
        return;
    }
    UrlRecord& r = rows_[row];
    r.lastSent = std::string(today);
    const long long count = LeadingInteger(r.submits);
    r.submits = std::to_string(count == LLONG_MAX ? count : count + 1);
}

void UrlDatabase::MarkSubmittedAddresses(const std::vector<std::string>& addresses, std::string_view today) {
    const std::unordered_set<std::string> sent(addresses.begin(), addresses.end());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (sent.count(rows_[i].url) != 0) {
            MarkSubmitted(i, today);
        }
    }
}

std::vector<std::uint32_t> UrlDatabase::SortByColumn(int column) {
    if (column < static_cast<int>(ListColumn::Number) || column > static_cast<int>(ListColumn::Submits)) {
        return {};
    }
    const bool ascending = ascending_;
    ascending_ = !ascending_;

    std::vector<std::uint32_t> order;
    switch (static_cast<ListColumn>(column)) {
    case ListColumn::Number:
        order = OrderByText(rows_, &UrlRecord::number, ascending);
        break;
    case ListColumn::WebUrl:
        order = OrderByText(rows_, &UrlRecord::url, ascending);
        break;
    case ListColumn::LastSent:
        order = OrderByLastSent(rows_, ascending);
        break;
    case ListColumn::Submits:
        return {}; // the header click only turns the direction round
    }
    std::vector<UrlRecord> sorted;
    sorted.reserve(rows_.size());
    for (std::uint32_t i : order) {
        sorted.push_back(std::move(rows_[i]));
    }
    rows_.swap(sorted);
    return order;
}

void UrlDatabase::AppendLoaded(std::string url, std::string lastSent, std::string submits) {
    rows_.push_back(
        {std::to_string(rows_.size() + 1), std::move(url), std::move(lastSent), std::move(submits)});
}

void UrlDatabase::Clear() {
    rows_.clear();
    email_.clear();
}

std::string LocalTimeText(const char* format) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    std::size_t n = std::strftime(text, sizeof text, format, &local);
    return std::string(text, n);
}

std::string TodayText() {
    return LocalTimeText("%m/%d/%Y");
}

std::string NormalizeDateLine(std::string_view line) {
    if (line.empty()) {
        return {};
    }
    // Month, day and year are the leading integers of the first three "/"-separated parts; a missing
    // part counts as 0 and so fails the check below.
    long long parts[3] = {0, 0, 0};
    for (long long& part : parts) {
        const std::size_t slash = line.find('/');
        part = LeadingInteger(line.substr(0, slash));
        if (slash == std::string_view::npos) {
            break;
        }
        line.remove_prefix(slash + 1);
    }
    const long long month = parts[0], day = parts[1], year = parts[2];
    if (month < 1 || month > 12 || year < 1 || year > 9999 || day < 1 || day > DaysInMonth(month, year)) {
        return {};
    }
    // Years below 1000 keep four digits, so the text reads back as the same date.
    return FormatDate(static_cast<int>(month), static_cast<int>(day), static_cast<int>(year));
}

} // namespace sendwell
