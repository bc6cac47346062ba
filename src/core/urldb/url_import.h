// Address import from a text file: one address per line, or several separated by commas.
#pragma once

#include "core/base/progress.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

class UrlDatabase;

// The texts to hand to AppendUrl, in order, for text already in memory.
std::vector<std::string> ParseImportText(std::string_view text);

// What an import reads: bytes by offset, so that the rare line too long to keep in memory while it is
// scanned can be read a second time once its end shows what it holds.
class ImportSource {
public:
    virtual ~ImportSource() = default;
    // Up to size bytes from offset; fewer only at the end or on a read error.
    virtual std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) = 0;
    // For progress reports; 0 when unknown.
    virtual std::uint64_t Size() const = 0;
};

class TextImportSource : public ImportSource {
public:
    explicit TextImportSource(std::string_view text) : text_(text) {}
    std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override;
    std::uint64_t Size() const override { return text_.size(); }

private:
    std::string_view text_;
};

struct ImportLimits {
    std::size_t blockBytes = std::size_t{1} << 20; // read at a time
    std::size_t lineBytes = std::size_t{1} << 20;  // longest unfinished line kept; longer ones are read again
};

struct ImportControl {
    // Set from another thread to cancel; checked between blocks.
    const std::atomic<bool>* stop = nullptr;
    // After each block: bytes scanned so far of the source's size, as steps. Called on the importing
    // thread; may be null.
    Progress* progress = nullptr;
    ImportLimits limits;
};

enum class ImportEnd { Finished, Cancelled };

// Appends the source's addresses, the same as ParseImportText on the whole text, reading each byte at
// most three times and keeping in memory only a block, one unfinished line up to the limit, and the
// addresses found. A cancelled import leaves addresses empty; a read error ends the text there.
ImportEnd ImportAddresses(ImportSource& source, std::vector<std::string>& addresses,
                          const ImportControl& control = {});

// The same for a file. A file that cannot be opened or read (a folder, say) gives nothing, and so does
// one holding more addresses than memory does.
ImportEnd ImportFile(const std::filesystem::path& file, std::vector<std::string>& addresses,
                     const ImportControl& control = {});
std::vector<std::string> ParseImportFile(const std::filesystem::path& file);

// Addresses read whole (a sitemap's, one row each) in the form AppendUrl stores them, leaving out
// those already in db and repeats within the list, in order. skipped, when given, counts what was left out.
std::vector<std::string> AddressesNotIn(const UrlDatabase& db, const std::vector<std::string>& addresses,
                                        std::size_t* skipped = nullptr);

} // namespace sendwell
