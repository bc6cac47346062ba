#include "core/urldb/url_database.h"

#include "core/base/ascii_case.h"
#include "core/base/settings.h"
#include "core/web/url_parts.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <unordered_set>

namespace sendwell {

namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

constexpr std::array<unsigned char, 256> MakeLowerTable() {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = static_cast<unsigned char>(AsciiLower(static_cast<char>(c)));
    }
    return table;
}
constexpr std::array<unsigned char, 256> kLower = MakeLowerTable();

bool IsLeapYear(long long y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(long long month, long long year) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

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

// --- Sorting by text ---------------------------------------------------------------------------------
//
// Rows are sorted by sixteen bytes of their folded text at a time ("heads"). Rows whose heads tie are
// settled afterwards, group by group: a text that ended inside the head is a prefix of every longer
// one in its group, and the rest are compared on their next sixteen bytes. Exactly equal texts keep
// their old order, so the result is that of a stable sort by the whole text.

struct TextKey {
    std::uint64_t hi;
    std::uint64_t lo;
    std::uint32_t row;
};

using KeyVector = std::vector<TextKey, HugePageAllocator<TextKey>>;

void FillHead(TextKey& key, std::string_view text, std::size_t depth) {
    unsigned char bytes[16] = {};
    if (depth < text.size()) {
        const std::size_t n = std::min<std::size_t>(16, text.size() - depth);
        const auto* from = reinterpret_cast<const unsigned char*>(text.data() + depth);
        for (std::size_t i = 0; i < n; ++i) {
            bytes[i] = kLower[from[i]];
        }
    }
    std::uint64_t hi = 0, lo = 0;
    for (int i = 0; i < 8; ++i) {
        hi = (hi << 8) | bytes[i];
        lo = (lo << 8) | bytes[8 + i];
    }
    key.hi = hi;
    key.lo = lo;
}

bool HeadLess(const TextKey& a, const TextKey& b) {
    return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo;
}
bool HeadEqual(const TextKey& a, const TextKey& b) {
    return a.hi == b.hi && a.lo == b.lo;
}

void SortHeads(TextKey* first, TextKey* last, bool ascending) {
    if (ascending) {
        std::sort(first, last, HeadLess);
    } else {
        std::sort(first, last, [](const TextKey& a, const TextKey& b) { return HeadLess(b, a); });
    }
}

// Folded bytes shared by every text of a group from depth on (each text is longer than depth).
template <typename TextOf>
std::size_t SharedFrom(const TextKey* first, const TextKey* last, std::size_t depth, const TextOf& textOf) {
    const std::string_view lead = textOf(first->row);
    std::size_t shared = lead.size() - depth;
    for (const TextKey* k = first + 1; k != last && shared > 0; ++k) {
        const std::string_view t = textOf(k->row);
        const std::size_t limit = std::min(shared, t.size() - depth);
        std::size_t n = 0;
        while (n < limit && kLower[static_cast<unsigned char>(t[depth + n])] ==
                                kLower[static_cast<unsigned char>(lead[depth + n])]) {
            ++n;
        }
        shared = n;
    }
    return shared;
}

template <typename TextOf>
void SettleTies(KeyVector& keys, bool ascending, const TextOf& textOf) {
    struct Group {
        std::size_t begin, end, depth;
    };
    std::vector<Group> pending;
    auto queueTies = [&pending, &keys](std::size_t begin, std::size_t end, std::size_t depth) {
        for (std::size_t i = begin; i < end;) {
            std::size_t j = i + 1;
            while (j < end && HeadEqual(keys[i], keys[j])) {
                ++j;
            }
            if (j - i > 1) {
                pending.push_back({i, j, depth});
            }
            i = j;
        }
    };
    queueTies(0, keys.size(), 0);

    while (!pending.empty()) {
        const Group g = pending.back();
        pending.pop_back();
        const std::size_t next = g.depth + 16;
        TextKey* first = keys.data() + g.begin;
        TextKey* last = keys.data() + g.end;
        // Texts that ended inside the head come first when ascending, shortest first; equal texts
        // keep their old order.
        auto ended = [&textOf, next](const TextKey& k) { return textOf(k.row).size() <= next; };
        TextKey* split = ascending
                             ? std::partition(first, last, ended)
                             : std::partition(first, last, [&ended](const TextKey& k) { return !ended(k); });
        TextKey* endedFirst = ascending ? first : split;
        TextKey* endedLast = ascending ? split : last;
        std::sort(endedFirst, endedLast, [&textOf, ascending](const TextKey& a, const TextKey& b) {
            const std::size_t la = textOf(a.row).size(), lb = textOf(b.row).size();
            if (la != lb) {
                return ascending ? la < lb : lb < la;
            }
            return a.row < b.row;
        });
        TextKey* longFirst = ascending ? split : first;
        TextKey* longLast = ascending ? last : split;
        if (longLast - longFirst < 2) {
            continue;
        }
        // Skip what the whole group still shares, so a group of addresses on one site does not take
        // a pass per sixteen bytes of its common part.
        const std::size_t depth = next + SharedFrom(longFirst, longLast, next, textOf);
        for (TextKey* k = longFirst; k != longLast; ++k) {
            FillHead(*k, textOf(k->row), depth);
        }
        SortHeads(longFirst, longLast, ascending);
        queueTies(static_cast<std::size_t>(longFirst - keys.data()),
                  static_cast<std::size_t>(longLast - keys.data()), depth);
    }
}

std::vector<std::uint32_t> RowsOf(const KeyVector& keys) {
    std::vector<std::uint32_t> order;
    order.reserve(keys.size());
    for (const TextKey& k : keys) {
        order.push_back(k.row);
    }
    return order;
}

// Stable order of rows by an integer key; small key ranges are counted rather than compared.
std::vector<std::uint32_t> OrderByInteger(const std::vector<long long>& keys, bool ascending) {
    const std::size_t n = keys.size();
    std::vector<std::uint32_t> order(n);
    if (n == 0) {
        return order;
    }
    const auto [lowIt, highIt] = std::minmax_element(keys.begin(), keys.end());
    const long long low = *lowIt, high = *highIt;
    if (static_cast<unsigned long long>(high) - static_cast<unsigned long long>(low) < (1ULL << 16)) {
        const std::size_t buckets = static_cast<std::size_t>(high - low) + 1;
        std::vector<std::uint32_t> start(buckets + 1, 0);
        for (long long k : keys) {
            const std::size_t b = static_cast<std::size_t>(k - low);
            ++start[(ascending ? b : buckets - 1 - b) + 1];
        }
        for (std::size_t b = 0; b < buckets; ++b) {
            start[b + 1] += start[b];
        }
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t b = static_cast<std::size_t>(keys[i] - low);
            order[start[ascending ? b : buckets - 1 - b]++] = static_cast<std::uint32_t>(i);
        }
        return order;
    }
    for (std::size_t i = 0; i < n; ++i) {
        order[i] = static_cast<std::uint32_t>(i);
    }
    std::sort(order.begin(), order.end(), [&keys, ascending](std::uint32_t a, std::uint32_t b) {
        if (keys[a] != keys[b]) {
            return ascending ? keys[a] < keys[b] : keys[b] < keys[a];
        }
        return a < b;
    });
    return order;
}

} // namespace

// --- TextStore ---------------------------------------------------------------------------------------

void AdviseHugePages(void* block, std::size_t bytes) {
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    if (block == nullptr || bytes < 2 * kHuge) {
        return;
    }
    // The whole pages inside the block; the advice is only a hint, so a refusal changes nothing.
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = (start + page - 1) / page * page;
    const std::uintptr_t last = (start + bytes) / page * page;
    if (last > first) {
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

TextStore::TextStore(const TextStore& other) {
    if (other.size_ > 0) {
        Reserve(other.size_);
        std::memcpy(data_, other.data_, other.size_);
        size_ = other.size_;
    }
}

TextStore& TextStore::operator=(const TextStore& other) {
    if (this != &other) {
        TextStore copy(other);
        *this = std::move(copy);
    }
    return *this;
}

TextStore::TextStore(TextStore&& other) noexcept
    : data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
}

TextStore& TextStore::operator=(TextStore&& other) noexcept {
    if (this != &other) {
        std::free(data_);
        data_ = other.data_;
        size_ = other.size_;
        capacity_ = other.capacity_;
        other.data_ = nullptr;
        other.size_ = other.capacity_ = 0;
    }
    return *this;
}

TextStore::~TextStore() {
    std::free(data_);
}

void TextStore::Reserve(std::size_t capacity) {
    if (capacity <= capacity_) {
        return;
    }
    // realloc moves a large block by remapping its pages, not by copying them.
    void* grown = std::realloc(data_, capacity);
    if (grown == nullptr) {
        throw std::bad_alloc();
    }
    data_ = static_cast<char*>(grown);
    capacity_ = capacity;
    AdviseHugePages(data_, capacity_);
}

void TextStore::SetSize(std::size_t size) {
    Reserve(size);
    size_ = size;
}

std::uint64_t TextStore::Append(std::string_view bytes) {
    if (bytes.size() > capacity_ - size_) {
        Reserve(std::max({size_ + bytes.size(), capacity_ * 2, std::size_t{4096}}));
    }
    const std::uint64_t at = size_;
    if (!bytes.empty()) {
        std::memcpy(data_ + size_, bytes.data(), bytes.size());
    }
    size_ += bytes.size();
    return at;
}

void TextStore::Shrink(std::size_t size) {
    size_ = std::min(size, size_);
    if (size_ == 0) {
        Clear();
        return;
    }
    if (void* smaller = std::realloc(data_, size_)) {
        data_ = static_cast<char*>(smaller);
        capacity_ = size_;
    }
}

void TextStore::Clear() {
    std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = 0;
}

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
    AppendUrl(addressText);
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
        // Numbers are at most ten digits, so a head holds the whole text and ties are equal numbers.
        KeyVector keys(n);
        char digits[16];
        for (std::size_t i = 0; i < n; ++i) {
            const auto end = std::to_chars(digits, digits + sizeof digits, rows_[i].number).ptr;
            keys[i].row = static_cast<std::uint32_t>(i);
            FillHead(keys[i], std::string_view(digits, static_cast<std::size_t>(end - digits)), 0);
        }
        const bool ascending = ascending_;
        std::sort(keys.begin(), keys.end(), [ascending](const TextKey& a, const TextKey& b) {
            if (!HeadEqual(a, b)) {
                return ascending ? HeadLess(a, b) : HeadLess(b, a);
            }
            return a.row < b.row;
        });
        return RowsOf(keys);
    }
    case ListColumn::WebUrl: {
        KeyVector keys(n);
        const char* base = text_.data();
        for (std::size_t i = 0; i < n; ++i) {
            // The addresses lie anywhere in the store once the rows have been sorted; ask for the
            // ones a few rows ahead early, so the waits overlap.
            if (i + 16 < n) {
                __builtin_prefetch(base + rows_[i + 16].url);
            }
            keys[i].row = static_cast<std::uint32_t>(i);
            FillHead(keys[i], Url(i), 0);
        }
        SortHeads(keys.data(), keys.data() + n, ascending_);
        SettleTies(keys, ascending_, [this](std::uint32_t row) { return Url(row); });
        return RowsOf(keys);
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
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i + 16 < order.size()) {
            __builtin_prefetch(&rows_[order[i + 16]]);
        }
        plan.rows_[i] = rows_[order[i]];
    }
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

std::string LocalTimeText(const char* format) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    std::size_t n = std::strftime(text, sizeof text, format, &local);
    return std::string(text, n);
}

std::string UtcTimeText() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
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
    std::string text(10, '0');
    FormatPackedDate(PackDate(static_cast<int>(month), static_cast<int>(day), static_cast<int>(year)),
                     text.data());
    return text;
}

} // namespace sendwell
