// Reading a word of the command line or a setting through a table of the names it may take.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

namespace sendwell {

// The value names gives name, matched exactly; nullopt when the table has no such name.
template <typename Value, std::size_t N>
constexpr std::optional<Value> ValueNamed(const std::pair<std::string_view, Value> (&names)[N],
                                          std::string_view name) {
    for (const auto& [known, value] : names) {
        if (known == name) {
            return value;
        }
    }
    return std::nullopt;
}

} // namespace sendwell
