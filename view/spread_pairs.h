#pragma once

#include <functional>
#include <optional>

namespace folivo {

/// The pages shown together in a two-page spread: one or two indices into the book's pages,
/// in reading order.
struct Spread {
    int first = -1;
    int second = -1; ///< -1 when the page stands alone

    bool alone() const { return second < 0; }
    int last() const { return alone() ? first : second; }
    bool holds(int page) const { return page == first || page == second; }
    bool operator==(const Spread&) const = default;
};

/// How a book's pages pair up in two-page spreads.
///
/// Pages pair in order, (1, 2), (3, 4), ...; with the cover alone the first page stands
/// alone and pairs follow, (2, 3), (4, 5), .... A wide page (wider than tall) stands alone,
/// and so does a page whose partner would be wide or would be past the end; pairing starts
/// afresh after a wide page. Shifting moves every run of pages between wide ones by one page:
/// a run that would begin with a pair begins with a page alone, and the other way round.
class SpreadPairs {
public:
    /// `isWide` is asked about a page only when the pairing depends on it, and each page at
    /// most once per call.
    SpreadPairs(int pageCount, std::function<bool(int)> isWide, bool coverAlone, bool shifted);

    /// The spread that holds the page; an empty one (first -1) for a page out of the book.
    Spread holding(int page) const;
    /// The spread after or before this one; none at either end of the book.
    std::optional<Spread> next(const Spread& spread) const;
    std::optional<Spread> previous(const Spread& spread) const;

private:
    int m_pageCount;
    std::function<bool(int)> m_isWide;
    bool m_coverAlone;
    bool m_shifted;
};

} // namespace folivo
