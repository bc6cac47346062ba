// A command line typed as one text (the Schedule dialog's field) and its words, as a POSIX shell
// splits them: blanks part words, '…' keeps everything literal, "…" and \ keep the next character.
// Nothing is expanded: there is no shell behind it.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

// The words of text; none when a quote is left open or the text ends in a lone backslash.
std::optional<std::vector<std::string>> SplitCommandWords(std::string_view text);
// The words as one text that SplitCommandWords gives back as they are.
std::string JoinCommandWords(std::span<const std::string> words);

} // namespace sendwell
