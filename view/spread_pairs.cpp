#include "view/spread_pairs.h"

#include <vector>

namespace folivo {

SpreadPairs::SpreadPairs(int pageCount, std::function<bool(int)> isWide, bool coverAlone,
                         bool shifted)
    : m_pageCount(pageCount)
    , m_isWide(std::move(isWide))
    , m_coverAlone(coverAlone)
    , m_shifted(shifted)
{
}

Spread SpreadPairs::holding(int page) const
{
    if (page < 0 || page >= m_pageCount)
        return Spread{};
    // Asked once each: the callers' answers read the pages' files.
    std::vector<signed char> known(static_cast<size_t>(m_pageCount), -1);
    const auto wide = [&](int index) {
        signed char& answer = known[static_cast<size_t>(index)];
        if (answer < 0)
            answer = m_isWide(index) ? 1 : 0;
        return answer == 1;
    };

    // Where a pair starts depends on every page before it, so the walk begins at the cover.
    bool startsAlone = m_coverAlone != m_shifted;
    int start = 0;
    while (true) {
        Spread spread{start, -1};
        const bool startIsWide = wide(start);
        if (!startIsWide && !startsAlone && start + 1 < m_pageCount && !wide(start + 1))
            spread.second = start + 1;
        if (spread.last() >= page)
            return spread;
        // A page alone before a wide one leaves the wide page to start the next run.
        startsAlone = startIsWide && m_shifted;
        start = spread.last() + 1;
    }
}

std::optional<Spread> SpreadPairs::next(const Spread& spread) const
{
    if (spread.last() + 1 >= m_pageCount)
        return std::nullopt;
    return holding(spread.last() + 1);
}

std::optional<Spread> SpreadPairs::previous(const Spread& spread) const
{
    if (spread.first <= 0)
        return std::nullopt;
    return holding(spread.first - 1);
}

} // namespace folivo
