// Memory for a database of millions of rows: every address's bytes in one growable block, and large
// arrays of rows backed by huge pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace sendwell {

// Large blocks are asked to be backed by huge pages where the system allows it: touching a fresh
// 4 KB page costs a fault each, and a million rows touch tens of thousands of them.
void AdviseHugePages(void* block, std::size_t bytes);

// An allocator for large arrays of rows that gives them huge pages.
template <typename T>
struct HugePageAllocator {
    using value_type = T;
    HugePageAllocator() = default;
    template <typename U>
    HugePageAllocator(const HugePageAllocator<U>&) {}
    T* allocate(std::size_t n) {
        T* block = std::allocator<T>().allocate(n);
        AdviseHugePages(block, n * sizeof(T));
        return block;
    }
    void deallocate(T* block, std::size_t n) { std::allocator<T>().deallocate(block, n); }
    template <typename U>
    bool operator==(const HugePageAllocator<U>&) const {
        return true;
    }
};

// Bytes in one growable block from malloc, so that the loader can read a file straight into it and
// give back the unused tail without copying.
class TextStore {
public:
    TextStore() = default;
    TextStore(const TextStore& other);
    TextStore& operator=(const TextStore& other);
    TextStore(TextStore&& other) noexcept;
    TextStore& operator=(TextStore&& other) noexcept;
    ~TextStore();

    const char* data() const { return data_; }
    char* data() { return data_; }
    std::size_t size() const { return size_; }
    std::string_view view(std::uint64_t offset, std::size_t length) const { return {data_ + offset, length}; }

    // Appends bytes and returns where they start. Throws std::bad_alloc when memory runs out.
    std::uint64_t Append(std::string_view bytes);
    // Room for at least this many bytes in all.
    void Reserve(std::size_t capacity);
    // Makes the first size bytes the content; bytes past the old size are whatever was written there.
    void SetSize(std::size_t size);
    // Keeps the first size bytes and returns the rest of the block to the system.
    void Shrink(std::size_t size);
    void Clear();

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace sendwell
