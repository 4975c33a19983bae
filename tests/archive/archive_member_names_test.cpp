#include "archive/archive_member_names.h"

#include <gtest/gtest.h>

namespace folivo {
namespace {

struct PartsCase {
    const char* name;
    std::optional<QStringList> parts;
};

void PrintTo(const PartsCase& c, std::ostream* os)
{
    *os << c.name;
}

class MemberPathParts : public ::testing::TestWithParam<PartsCase> {};

TEST_P(MemberPathParts, StayBelowTheDestination)
{
    EXPECT_EQ(memberPathParts(QString::fromUtf8(GetParam().name)), GetParam().parts);
}

INSTANTIATE_TEST_SUITE_P(
    Archiver, MemberPathParts,
    ::testing::Values(PartsCase{"a.jpg", QStringList{"a.jpg"}},
                      PartsCase{"a/b/c.jpg", QStringList{"a", "b", "c.jpg"}},
                      PartsCase{"a\\b.jpg", QStringList{"a", "b.jpg"}},
                      PartsCase{"./a//b/", QStringList{"a", "b"}},
                      PartsCase{"..a/b..", QStringList{"..a", "b.."}},
                      PartsCase{"表\\紙.jpg", QStringList{"表", "紙.jpg"}},
                      PartsCase{"../a", std::nullopt}, PartsCase{"a/../b", std::nullopt},
                      PartsCase{"a\\..\\..\\b", std::nullopt}, PartsCase{"..", std::nullopt},
                      PartsCase{"/etc/passwd", std::nullopt},
                      PartsCase{"\\\\server\\share", std::nullopt},
                      PartsCase{"C:\\a.jpg", std::nullopt}, PartsCase{"c:a.jpg", std::nullopt}));

TEST(MemberNameEncoding, Utf8CheckRejectsWhatDecodersWouldMangle)
{
    EXPECT_TRUE(isValidUtf8("plain"));
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x93\x96"));  // U+1F4D6
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));         // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xE0\x80\xAF"));     // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")); // past U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xE6\x97"));         // cut short
    EXPECT_FALSE(isValidUtf8("\x83\x5C"));         // CP932 ソ
}

} // namespace
} // namespace folivo
