#include "core/urldb/text_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace sendwell {

void AdviseHugePages(void* block, std::size_t bytes) {
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    if (block == nullptr || bytes < 2 * kHuge) {
        return;
    }
    // The whole pages inside the block; the advice is only a hint, so a refusal changes nothing.
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = (start + page - 1) / page * page;
    const std::uintptr_t last = (start + bytes) / page * page;
    if (last > first) {
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

TextStore::TextStore(const TextStore& other) {
    if (other.size_ > 0) {
        Reserve(other.size_);
        std::memcpy(data_, other.data_, other.size_);
        size_ = other.size_;
    }
}

TextStore& TextStore::operator=(const TextStore& other) {
    if (this != &other) {
        TextStore copy(other);
        *this = std::move(copy);
    }
    return *this;
}

TextStore::TextStore(TextStore&& other) noexcept
    : data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
}

TextStore& TextStore::operator=(TextStore&& other) noexcept {
    if (this != &other) {
        std::free(data_);
        data_ = other.data_;
        size_ = other.size_;
        capacity_ = other.capacity_;
        other.data_ = nullptr;
        other.size_ = other.capacity_ = 0;
    }
    return *this;
}

TextStore::~TextStore() {
    std::free(data_);
}

void TextStore::Reserve(std::size_t capacity) {
    if (capacity <= capacity_) {
        return;
    }
    // realloc moves a large block by remapping its pages, not by copying them.
    void* grown = std::realloc(data_, capacity);
    if (grown == nullptr) {
        throw std::bad_alloc();
    }
    data_ = static_cast<char*>(grown);
    capacity_ = capacity;
    AdviseHugePages(data_, capacity_);
}

void TextStore::SetSize(std::size_t size) {
    Reserve(size);
    size_ = size;
}

std::uint64_t TextStore::Append(std::string_view bytes) {
    if (bytes.size() > capacity_ - size_) {
        Reserve(std::max({size_ + bytes.size(), capacity_ * 2, std::size_t{4096}}));
    }
    const std::uint64_t at = size_;
    if (!bytes.empty()) {
        std::memcpy(data_ + size_, bytes.data(), bytes.size());
    }
    size_ += bytes.size();
    return at;
}

void TextStore::Shrink(std::size_t size) {
    size_ = std::min(size, size_);
    if (size_ == 0) {
        Clear();
        return;
    }
    if (void* smaller = std::realloc(data_, size_)) {
        data_ = static_cast<char*>(smaller);
        capacity_ = size_;
    }
}

void TextStore::Clear() {
    std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = 0;
}

} // namespace sendwell
