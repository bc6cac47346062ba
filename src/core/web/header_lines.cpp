#include "core/web/header_lines.h"

#include <cstring>
#include <curl/curl.h>
#include <new>

namespace sendwell {

// libcurl only walks a list it is handed, so the nodes and the text lie in one block rather than in two
// allocations per line, as curl_slist_append would make them. The first node starts the block.
template <typename Lines>
void HeaderLineList::Lay(const Lines& lines) {
    block_.reset();
    if (lines.size() == 0) {
        return;
    }
    std::size_t text = 0;
    for (std::string_view line : lines) {
        text += line.size() + 1;
    }
    const std::size_t count = lines.size();
    block_ = std::make_unique_for_overwrite<std::byte[]>(count * sizeof(curl_slist) + text);
    auto* nodes = reinterpret_cast<curl_slist*>(block_.get()); // new[] memory suits any object
    char* at = reinterpret_cast<char*>(block_.get() + count * sizeof(curl_slist));
    std::size_t i = 0;
    for (std::string_view line : lines) {
        // As a C string, the way libcurl reads it: a line holding NUL ends there.
        std::memcpy(at, line.data(), line.size());
        at[line.size()] = '\0';
        ::new (&nodes[i]) curl_slist{at, i + 1 < count ? &nodes[i + 1] : nullptr};
        at += line.size() + 1;
        ++i;
    }
}

HeaderLineList::HeaderLineList(std::initializer_list<std::string_view> lines) {
    Lay(lines);
}

HeaderLineList::HeaderLineList(const std::vector<std::string>& lines) {
    Lay(lines);
}

HeaderLineList::HeaderLineList(const HeaderLineList& other) {
    Lay(other.lines());
}

HeaderLineList& HeaderLineList::operator=(const HeaderLineList& other) {
    if (this != &other) {
        Lay(other.lines());
    }
    return *this;
}

HeaderLineList::~HeaderLineList() = default;

std::vector<std::string_view> HeaderLineList::lines() const {
    std::vector<std::string_view> out;
    for (auto* node = reinterpret_cast<const curl_slist*>(block_.get()); node != nullptr; node = node->next) {
        out.emplace_back(node->data);
    }
    return out;
}

} // namespace sendwell
