// The Schedule dialog's command field: typed text split into words as a shell would, and words joined
// into text that splits back to them.
#include "core/schedule/command_words.h"

#include <gtest/gtest.h>

namespace sendwell {
namespace {

using Words = std::vector<std::string>;

TEST(CommandWords, SplitsAsAShellWouldWithoutExpanding) {
    const struct {
        const char* text;
        Words words;
    } cases[] = {
        {"  indexnow  submit\t--all ", {"indexnow", "submit", "--all"}},
        {"audit 'https://a.test/x y' --format=csv", {"audit", "https://a.test/x y", "--format=csv"}},
        {R"(a "b \"c\" \n $HOME" d\ e)", {"a", R"(b "c" \n $HOME)", "d e"}},
        {R"(x'y'"z" '' "")", {"xyz", "", ""}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitCommandWords(c.text), c.words) << c.text;
    }
    for (const char* open : {"a 'b", "a \"b", "a b\\"}) {
        EXPECT_FALSE(SplitCommandWords(open)) << open;
    }
}

TEST(CommandWords, JoinedWordsSplitBackToThemselves) {
    const Words words = {"indexnow", "--sitemap", "https://a.test/s.xml?x=1&y=2", "it's", "", "$HOME", "a b"};
    const std::string text = JoinCommandWords(words);
    EXPECT_EQ(SplitCommandWords(text), words) << text;
    EXPECT_EQ(JoinCommandWords(Words{"audit", "--all"}), "audit --all");
}

} // namespace
} // namespace sendwell
