// Header lines of a request, kept the way the transfer hands them over: every line of a list in one
// block, so setting a request's lines costs one allocation however many there are.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

class HeaderLineList {
public:
    HeaderLineList() = default;
    HeaderLineList(std::initializer_list<std::string_view> lines);
    HeaderLineList(const std::vector<std::string>& lines);
    HeaderLineList(const HeaderLineList& other);
    HeaderLineList& operator=(const HeaderLineList& other);
    HeaderLineList(HeaderLineList&& other) noexcept = default;
    HeaderLineList& operator=(HeaderLineList&& other) noexcept = default;
    ~HeaderLineList();

    std::vector<std::string_view> lines() const;
    // The block as the transfer reads it (core/web/curl_support.h); null for no lines.
    const std::byte* block() const { return block_.get(); }

private:
    template <typename Lines>
    void Lay(const Lines& lines);

    std::unique_ptr<std::byte[]> block_; // the list's nodes, then every line ending in NUL
};

} // namespace sendwell
