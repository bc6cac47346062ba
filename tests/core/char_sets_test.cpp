// Cutting text by a set of characters: the edges where an off-by-one would lose or keep a character.
#include "core/base/char_sets.h"

#include <gtest/gtest.h>

namespace sendwell {
namespace {

TEST(CharSets, TrimCutsOnlyTheEdges) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"", ""}, {" \t\n", ""}, {"a", "a"}, {"\f a b \r", "a b"}, {"\va\v", "a"}};
    for (const auto& [text, trimmed] : cases) {
        EXPECT_EQ(TrimAny(text, kAsciiSpace), trimmed) << text;
    }
    // HTML's spaces leave a vertical tab alone.
    EXPECT_EQ(TrimAny("\va ", kHtmlSpace), "\va");
}

TEST(CharSets, WithoutDropsEveryListedCharacterAnywhere) {
    EXPECT_EQ(WithoutAny("\"a=b>\"", "\"=>"), "ab");
    EXPECT_EQ(WithoutAny("", "x"), "");
    EXPECT_EQ(WithoutAny(std::string_view("a\0b", 3), ""), std::string("a\0b", 3));
}

TEST(CharSets, SplitKeepsEmptyPiecesOnlyWhenAskedAndNeverAfterTheLastSeparator) {
    using Pieces = std::vector<std::string>;
    EXPECT_EQ(SplitAny("a\n\nb\n", "\n", true), (Pieces{"a", "", "b"}));
    EXPECT_EQ(SplitAny("\na", "\n", true), (Pieces{"", "a"}));
    EXPECT_EQ(SplitAny(",a,\tb,,", ",\t", false), (Pieces{"a", "b"}));
    EXPECT_EQ(SplitAny("", ",", true), Pieces{});
    EXPECT_EQ(SplitAny("abc", ",", false), Pieces{"abc"});
}

} // namespace
} // namespace sendwell
