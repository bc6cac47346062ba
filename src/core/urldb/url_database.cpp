#include "core/urldb/url_database.h"

#include "core/base/dates.h"
#include "core/base/numbers.h"
#include "core/urldb/row_sort.h"
#include "core/web/url_parts.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <unordered_set>

namespace sendwell {

namespace {

// A date in the list form "%m/%d/%Y", with a four-digit year, as one word: 1 + yyyymmdd.
std::uint32_t PackDate(int month, int day, int year) {
    return 1U + static_cast<std::uint32_t>(year) * 10000U + static_cast<std::uint32_t>(month) * 100U +
           static_cast<std::uint32_t>(day);
}

// The word of a text that has exactly the list form's shape (digits and slashes), or 0.
std::uint32_t PackListForm(std::string_view text) {
    if (text.size() != 10 || text[2] != '/' || text[5] != '/') {
        return 0;
    }
    int value[3] = {0, 0, 0};
    const std::pair<int, int> fields[3] = {{0, 2}, {3, 2}, {6, 4}};
    for (int f = 0; f < 3; ++f) {
        for (int i = 0; i < fields[f].second; ++i) {
            const char c = text[static_cast<std::size_t>(fields[f].first + i)];
            if (c < '0' || c > '9') {
                return 0;
            }
            value[f] = value[f] * 10 + (c - '0');
        }
    }
    return PackDate(value[0], value[1], value[2]);
}

void FormatPackedDate(std::uint32_t word, char* out) {
    std::uint32_t v = word - 1;
    const std::uint32_t day = v % 100, month = v / 100 % 100;
    std::uint32_t year = v / 10000;
    out[0] = static_cast<char>('0' + month / 10);
    out[1] = static_cast<char>('0' + month % 10);
    out[2] = '/';
    out[3] = static_cast<char>('0' + day / 10);
    out[4] = static_cast<char>('0' + day % 10);
    out[5] = '/';
    for (int i = 9; i >= 6; --i, year /= 10) {
        out[i] = static_cast<char>('0' + year % 10);
    }
}

// A count held in the word itself: decimal digits without a leading zero (or "0"), below 2^31.
bool PlainCount(std::string_view text, std::uint32_t& value) {
    if (text.empty() || text.size() > 10 || (text[0] == '0' && text.size() > 1)) {
        return false;
    }
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (v >= 0x80000000ULL) {
        return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

// "Last Sent" sorts by the leading integer of its text once every "," and "k" is taken out.
long long LastSentKey(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (char c : text) {
        if (c != ',' && c != 'k') {
            kept.push_back(c);
        }
    }
    return LeadingInteger(kept);
}

} // namespace

// --- UrlDatabase -------------------------------------------------------------------------------------

std::uint32_t UrlDatabase::StoreOdd(std::string_view text, std::uint32_t previous) {
    if ((previous & kOddValue) != 0) {
        odd_[previous & ~kOddValue] = std::string(text);
        return previous;
    }
    odd_.emplace_back(text);
    return kOddValue | static_cast<std::uint32_t>(odd_.size() - 1);
}

std::uint32_t UrlDatabase::PackDateLine(std::string_view line, bool& exact) {
    // Nearly every date line of a file is already in the list form; read that one digit by digit.
    if (line.size() == 10 && line[2] == '/' && line[5] == '/') {
        auto digit = [&line](std::size_t i) { return static_cast<unsigned>(line[i]) - '0'; };
        const unsigned d[8] = {digit(0), digit(1), digit(3), digit(4),
                               digit(6), digit(7), digit(8), digit(9)};
        if (std::all_of(std::begin(d), std::end(d), [](unsigned x) { return x < 10; })) {
            const int month = static_cast<int>(d[0] * 10 + d[1]), day = static_cast<int>(d[2] * 10 + d[3]);
            const int year = static_cast<int>(d[4] * 1000 + d[5] * 100 + d[6] * 10 + d[7]);
            if (month >= 1 && month <= 12 && year >= 1 && day >= 1 && day <= DaysInMonth(month, year)) {
                exact = true;
                return PackDate(month, day, year);
            }
        }
    }
    exact = false;
    return PackListForm(NormalizeDateLine(line));
}

std::uint32_t UrlDatabase::EncodeLastSent(std::string_view text, std::uint32_t previous) {
    if (text.empty()) {
        return 0;
    }
    if (const std::uint32_t word = PackListForm(text); word != 0) {
        return word;
    }
    return StoreOdd(text, previous);
}

std::uint32_t UrlDatabase::EncodeSubmits(std::string_view text, std::uint32_t previous) {
    std::uint32_t value = 0;
    if (PlainCount(text, value)) {
        return value;
    }
    return StoreOdd(text, previous);
}

void UrlDatabase::FormatListDate(std::uint32_t word, char* out) {
    FormatPackedDate(word, out);
}

std::string UrlDatabase::DecodeLastSent(std::uint32_t word) const {
    if (word == 0) {
        return {};
    }
    if ((word & kOddValue) != 0) {
        return odd_[word & ~kOddValue];
    }
    std::string text(10, '0');
    FormatPackedDate(word, text.data());
    return text;
}

std::string UrlDatabase::DecodeSubmits(std::uint32_t word) const {
    if ((word & kOddValue) != 0) {
        return odd_[word & ~kOddValue];
    }
    return std::to_string(word);
}

void UrlDatabase::Changed() {
    static std::atomic<std::uint64_t> versions{0};
    version_ = ++versions;
}

UrlRecord UrlDatabase::Record(std::size_t row) const {
    const Row& r = rows_[row];
    return {std::to_string(r.number), std::string(Url(row)), DecodeLastSent(r.lastSent),
            DecodeSubmits(r.submits)};
}

std::string UrlDatabase::CellText(std::size_t row, ListColumn column) const {
    const Row& r = rows_[row];
    switch (column) {
    case ListColumn::Number:
        return std::to_string(r.number);
    case ListColumn::WebUrl:
        return std::string(Url(row));
    case ListColumn::LastSent:
        return DecodeLastSent(r.lastSent);
    case ListColumn::Submits:
        return DecodeSubmits(r.submits);
    }
    return {};
}

void UrlDatabase::AppendRow(std::string_view url, std::string_view lastSent, std::string_view submits) {
    Row r;
    r.url = text_.Append(url);
    r.urlLength = static_cast<std::uint32_t>(url.size());
    r.number = static_cast<std::uint32_t>(rows_.size() + 1);
    r.lastSent = EncodeLastSent(lastSent, 0);
    r.submits = EncodeSubmits(submits, 0);
    rows_.push_back(r);
    Changed();
}

bool UrlDatabase::AppendUrl(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    if (StoredUrlNeedsScheme(text)) {
        AppendRow(StoredUrl(text), {}, "0");
    } else {
        AppendRow(text, {}, "0");
    }
    return true;
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
            rows_[kept++] = rows_[i];
        }
    }
    rows_.resize(kept);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        rows_[i].number = static_cast<std::uint32_t>(i + 1);
    }
    Compact();
    Changed();
    return rows_.empty() ? -1 : 0;
}

void UrlDatabase::Compact() {
    std::size_t live = 0;
    std::size_t oddLive = 0;
    for (const Row& r : rows_) {
        live += r.urlLength;
        oddLive += ((r.lastSent & kOddValue) != 0 ? 1 : 0) + ((r.submits & kOddValue) != 0 ? 1 : 0);
    }
    // Only when most of the store is dead, so that removing a few rows stays cheap.
    if (text_.size() > 2 * live + 65536) {
        TextStore text;
        text.Reserve(live);
        for (Row& r : rows_) {
            r.url = text.Append(text_.view(r.url, r.urlLength));
        }
        text_ = std::move(text);
    }
    if (odd_.size() > 2 * oddLive + 64) {
        std::vector<std::string> odd;
        odd.reserve(oddLive);
        auto move = [this, &odd](std::uint32_t& word) {
            if ((word & kOddValue) != 0) {
                odd.push_back(std::move(odd_[word & ~kOddValue]));
                word = kOddValue | static_cast<std::uint32_t>(odd.size() - 1);
            }
        };
        for (Row& r : rows_) {
            move(r.lastSent);
            move(r.submits);
        }
        odd_ = std::move(odd);
    }
}

void UrlDatabase::MarkSubmitted(std::size_t row, std::string_view today) {
    if (row >= rows_.size()) {
        return;
    }
    Row& r = rows_[row];
    r.lastSent = EncodeLastSent(today, r.lastSent);
    const long long count =
        (r.submits & kOddValue) != 0 ? LeadingInteger(odd_[r.submits & ~kOddValue]) : r.submits;
    r.submits = EncodeSubmits(std::to_string(count == LLONG_MAX ? count : count + 1), r.submits);
    Changed();
}

void UrlDatabase::MarkSubmittedAddresses(const std::vector<std::string>& addresses, std::string_view today) {
    const std::unordered_set<std::string_view> sent(addresses.begin(), addresses.end());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (sent.count(Url(i)) != 0) {
            MarkSubmitted(i, today);
        }
    }
}

std::vector<std::uint32_t> UrlDatabase::SortOrder(int column) const {
    if (column < static_cast<int>(ListColumn::Number) || column > static_cast<int>(ListColumn::Submits)) {
        return {};
    }
    const std::size_t n = rows_.size();
    switch (static_cast<ListColumn>(column)) {
    case ListColumn::Number: {
        // Numbers are at most ten digits, so each is held whole in its head.
        TextOrder order(n);
        order.SetAll([this](std::size_t row) {
            thread_local char digits[16];
            const auto end = std::to_chars(digits, digits + sizeof digits, rows_[row].number).ptr;
            return std::string_view(digits, static_cast<std::size_t>(end - digits));
        });
        return order.Sorted(ascending_);
    }
    case ListColumn::WebUrl: {
        TextOrder order(n);
        const char* base = text_.data();
        order.SetAll([this, base, n](std::size_t row) {
            // The addresses lie anywhere in the store once the rows have been sorted; ask for the
            // ones a few rows ahead early, so the waits overlap.
            if (row + 16 < n) {
                __builtin_prefetch(base + rows_[row + 16].url);
            }
            return Url(row);
        });
        return order.Sorted(ascending_);
    }
    case ListColumn::LastSent: {
        std::vector<long long> keys(n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t word = rows_[i].lastSent;
            // For a date in the list form the key is its month.
            keys[i] = word == 0                 ? 0
                      : (word & kOddValue) == 0 ? static_cast<long long>((word - 1) / 100 % 100)
                                                : LastSentKey(odd_[word & ~kOddValue]);
        }
        return OrderByInteger(keys, ascending_);
    }
    case ListColumn::Submits:
        break; // the header click only turns the direction round
    }
    return {};
}

UrlDatabase::SortPlan UrlDatabase::PlanSort(int column) const {
    SortPlan plan;
    plan.column_ = column;
    plan.version_ = version_;
    plan.order_ = SortOrder(column);
    if (plan.order_.size() != rows_.size()) {
        return plan;
    }
    // Gathered into a new array: the reads are independent of each other, so they overlap, where
    // following the permutation's cycles in place waits for one row before it can ask for the next.
    plan.rows_.resize(rows_.size());
    const std::vector<std::uint32_t>& order = plan.order_;
    RunHalvesSideBySide(order.size(), kSideBySideRows,
                        [this, &order, &plan](std::size_t begin, std::size_t end) {
                            for (std::size_t i = begin; i < end; ++i) {
                                if (i + 16 < end) {
                                    __builtin_prefetch(&rows_[order[i + 16]]);
                                }
                                plan.rows_[i] = rows_[order[i]];
                            }
                        });
    return plan;
}

std::vector<std::uint32_t> UrlDatabase::ApplySort(SortPlan plan) {
    if (plan.column_ < static_cast<int>(ListColumn::Number) ||
        plan.column_ > static_cast<int>(ListColumn::Submits)) {
        return {};
    }
    ascending_ = !ascending_;
    if (plan.order_.empty() || plan.order_.size() != rows_.size()) {
        return {};
    }
    if (plan.version_ != version_ || plan.rows_.size() != rows_.size()) {
        plan.rows_.resize(rows_.size());
        for (std::size_t i = 0; i < plan.order_.size(); ++i) {
            plan.rows_[i] = rows_[plan.order_[i]];
        }
    }
    rows_.swap(plan.rows_);
    Changed();
    return std::move(plan.order_);
}

std::vector<std::uint32_t> UrlDatabase::SortByColumn(int column) {
    return ApplySort(PlanSort(column));
}

void UrlDatabase::AppendLoaded(std::string_view url, std::string_view lastSent, std::string_view submits) {
    AppendRow(url, lastSent, submits);
}

void UrlDatabase::Clear() {
    Changed();
    rows_ = {};
    text_.Clear();
    odd_ = {};
    email_.clear();
}

} // namespace sendwell
