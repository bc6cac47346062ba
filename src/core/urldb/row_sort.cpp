#include "core/urldb/row_sort.h"

#include "core/base/ascii_case.h"
#include "core/urldb/text_store.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace sendwell {

// A row's head at the depth its group has reached, and where its whole text is. 32 bytes, so that
// the sorts move whole half cache lines and nothing has to look the row up again.
struct TextOrder::Key {
    std::uint64_t hi;
    std::uint64_t lo;
    const char* text;
    std::uint32_t length;
    std::uint32_t row;
};

namespace {

using Key = TextOrder::Key;

std::uint64_t BigEndian(std::uint64_t x) {
    if constexpr (std::endian::native == std::endian::little) {
        return __builtin_bswap64(x);
    }
    return x;
}

// The sixteen folded bytes of the text from depth on, zero past its end, as two numbers that compare
// as the bytes do.
void FillHead(Key& key, const char* text, std::size_t depth) {
    std::uint64_t word[2] = {0, 0};
    if (depth < key.length) {
        const std::size_t left = key.length - depth;
        if (left >= 16) {
            std::memcpy(word, text + depth, 16);
        } else {
            std::memcpy(word, text + depth, left);
        }
    }
    key.hi = BigEndian(AsciiLowerEight(word[0]));
    key.lo = BigEndian(AsciiLowerEight(word[1]));
}

unsigned char Folded(char c) {
    return static_cast<unsigned char>(AsciiLower(c));
}

bool HeadLess(const Key& a, const Key& b) {
    return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo;
}
bool HeadEqual(const Key& a, const Key& b) {
    return a.hi == b.hi && a.lo == b.lo;
}

void SortHeads(Key* first, Key* last, bool ascending) {
    if (ascending) {
        std::sort(first, last, [](const Key& a, const Key& b) { return HeadLess(a, b); });
    } else {
        std::sort(first, last, [](const Key& a, const Key& b) { return HeadLess(b, a); });
    }
}

// How far ahead the settling loops ask for texts: they lie anywhere in the store, and asking early
// lets the waits overlap.
constexpr std::ptrdiff_t kAhead = 24;

// Folded bytes shared by every text of a group from depth on (each text is longer than depth).
std::size_t SharedFrom(const Key* first, const Key* last, std::size_t depth) {
    const char* lead = first->text + depth;
    std::size_t shared = first->length - depth;
    for (const Key* k = first + 1; k != last && shared > 0; ++k) {
        if (last - k > kAhead) {
            __builtin_prefetch(k[kAhead].text + depth);
        }
        const char* t = k->text + depth;
        const std::size_t limit = std::min<std::size_t>(shared, k->length - depth);
        std::size_t n = 0;
        while (n < limit && Folded(t[n]) == Folded(lead[n])) {
            ++n;
        }
        shared = n;
    }
    return shared;
}

void SettleTies(Key* keys, std::size_t count, bool ascending) {
    struct Group {
        std::size_t begin, end, depth;
    };
    std::vector<Group> pending;
    auto queueTies = [&pending, keys](std::size_t begin, std::size_t end, std::size_t depth) {
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
    queueTies(0, count, 0);

    // Last in, first out: a group's ties are settled right after it, while its texts are still cached.
    while (!pending.empty()) {
        const Group g = pending.back();
        pending.pop_back();
        const std::size_t next = g.depth + 16;
        Key* first = keys + g.begin;
        Key* last = keys + g.end;
        // Texts that ended inside the head come first when ascending, shortest first; equal texts
        // keep their old order.
        auto ended = [next](const Key& k) { return k.length <= next; };
        Key* split = ascending ? std::partition(first, last, ended)
                               : std::partition(first, last, [&ended](const Key& k) { return !ended(k); });
        Key* endedFirst = ascending ? first : split;
        Key* endedLast = ascending ? split : last;
        std::sort(endedFirst, endedLast, [ascending](const Key& a, const Key& b) {
            if (a.length != b.length) {
                return ascending ? a.length < b.length : b.length < a.length;
            }
            return a.row < b.row;
        });
        Key* longFirst = ascending ? split : first;
        Key* longLast = ascending ? last : split;
        if (longLast - longFirst < 2) {
            continue;
        }
        // Skip what the whole group still shares, so a group of addresses on one site does not take
        // a pass per sixteen bytes of its common part.
        const std::size_t depth = next + SharedFrom(longFirst, longLast, next);
        for (Key* k = longFirst; k != longLast; ++k) {
            if (longLast - k > kAhead) {
                __builtin_prefetch(k[kAhead].text + depth);
            }
            FillHead(*k, k->text, depth);
        }
        SortHeads(longFirst, longLast, ascending);
        queueTies(static_cast<std::size_t>(longFirst - keys), static_cast<std::size_t>(longLast - keys),
                  depth);
    }
}

} // namespace

// Not value-initialised: every key is written by Set, and zeroing a million of them first would
// only touch every page twice.
TextOrder::TextOrder(std::size_t rows) : keys_(new Key[rows]), count_(rows) {
    AdviseHugePages(keys_.get(), rows * sizeof(Key));
}

TextOrder::~TextOrder() = default;

void TextOrder::Set(std::uint32_t row, std::string_view text) {
    Key& key = keys_[row];
    key.length = static_cast<std::uint32_t>(text.size());
    key.row = row;
    key.text = text.size() > 16 ? text.data() : nullptr;
    FillHead(key, text.data(), 0);
}

std::vector<std::uint32_t> TextOrder::Sorted(bool ascending) {
    SortHeads(keys_.get(), keys_.get() + count_, ascending);
    SettleTies(keys_.get(), count_, ascending);
    std::vector<std::uint32_t> order(count_);
    for (std::size_t i = 0; i < count_; ++i) {
        order[i] = keys_[i].row;
    }
    return order;
}

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

} // namespace sendwell
