#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "app/settings.h"

namespace {

// The readers work on a mutable command line, as Windows hands it over.
struct CommandLine {
    explicit CommandLine(const wchar_t* text) : buffer(text) {}
    wchar_t* Get() { return &buffer[0]; }
    std::wstring buffer;
};

int ModeOf(const wchar_t* text)
{
    return ParseMode(CommandLine(text).Get());
}

int Level(const wchar_t* text)
{
    return ParseUILevel(CommandLine(text).Get());
}

std::wstring Properties(const wchar_t* text)
{
    std::wstring properties = L"stale";
    CollectPublicProperties(CommandLine(text).Get(), properties);
    return properties;
}

}  // namespace

TEST(CommandLine, TokensKeepQuotedValuesWhole)
{
    CommandLine line(L"  /i B=\"x y\" \"C:\\a b\\c\" last");
    Token token;
    ASSERT_EQ(NextToken(line.Get(), token), 0u);
    EXPECT_EQ(std::wstring(token.start, token.last + 1), L"/i");
    ASSERT_EQ(NextToken(token.last + 1, token), 0u);
    EXPECT_EQ(std::wstring(token.start, token.last + 1), L"B=\"x y\"");
    EXPECT_TRUE(token.quoted);
    ASSERT_EQ(NextToken(token.last + 1, token), 0u);
    EXPECT_EQ(std::wstring(token.start, token.last + 1), L"\"C:\\a b\\c\"");
    ASSERT_EQ(NextToken(token.last + 1, token), 0u);
    EXPECT_EQ(std::wstring(token.start, token.last + 1), L"last");
    EXPECT_FALSE(token.quoted);
    EXPECT_EQ(NextToken(token.last + 1, token), kNoMoreTokens);
    CommandLine blanks(L" \t ");
    EXPECT_EQ(NextToken(blanks.Get(), token), kNoMoreTokens);
}

TEST(CommandLine, ModeComesFromTheFirstTokenOnly)
{
    EXPECT_EQ(ModeOf(L""), ModeStartScreen);
    EXPECT_EQ(ModeOf(L"   "), ModeStartScreen);
    EXPECT_EQ(ModeOf(L"/i"), ModeInstall);
    EXPECT_EQ(ModeOf(L"-i -quiet"), ModeInstall);
    EXPECT_EQ(ModeOf(L"/a C:\\Adm"), ModeAdminInstall);
    EXPECT_EQ(ModeOf(L"-A"), ModeAdminInstall);
    EXPECT_EQ(ModeOf(L"/I"), ModeUsage);
    EXPECT_EQ(ModeOf(L"/install"), ModeUsage);
    EXPECT_EQ(ModeOf(L"/passive /i"), ModeUsage);
    EXPECT_EQ(ModeOf(L"\"/i\""), ModeUsage);
    EXPECT_EQ(ModeOf(L"i/"), ModeUsage);
}

TEST(CommandLine, FirstDisplaySwitchWins)
{
    EXPECT_EQ(Level(L""), kUILevelFull);
    EXPECT_EQ(Level(L"/i"), kUILevelFull);
    EXPECT_EQ(Level(L"-i -quiet"), kUILevelNone);
    EXPECT_EQ(Level(L"/i /PASSIVE"), kUILevelBasicProgress);
    EXPECT_EQ(Level(L"/i /passive /quiet"), kUILevelBasicProgress);
    EXPECT_EQ(Level(L"/i A=1 /other /quiet"), kUILevelNone);
    // An empty or overlong switch name ends the scan.
    EXPECT_EQ(Level(L"/i / /quiet"), kUILevelFull);
    std::wstring overlong = L"/i /" + std::wstring(259, L'x') + L" /quiet";
    EXPECT_EQ(Level(overlong.c_str()), kUILevelFull);
    std::wstring longest = L"/i /" + std::wstring(258, L'x') + L" /quiet";
    EXPECT_EQ(Level(longest.c_str()), kUILevelNone);
}

TEST(CommandLine, PropertiesAreJoinedWithQuotesKept)
{
    EXPECT_EQ(Properties(L"/i A=1 B=\"x y\" /quiet plain"), L"A=1 B=\"x y\"");
    EXPECT_EQ(Properties(L"/i"), L"");
    EXPECT_EQ(Properties(L"/i /quiet NOEQUALS"), L"");
    std::wstring tooLong = L"/i A=1 B=" + std::wstring(1037, L'v') + L" C=3";
    EXPECT_EQ(Properties(tooLong.c_str()), L"A=1");
    std::wstring longest = L"/i B=" + std::wstring(1036, L'v');
    EXPECT_EQ(Properties(longest.c_str()).size(), 1038u);
}

TEST(CommandLine, AdminTargetIsUnquotedAndMustEndTheLine)
{
    std::wstring target;
    CommandLine quoted(L"/a \"C:\\Admin Image\"");
    ASSERT_EQ(ParseAdminTarget(quoted.Get(), target), 0u);
    EXPECT_EQ(target, L"C:\\Admin Image");

    CommandLine trailingBlanks(L"/a C:\\Adm   ");
    ASSERT_EQ(ParseAdminTarget(trailingBlanks.Get(), target), 0u);
    EXPECT_EQ(target, L"C:\\Adm");
    // The line is cut after the target for the readers that follow.
    EXPECT_STREQ(trailingBlanks.Get(), L"/a C:\\Adm");

    CommandLine missing(L"/a   ");
    EXPECT_EQ(ParseAdminTarget(missing.Get(), target), kBadArguments);
    CommandLine followed(L"/a C:\\Adm /passive");
    EXPECT_EQ(ParseAdminTarget(followed.Get(), target), kBadArguments);
}

TEST(CommandLine, LogSwitchTakesTheRestOfTheLine)
{
    SetupSettings settings;
    CommandLine line(L"/i /log C:\\logs\\my run.log");
    ParseSwitches(line.Get(), settings);
    EXPECT_EQ(settings.LogPath, L"C:\\logs\\my run.log");

    SetupSettings last;
    last.LogPath = L"old";
    CommandLine atEnd(L"/i /LOG");
    ParseSwitches(atEnd.Get(), last);
    EXPECT_EQ(last.LogPath, L"");
}

TEST(CommandLine, VeryLongLinesAreReadWithoutHarm)
{
    std::wstring line = L"/i";
    for (int i = 0; i < 4000; ++i)
        line += L" P" + std::to_wstring(i) + L"=\"value with blanks " + std::to_wstring(i) + L"\"";
    line += L" /quiet " + std::wstring(70000, L'x');
    EXPECT_EQ(ModeOf(line.c_str()), ModeInstall);
    EXPECT_EQ(Level(line.c_str()), kUILevelNone);
    const std::wstring properties = Properties(line.c_str());
    EXPECT_EQ(properties.rfind(L"P0=\"value with blanks 0\" P1=", 0), 0u);
    EXPECT_NE(properties.find(L" P3999=\"value with blanks 3999\""), std::wstring::npos);

    // An unterminated quote runs to the end of the line.
    CommandLine open(L"/a \"C:\\never closed");
    std::wstring target;
    EXPECT_EQ(ParseAdminTarget(open.Get(), target), 0u);
    EXPECT_EQ(target, L"C:\\never closed");
}
