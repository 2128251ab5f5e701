#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "app/settings.h"

// Every reader of the command line over one table: the mode from the first token, the first
// display switch, the public properties (quotes kept), the administrative target (unquoted, last
// on the line, which it cuts) and the log switch (the rest of the line). Each reader gets a fresh
// copy of the line, since the program hands them a mutable one.
TEST(CommandLine, EveryReaderOverOneTable)
{
    std::wstring many = L"/i", manyProperties;
    for (int i = 0; i < 4000; ++i) {
        const std::wstring property = L"P" + std::to_wstring(i) + L"=\"value with blanks " + std::to_wstring(i) + L"\"";
        many += L" " + property;
        manyProperties += (i ? L" " : L"") + property;
    }
    const unsigned long no = kNoMoreTokens, bad = kBadArguments;  // no: ParseAdminTarget not asked
    const int start = ModeStartScreen, install = ModeInstall, usage = ModeUsage, admin = ModeAdminInstall;
    const int full = kUILevelFull, none = kUILevelNone, basic = kUILevelBasicProgress;
    const struct {
        std::wstring line;
        int mode, level;
        std::wstring properties;
        unsigned long admin;
        std::wstring target, log;  // log: LogPath after ParseSwitches, which starts from "old"
    } rows[] = {
        {L"", start, full, L"", bad, L"", L"old"},               {L" \t ", start, full, L"", bad, L"", L"old"},
        {L"/i", install, full, L"", no, L"", L"old"},            {L"-i -quiet", install, none, L"", no, L"", L"old"},
        {L"/I", usage, full, L"", no, L"", L"old"},              {L"/install", usage, full, L"", no, L"", L"old"},
        {L"/passive /i", usage, full, L"", no, L"", L"old"},     {L"\"/i\"", usage, full, L"", no, L"", L"old"},
        {L"i/", usage, full, L"", no, L"", L"old"},              {L"/i /PASSIVE", install, basic, L"", no, L"", L"old"},
        {L"/i /passive /quiet", install, basic, L"", no, L"", L"old"},
        {L"/i A=1 /other /quiet", install, none, L"A=1", no, L"", L"old"},
        // An empty or overlong switch name ends the scan for the display switch.
        {L"/i / /quiet", install, full, L"", no, L"", L"old"},
        {L"/i /" + std::wstring(259, L'x') + L" /quiet", install, full, L"", no, L"", L"old"},
        {L"/i /" + std::wstring(258, L'x') + L" /quiet", install, none, L"", no, L"", L"old"},
        {L"/i A=1 B=\"x y\" /quiet plain", install, none, L"A=1 B=\"x y\"", no, L"", L"old"},
        {L"/i /quiet NOEQUALS", install, none, L"", no, L"", L"old"},
        // A token beyond 1038 characters ends the properties.
        {L"/i A=1 B=" + std::wstring(1037, L'v') + L" C=3", install, full, L"A=1", no, L"", L"old"},
        {L"/i B=" + std::wstring(1036, L'v'), install, full, L"B=" + std::wstring(1036, L'v'), no, L"", L"old"},
        {many + L" /quiet " + std::wstring(70000, L'x'), install, none, manyProperties, no, L"", L"old"},
        {L"/a C:\\Adm", admin, full, L"", 0, L"C:\\Adm", L"old"},  {L"-A", admin, full, L"", bad, L"", L"old"},
        {L"/a \"C:\\Admin Image\"", admin, full, L"", 0, L"C:\\Admin Image", L"old"},
        {L"/a C:\\Adm   ", admin, full, L"", 0, L"C:\\Adm", L"old"}, {L"/a   ", admin, full, L"", bad, L"", L"old"},
        {L"/a C:\\Adm /passive", admin, basic, L"", bad, L"", L"old"},
        // An unterminated quote runs to the end of the line.
        {L"/a \"C:\\never closed", admin, full, L"", 0, L"C:\\never closed", L"old"},
        {L"/i /log C:\\logs\\my run.log", install, full, L"", no, L"", L"C:\\logs\\my run.log"},
        {L"/i /LOG", install, full, L"", no, L"", L""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "line: " << testing::PrintToString(row.line.substr(0, 80)));
        std::wstring line[5] = {row.line, row.line, row.line, row.line, row.line}, properties = L"stale", target;
        SetupSettings settings;
        settings.LogPath = L"old";
        ParseSwitches(&line[3][0], settings);
        CollectPublicProperties(&line[2][0], properties);
        EXPECT_EQ(ParseMode(&line[0][0]), row.mode);
        EXPECT_EQ(ParseUILevel(&line[1][0]), row.level);
        EXPECT_EQ(properties, row.properties);
        EXPECT_EQ(settings.LogPath, row.log);
        if (row.admin == no)
            continue;
        EXPECT_EQ(ParseAdminTarget(&line[4][0], target), row.admin);
        if (row.admin == 0) {
            EXPECT_EQ(target, row.target);
            EXPECT_EQ(line[4].c_str(), row.line.substr(0, row.line.find_last_not_of(L' ') + 1));
        }
    }
}
