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

void CompareSortHeads(Key* first, Key* last, bool ascending) {
    if (ascending) {
        std::sort(first, last, [](const Key& a, const Key& b) { return HeadLess(a, b); });
    } else {
        std::sort(first, last, [](const Key& a, const Key& b) { return HeadLess(b, a); });
    }
}

// Byte i (0 to 15) of a head, as the sort's bucket: reversed for a descending sort.
unsigned Bucket(const Key& k, unsigned i, bool ascending) {
    const std::uint64_t word = i < 8 ? k.hi : k.lo;
    const unsigned byte = static_cast<unsigned>(word >> (56 - 8 * (i % 8))) & 0xFFU;
    return ascending ? byte : 255 - byte;
}

// Bytes of the heads from byte i on that every key of the range shares: those of the smallest and
// the largest head.
unsigned SharedHeadBytes(const Key* first, const Key* last, unsigned i) {
    Key low = *first, high = *first;
    for (const Key* k = first + 1; k != last; ++k) {
        if (HeadLess(*k, low)) {
            low = *k;
        } else if (HeadLess(high, *k)) {
            high = *k;
        }
    }
    const std::uint64_t hiDiff = low.hi ^ high.hi, loDiff = low.lo ^ high.lo;
    const unsigned same = hiDiff != 0   ? static_cast<unsigned>(std::countl_zero(hiDiff)) / 8
                          : loDiff != 0 ? 8 + static_cast<unsigned>(std::countl_zero(loDiff)) / 8
                                        : 16;
    return same > i ? same - i : 0;
}

// Below this many keys comparing beats distributing.
constexpr std::ptrdiff_t kDistributeKeys = 64;

// The keys by their heads from byte i on (the bytes before it are equal), distributed in place byte by
// byte: addresses share long runs of bytes and differ in few, so each key is moved a few times where
// comparing would move it a score of times. Keys of equal heads end up side by side, in no set order.
void DistributeHeads(Key* first, Key* last, unsigned i, bool ascending) {
    while (last - first >= kDistributeKeys && i < 16) {
        std::size_t start[257] = {};
        for (const Key* k = first; k != last; ++k) {
            ++start[Bucket(*k, i, ascending) + 1];
        }
        if (start[Bucket(*first, i, ascending) + 1] == static_cast<std::size_t>(last - first)) {
            i += std::max(1U, SharedHeadBytes(first, last, i)); // one bucket: skip what all share
            continue;
        }
        for (unsigned b = 0; b < 256; ++b) {
            start[b + 1] += start[b];
        }
        std::size_t next[256];
        std::copy(start, start + 256, next);
        for (unsigned b = 0; b < 256; ++b) {
            while (next[b] < start[b + 1]) {
                Key k = first[next[b]];
                for (unsigned kb = Bucket(k, i, ascending); kb != b; kb = Bucket(k, i, ascending)) {
                    std::swap(k, first[next[kb]++]);
                }
                first[next[b]++] = k;
            }
        }
        for (unsigned b = 0; b < 256; ++b) {
            if (start[b + 1] - start[b] > 1) {
                DistributeHeads(first + start[b], first + start[b + 1], i + 1, ascending);
            }
        }
        return;
    }
    if (i < 16) {
        CompareSortHeads(first, last, ascending);
    }
}

void SortHeads(Key* first, Key* last, bool ascending) {
    DistributeHeads(first, last, 0, ascending);
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
        // Eight bytes at a time: the shared part of one site's addresses runs to dozens of bytes.
        for (; n + 8 <= limit; n += 8) {
            std::uint64_t a = 0, b = 0;
            std::memcpy(&a, t + n, 8);
            std::memcpy(&b, lead + n, 8);
            if (const std::uint64_t diff = AsciiLowerEight(a) ^ AsciiLowerEight(b); diff != 0) {
                n += static_cast<std::size_t>(std::endian::native == std::endian::little
                                                  ? std::countr_zero(diff)
                                                  : std::countl_zero(diff)) /
                     8;
                break;
            }
        }
        if (n + 8 > limit) {
            while (n < limit && Folded(t[n]) == Folded(lead[n])) {
                ++n;
            }
        }
        shared = std::min(n, limit);
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

// Splits the keys in two at a head near the middle, all keys of one head on the same side, so that
// the two parts can be sorted side by side and then stand one after the other as they are. Returns
// where the second part starts: first or last when the keys are too few or too alike to split.
Key* SplitByHead(Key* first, Key* last, bool ascending) {
    const auto count = static_cast<std::size_t>(last - first);
    constexpr std::size_t kSamples = 1023;
    if (count < kSideBySideRows) {
        return first;
    }
    std::vector<Key> sample(kSamples);
    for (std::size_t i = 0; i < kSamples; ++i) {
        sample[i] = first[i * (count / kSamples)];
    }
    CompareSortHeads(sample.data(), sample.data() + kSamples, true);
    const Key pivot = sample[kSamples / 2];
    // The pivot's own head goes to the side that leaves the parts closer in size.
    const auto below = static_cast<std::size_t>(
        std::lower_bound(sample.begin(), sample.end(), pivot, HeadLess) - sample.begin());
    const auto upTo = static_cast<std::size_t>(
        std::upper_bound(sample.begin(), sample.end(), pivot, HeadLess) - sample.begin());
    const bool pivotBelow = upTo - kSamples / 2 < kSamples / 2 - below;
    auto low = [&pivot, pivotBelow](const Key& k) {
        return pivotBelow ? !HeadLess(pivot, k) : HeadLess(k, pivot);
    };
    if (ascending) {
        return std::partition(first, last, low);
    }
    return std::partition(first, last, [&low](const Key& k) { return !low(k); });
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
    std::vector<std::uint32_t> order(count_);
    Key* const keys = keys_.get();
    auto sortPart = [&order, keys, ascending](Key* first, Key* last) {
        SortHeads(first, last, ascending);
        SettleTies(first, static_cast<std::size_t>(last - first), ascending);
        for (Key* k = first; k != last; ++k) {
            order[static_cast<std::size_t>(k - keys)] = k->row;
        }
    };
    Key* const middle = SplitByHead(keys, keys + count_, ascending);
    if (middle == keys || middle == keys + count_) {
        sortPart(keys, keys + count_);
    } else {
        RunSideBySide([&] { sortPart(keys, middle); }, [&] { sortPart(middle, keys + count_); });
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
