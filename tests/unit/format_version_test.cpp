#include <gtest/gtest.h>

#include "log/version.h"
#include "win/format.h"

TEST(Format, FollowsMicrosoftConventions)
{
    EXPECT_EQ(Format(L"'%s' and '%S'", L"wide", "narrow"), L"'wide' and 'narrow'");
    EXPECT_EQ(Format(L"%#x|%08X|%I64u", 255u, 0x4D2u, 18446744073709551615ull),
              L"0xff|000004D2|18446744073709551615");
    EXPECT_EQ(Format(L"%04d.%02d", 7, 3), L"0007.03");
}

TEST(Format, CutsLongResultsAt4095Characters)
{
    std::wstring longText(5000, L'x');
    std::wstring result = Format(L"<%s>", longText.c_str());
    ASSERT_EQ(result.size(), kMaxFormatted);
    EXPECT_EQ(result.front(), L'<');
    EXPECT_EQ(result.back(), L'x');
    EXPECT_EQ(Format(L"%s", std::wstring(4095, L'y').c_str()).size(), 4095u);
}

TEST(Version, ParsesUpToFourPartsWithDefaults)
{
    EXPECT_EQ(VersionText(ParseVersion(L"10.0.19041")), L"10.0.19041.0");
    EXPECT_EQ(VersionText(ParseVersion(L"1.2")), L"1.2.0.0");
    EXPECT_EQ(VersionText(ParseVersion(L"")), L"0.0.0.0");
    EXPECT_EQ(VersionText(ParseVersion(L"3beta.x.7.8.9")), L"3.0.7.8");
    // Each part is cut to 16 bits.
    EXPECT_EQ(VersionText(ParseVersion(L"65537.65535")), L"1.65535.0.0");
}

TEST(Version, ComparesFieldByFieldAsUnsignedNumbers)
{
    EXPECT_EQ(CompareVersion(ParseVersion(L"1.2.0.0"), ParseVersion(L"1.10.0.0")), -1);
    EXPECT_EQ(CompareVersion(ParseVersion(L"2.0.0.1"), ParseVersion(L"2.0")), 1);
    EXPECT_EQ(CompareVersion(ParseVersion(L"2.1"), ParseVersion(L"2.1.0.0")), 0);
    EXPECT_EQ(CompareVersion(ParseVersion(L"40000"), ParseVersion(L"30000.9")), 1);
}
