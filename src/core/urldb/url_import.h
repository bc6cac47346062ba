// Address import from a text file: one address per line, or several separated by commas.
#pragma once

#include <filesystem>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

// The texts to hand to AppendUrl, in order.
std::vector<std::string> ParseImport(std::istream& in);
// Same for text already in memory.
std::vector<std::string> ParseImportText(std::string_view text);
// Same for a file; a file that cannot be opened or read (a folder, say) gives nothing.
std::vector<std::string> ParseImportFile(const std::filesystem::path& file);

} // namespace sendwell
