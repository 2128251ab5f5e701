#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "app/settings.h"

// Every reader of the command line over one table: the mode from the first token, the first
// display switch, the public properties (quotes kept), the administrative target (unquoted, last
// on the line) and the log switch (the rest of the line). Each reader gets a fresh copy, since
// the program hands them a mutable line.
TEST(CommandLine, EveryReaderOverOneTable)
{
    std::wstring many = L"/i", manyProperties;
    for (int i = 0; i < 4000; ++i) {
        const std::wstring property = L"P" + std::to_wstring(i) + L"=\"value with blanks " + std::to_wstring(i) + L"\"";
        many += L" " + property;
        manyProperties += (i ? L" " : L"") + property;
    }
    struct Row {
        std::wstring line;
        int mode;
        int level;
        std::wstring properties;
        unsigned long admin;  // ParseAdminTarget's answer; kNoMoreTokens: not asked
        std::wstring target;
        std::wstring log;     // LogPath after ParseSwitches, which starts from "old"
    };
    const unsigned long no = kNoMoreTokens, bad = kBadArguments;
    const int full = kUILevelFull, none = kUILevelNone, basic = kUILevelBasicProgress;
    const Row rows[] = {
        {L"", ModeStartScreen, full, L"", bad, L"", L"old"},
        {L" \t ", ModeStartScreen, full, L"", bad, L"", L"old"},
        {L"/i", ModeInstall, full, L"", no, L"", L"old"},
        {L"-i -quiet", ModeInstall, none, L"", no, L"", L"old"},
        {L"/I", ModeUsage, full, L"", no, L"", L"old"},
        {L"/install", ModeUsage, full, L"", no, L"", L"old"},
        {L"/passive /i", ModeUsage, full, L"", no, L"", L"old"},
        {L"\"/i\"", ModeUsage, full, L"", no, L"", L"old"},
        {L"i/", ModeUsage, full, L"", no, L"", L"old"},
        {L"/i /PASSIVE", ModeInstall, basic, L"", no, L"", L"old"},
        {L"/i /passive /quiet", ModeInstall, basic, L"", no, L"", L"old"},
        {L"/i A=1 /other /quiet", ModeInstall, none, L"A=1", no, L"", L"old"},
        // An empty or overlong switch name ends the scan for the display switch.
        {L"/i / /quiet", ModeInstall, full, L"", no, L"", L"old"},
        {L"/i /" + std::wstring(259, L'x') + L" /quiet", ModeInstall, full, L"", no, L"", L"old"},
        {L"/i /" + std::wstring(258, L'x') + L" /quiet", ModeInstall, none, L"", no, L"", L"old"},
        {L"/i A=1 B=\"x y\" /quiet plain", ModeInstall, none, L"A=1 B=\"x y\"", no, L"", L"old"},
        {L"/i /quiet NOEQUALS", ModeInstall, none, L"", no, L"", L"old"},
        // A token beyond 1038 characters ends the properties.
        {L"/i A=1 B=" + std::wstring(1037, L'v') + L" C=3", ModeInstall, full, L"A=1", no, L"", L"old"},
        {L"/i B=" + std::wstring(1036, L'v'), ModeInstall, full, L"B=" + std::wstring(1036, L'v'), no, L"", L"old"},
        {many + L" /quiet " + std::wstring(70000, L'x'), ModeInstall, none, manyProperties, no, L"", L"old"},
        {L"/a C:\\Adm", ModeAdminInstall, full, L"", 0, L"C:\\Adm", L"old"},
        {L"-A", ModeAdminInstall, full, L"", bad, L"", L"old"},
        {L"/a \"C:\\Admin Image\"", ModeAdminInstall, full, L"", 0, L"C:\\Admin Image", L"old"},
        {L"/a C:\\Adm   ", ModeAdminInstall, full, L"", 0, L"C:\\Adm", L"old"},
        {L"/a   ", ModeAdminInstall, full, L"", bad, L"", L"old"},
        {L"/a C:\\Adm /passive", ModeAdminInstall, basic, L"", bad, L"", L"old"},
        // An unterminated quote runs to the end of the line.
        {L"/a \"C:\\never closed", ModeAdminInstall, full, L"", 0, L"C:\\never closed", L"old"},
        {L"/i /log C:\\logs\\my run.log", ModeInstall, full, L"", no, L"", L"C:\\logs\\my run.log"},
        {L"/i /LOG", ModeInstall, full, L"", no, L"", L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "line: " << testing::PrintToString(row.line.substr(0, 80)));
        std::wstring copy = row.line;
        EXPECT_EQ(ParseMode(&copy[0]), row.mode);
        copy = row.line;
        EXPECT_EQ(ParseUILevel(&copy[0]), row.level);
        copy = row.line;
        std::wstring properties = L"stale";
        CollectPublicProperties(&copy[0], properties);
        EXPECT_EQ(properties, row.properties);
        copy = row.line;
        SetupSettings settings;
        settings.LogPath = L"old";
        ParseSwitches(&copy[0], settings);
        EXPECT_EQ(settings.LogPath, row.log);
        if (row.admin == no)
            continue;
        copy = row.line;
        std::wstring target;
        EXPECT_EQ(ParseAdminTarget(&copy[0], target), row.admin);
        if (row.admin == 0) {
            EXPECT_EQ(target, row.target);
            // The line is cut after the target for the readers that follow.
            EXPECT_EQ(copy.c_str(), row.line.substr(0, row.line.find_last_not_of(L' ') + 1));
        }
    }
}
