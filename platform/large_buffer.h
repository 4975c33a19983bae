#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

namespace folivo {

/// Memory for a buffer of megabytes that is about to be filled whole: a page's bytes, its
/// pixels, an archive member. Every 4 KiB page touched for the first time costs a page
/// fault, about 10 µs on a virtual machine: a 3 MB scan costs 8 ms in faults alone before a
/// byte of it is read. This memory lies on huge pages where whole ones fit, and the page
/// tables of the rest are filled in one call.
class LargeBuffer {
public:
    LargeBuffer() = default;
    /// At least `size` bytes, zeroed; null when they cannot be had.
    explicit LargeBuffer(std::size_t size);
    ~LargeBuffer();
    LargeBuffer(LargeBuffer&& other) noexcept;
    LargeBuffer& operator=(LargeBuffer&& other) noexcept;
    LargeBuffer(const LargeBuffer&) = delete;
    LargeBuffer& operator=(const LargeBuffer&) = delete;

    char* data() const { return m_data; }
    std::size_t capacity() const { return m_capacity; }
    bool isNull() const { return m_data == nullptr; }

private:
    char* m_data = nullptr;
    std::size_t m_capacity = 0;
};

/// Buffers let go of, kept for the next ones of about their size: memory used once costs
/// no faults the second time. Pages are let go about as often as new ones come, so one or
/// two are enough. Safe on any thread.
class LargeBufferPool {
public:
    /// Keeps up to `kept` buffers of at most `largest` bytes each.
    LargeBufferPool(std::size_t kept, std::size_t largest)
        : m_kept(kept)
        , m_largest(largest)
    {
    }

    /// A kept buffer that holds `size` bytes and is at most a quarter larger (pages of one
    /// book differ a little in size), with what it last held; else a new one; null when
    /// none can be had.
    LargeBuffer take(std::size_t size);
    /// Keeps the buffer, letting the oldest kept one go when enough are kept; a buffer larger
    /// than the largest kept goes at once.
    void give(LargeBuffer buffer);

private:
    const std::size_t m_kept;
    const std::size_t m_largest;
    std::mutex m_mutex;
    std::vector<LargeBuffer> m_free;
};

/// Fills in the page tables of the whole pages inside `size` bytes at `data` in one call, for
/// memory about to be written whole: the first write to each page then stops for no fault.
/// Writes no byte, and touches nothing outside the range. Where the system cannot, the
/// writes fault the pages in as before.
void populatePages(void* data, std::size_t size);

} // namespace folivo
