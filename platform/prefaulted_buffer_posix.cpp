#include "platform/prefaulted_buffer.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>

namespace folivo {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kSmallPage = 4096;

std::uintptr_t roundUp(std::uintptr_t value, std::size_t unit)
{
    return (value + unit - 1) / unit * unit;
}

std::uintptr_t roundDown(std::uintptr_t value, std::size_t unit)
{
    return value / unit * unit;
}

} // namespace

void populatePages([[maybe_unused]] void* data, [[maybe_unused]] std::size_t size)
{
#ifdef MADV_POPULATE_WRITE
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = roundUp(start, page);
    const std::uintptr_t end = roundDown(start + size, page);
    if (end > first)
        ::madvise(static_cast<char*>(data) + (first - start), end - first, MADV_POPULATE_WRITE);
#endif
}

PrefaultedBuffer::PrefaultedBuffer(std::size_t size)
{
    // Whole huge pages where the buffer spans them, small pages for the rest: a 3.4 MB page
    // then holds 3.4 MB, not 4.
    const std::size_t capacity = roundUp(std::max<std::size_t>(size, 1), kSmallPage);
    // Mapped a huge page larger, so that it can start on a huge page's boundary.
    const std::size_t span = capacity + kHugePage;
    void* mapped =
        ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return;
    char* const first = static_cast<char*>(mapped);
    const std::size_t head = roundUp(reinterpret_cast<std::uintptr_t>(first), kHugePage) -
                             reinterpret_cast<std::uintptr_t>(first);
    if (head > 0)
        ::munmap(first, head);
    if (span - head - capacity > 0)
        ::munmap(first + head + capacity, span - head - capacity);
    m_data = first + head;
    m_capacity = capacity;
    // The buffer starts on a huge page's boundary: its whole huge pages come first.
    const std::size_t huge = roundDown(capacity, kHugePage);
    if (huge > 0)
        ::madvise(m_data, huge, MADV_HUGEPAGE);
    populatePages(m_data, m_capacity);
}

PrefaultedBuffer::~PrefaultedBuffer()
{
    if (m_data)
        ::munmap(m_data, m_capacity);
}

PrefaultedBuffer::PrefaultedBuffer(PrefaultedBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_capacity(std::exchange(other.m_capacity, 0))
{
}

PrefaultedBuffer& PrefaultedBuffer::operator=(PrefaultedBuffer&& other) noexcept
{
    if (this != &other) {
        if (m_data)
            ::munmap(m_data, m_capacity);
        m_data = std::exchange(other.m_data, nullptr);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

std::shared_ptr<PrefaultedBuffer> PrefaultedBufferPool::lend(std::size_t size)
{
    PrefaultedBuffer buffer = take(size);
    if (buffer.isNull())
        return nullptr;
    return std::shared_ptr<PrefaultedBuffer>(new PrefaultedBuffer(std::move(buffer)),
                                             [this](PrefaultedBuffer* lent) {
                                                 give(std::move(*lent));
                                                 delete lent;
                                             });
}

PrefaultedBuffer PrefaultedBufferPool::take(std::size_t size)
{
    {
        const std::lock_guard lock(m_mutex);
        const auto fits =
            std::find_if(m_free.begin(), m_free.end(), [&](const PrefaultedBuffer& b) {
                return b.capacity() >= size && b.capacity() - size <= size / 4;
            });
        if (fits != m_free.end()) {
            PrefaultedBuffer found = std::move(*fits);
            m_free.erase(fits);
            return found;
        }
    }
    return PrefaultedBuffer(size);
}

void PrefaultedBufferPool::give(PrefaultedBuffer buffer)
{
    if (buffer.isNull() || m_kept == 0 || buffer.capacity() > m_largest)
        return;
    PrefaultedBuffer oldest; // unmapped once the lock is let go
    const std::lock_guard lock(m_mutex);
    // The newest is kept: a book with larger pages needs its own sizes from now on.
    if (m_free.size() >= m_kept) {
        oldest = std::move(m_free.front());
        m_free.erase(m_free.begin());
    }
    m_free.push_back(std::move(buffer));
}

} // namespace folivo
