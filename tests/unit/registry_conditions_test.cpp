#include <gtest/gtest.h>

#include "app/settings.h"
#include "log/error_text.h"
#include "prereq/registry_conditions.h"
#include "support.h"

// One condition per row against values of a throwaway key: DWORD compares signed integers, STRING
// folds A-Z only, VERSION compares up to five dotted numbers (equality on four); root names ignore
// case and a trailing backslash names the default value. A malformed path or condition, an
// unreadable value and an unmet condition are each logged; a condition that holds logs nothing.
TEST_F(RunTest, RegistryConditionsParseAndCompare)
{
    for (const auto& value : {std::make_pair(L"Five", 5u), {L"Minus", 0xFFFFFFFFu}, {L"Zero", 0u}})
        SetRegistryValue(value.first, REG_DWORD, &value.second, 4);
    const std::wstring full(260, L'y');  // no terminating zero: no registry call adds one to binary data
    SetRegistryValue(L"Full", REG_BINARY, full.data(), 520);
    for (const auto& text : {std::make_pair(L"", std::wstring(L"default")), {L"Hello", L"Hello"}, {L"Lower", L"a"},
                             {L"Umlaut", L"\x00C4"}, {L"Long", std::wstring(300, L'x')}, {L"V210", L"2.1.0.0"},
                             {L"V30", L"3.0"}, {L"V209", L"2.0.9"}, {L"V5", L"1.2.3.4.5"}, {L"V20", L"2.0"}, {L"Empty", L""}})
        SetRegistryText(text.first, text.second);
    const std::wstring key = L"HKEY_CURRENT_USER\\" + std::wstring(kTestKey) + L"\\", unmet = L"Invalid condition",
                       failed = L"IsValidRegCond() failed. ";
    const auto unreadable = [](const std::wstring& where, DWORD error) {
        return L"CRegComparer.GetRegValue(" + where + L"') failed. " + ErrorText(error);
    };
    const std::wstring ours = L"0x80000001, '" + std::wstring(kTestKey) + L"', '";
    const struct {
        std::wstring path, condition;
        bool holds;
        std::wstring logged;  // a line the log must hold
    } rows[] = {
        {key + L"Five", L"DWORD=5", true, L""}, {key + L"Five", L"dword=5", true, L""}, {key + L"Five", L"Dword>=5", true, L""},
        {key + L"Five", L"DWORD= +5 and more", true, L""}, {key + L"Five", L"DWORD>=4", true, L""},
        {key + L"Minus", L"DWORD=-1", true, L""}, {key + L"Minus", L"DWORD>=-2", true, L""},
        {key + L"Five", L"DWORD>=6", false, unmet}, {key + L"Minus", L"DWORD>=0", false, unmet},
        {key + L"Zero", L"DWORD==1", true, L""},  // the operator is "=", and the operand "=1" reads as 0
        {key + L"Hello", L"STRING=hello", true, L""}, {key + L"Hello", L"string=HELLO", true, L""},
        {key + L"Hello", L"STRING>=HELLO", true, L""}, {key + L"Hello", L"STRING>=Hell", true, L""},
        {key + L"Hello", L"STRING>=A", true, L""}, {key + L"Hello", L"STRING>=", true, L""},
        {key + L"Hello", L"STRING>=Help", false, unmet}, {key + L"Hello", L"STRING= Hello", false, unmet},
        // Letters fold to lower case: "_" (0x5F) sorts before "a" (0x61), though after "A" (0x41).
        {key + L"Lower", L"STRING>=_", true, L""}, {key + L"Full", L"STRING=" + full, true, L""},
        {key + L"Umlaut", L"STRING=\x00E4", false, unmet}, {key + L"Umlaut", L"STRING=\x00C4", true, L""},
        {key + L"V210", L"VERSION>=2.1", true, L""}, {key + L"V30", L"VERSION>=2.1", true, L""},
        {key + L"V209", L"VERSION>=2.1", false, unmet}, {key + L"V210", L"version=2.1", true, L""},
        {key + L"V30", L"VERSION=2.1", false, unmet}, {key + L"V20", L"VERSION>=10.0", false, unmet},
        {key + L"V5", L"VERSION>=1.2.3.4.9", true, L""}, {key + L"V5", L"VERSION>=1.2.3.4.4", true, L""},
        {key + L"V5", L"VERSION=1.2.3.4.9", true, L""}, {key + L"Empty", L"VERSION>=0", true, L""},
        {key + L"Empty", L"VERSION>=", false, unmet}, {key + L"Empty", L"VERSION=", false, unmet},  // both empty: no version
        {L"hkey_current_user\\" + key.substr(18) + L"Five", L"DWORD=5", true, L""}, {key, L"STRING=Default", true, L""},
        {L"", L"DWORD=1", false, failed + L"Invalid registry key ''."},
        {L"HKEY_CURRENT_USER", L"DWORD=1", false, failed + L"Invalid registry key 'HKEY_CURRENT_USER'."},
        {L"HKLM\\SOFTWARE\\X\\Y", L"DWORD=1", false, failed + L"Can't find root registry key 'HKLM'."},
        {L"HKEY_CURRENT_USERS\\" + key.substr(18) + L"Five", L"DWORD=5", false,
         failed + L"Can't find root registry key 'HKEY_CURRENT_USERS'."},
        {L"HKEY_LOCAL_MACHINE\\Version", L"DWORD=1", false, failed + L"Invalid parameter RegPath='HKEY_LOCAL_MACHINE\\Version'."},
        {key + L"Five", L"QWORD=5", false, failed + L"Invalid variable in condition 'QWORD=5'. RegPath='" + key + L"Five'."},
        {key + L"Five", L"DWOR", false, failed + L"Invalid variable in condition 'DWOR'"},
        {key + L"Five", L"DWORD = 5", false, failed + L"Invalid operation in condition 'DWORD = 5'. RegPath='" + key + L"Five'."},
        {key + L"Five", L"DWORD>5", false, failed + L"Invalid operation in condition 'DWORD>5'"},
        // 300 characters do not fit the comparer's 260, nor a text the four bytes of a DWORD.
        {key + L"Missing", L"DWORD=0", false, unreadable(ours + L"Missing", ERROR_FILE_NOT_FOUND)},
        {key + L"Long", L"STRING>=", false, unreadable(ours + L"Long", ERROR_MORE_DATA)},
        {key + L"Hello", L"DWORD>=0", false, unreadable(ours + L"Hello", ERROR_MORE_DATA)},
        {L"HKEY_LOCAL_MACHINE\\Software\\SetupLauncherTests\\None\\V", L"VERSION=1", false,
         unreadable(L"0x80000002, 'Software\\SetupLauncherTests\\None', 'V", ERROR_FILE_NOT_FOUND)},
    };
    for (const auto& row : rows) {
        DeleteFileW(g_Settings.LogPath.c_str());
        EXPECT_EQ(IsValidRegCond(row.path, row.condition, 0), row.holds) << testing::PrintToString(row.condition);
        const std::wstring log = ReadLogText();
        EXPECT_TRUE(row.logged.empty() ? log.empty() : log.find(row.logged) != std::wstring::npos)
            << testing::PrintToString(row.path + L" " + row.condition) << " logged " << testing::PrintToString(log);
    }
}
