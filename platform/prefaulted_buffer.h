#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace folivo {

/// Memory for a buffer of megabytes that is about to be filled whole: a page's bytes, its
/// pixels, an archive member. Every 4 KiB page touched for the first time stops the writer
/// for a page fault, and a scan of a few MB has hundreds of them (docs/overview.md has the
/// cost measured on a virtual machine). This memory lies on huge pages where whole ones fit,
/// and the page tables of the rest are filled in one call before it is written.
class PrefaultedBuffer {
public:
    PrefaultedBuffer() = default;
    /// At least `size` bytes, zeroed; null when they cannot be had.
    explicit PrefaultedBuffer(std::size_t size);
    ~PrefaultedBuffer();
    PrefaultedBuffer(PrefaultedBuffer&& other) noexcept;
    PrefaultedBuffer& operator=(PrefaultedBuffer&& other) noexcept;
    PrefaultedBuffer(const PrefaultedBuffer&) = delete;
    PrefaultedBuffer& operator=(const PrefaultedBuffer&) = delete;

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
class PrefaultedBufferPool {
public:
    /// Keeps up to `kept` buffers of at most `largest` bytes each.
    PrefaultedBufferPool(std::size_t kept, std::size_t largest)
        : m_kept(kept)
        , m_largest(largest)
    {
    }

    /// A buffer that holds `size` bytes and goes back to the pool when its last owner lets it
    /// go: a kept one at most a quarter larger (pages of one book differ a little in size),
    /// with what it last held; else a new one. Null when none can be had. The pool must
    /// outlive the buffers it lends.
    std::shared_ptr<PrefaultedBuffer> lend(std::size_t size);

private:
    PrefaultedBuffer take(std::size_t size);
    /// Keeps the buffer, letting the oldest kept one go when enough are kept; a buffer larger
    /// than the largest kept goes at once.
    void give(PrefaultedBuffer buffer);

    const std::size_t m_kept;
    const std::size_t m_largest;
    std::mutex m_mutex;
    std::vector<PrefaultedBuffer> m_free;
};

/// Fills in the page tables of the whole pages inside `size` bytes at `data` in one call, for
/// memory about to be written whole: the first write to each page then stops for no fault.
/// Writes no byte, and touches nothing outside the range. Where the system cannot, the
/// writes fault the pages in one by one.
void populatePages(void* data, std::size_t size);

} // namespace folivo
