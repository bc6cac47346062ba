// The orders a header click sorts rows into: by text without regard to ASCII case, or by an integer.
// Both are stable: rows that compare equal keep their old order, in either direction.
#pragma once

#include "core/base/side_by_side.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace sendwell {

// From this many rows on, a sort's passes over them are shared with a second thread: below, the
// thread costs more than it saves.
inline constexpr std::size_t kSideBySideRows = 100000;

// Rows by their texts, folded to lower case byte by byte. Texts are ordered sixteen bytes at a time
// ("heads"); rows whose heads tie are settled group by group, skipping what a whole group shares. A
// long list is split in two at a head and the parts are sorted side by side.
class TextOrder {
public:
    // Room for this many rows; each must then be given its text once.
    explicit TextOrder(std::size_t rows);
    ~TextOrder();
    TextOrder(const TextOrder&) = delete;
    TextOrder& operator=(const TextOrder&) = delete;

    // A text of more than sixteen bytes is read again while sorting, so it must stay in place until
    // Sorted() returns; a shorter one is held whole.
    void Set(std::uint32_t row, std::string_view text);
    // Set for every row with textOf(row), in two halves side by side for a long list.
    template <typename TextOf>
    void SetAll(const TextOf& textOf) {
        RunHalvesSideBySide(count_, kSideBySideRows, [this, &textOf](std::size_t begin, std::size_t end) {
            for (std::size_t row = begin; row < end; ++row) {
                Set(static_cast<std::uint32_t>(row), textOf(row));
            }
        });
    }
    // The rows in their new order (new row i was old row order[i]).
    std::vector<std::uint32_t> Sorted(bool ascending);

    struct Key;

private:
    std::unique_ptr<Key[]> keys_;
    std::size_t count_ = 0;
};

// Rows by an integer key; small key ranges are counted rather than compared.
std::vector<std::uint32_t> OrderByInteger(const std::vector<long long>& keys, bool ascending);

} // namespace sendwell
