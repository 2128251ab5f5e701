#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "log/error_text.h"
#include "prereq/registry_conditions.h"
#include "support.h"

// One condition per row against values of a throwaway key: DWORD compares signed integers,
// STRING folds A-Z only, VERSION compares up to five dotted numbers (equality on four); a
// malformed path or condition, an unreadable value and an unmet condition are each logged.
TEST_F(RunTest, RegistryConditionsParseAndCompare)
{
    const auto dword = [](const wchar_t* name, DWORD value) { SetRegistryValue(name, REG_DWORD, &value, 4); };
    const auto text = SetRegistryText;
    dword(L"Five", 5), dword(L"Minus", 0xFFFFFFFF), dword(L"Zero", 0), text(L"", L"default");
    text(L"Hello", L"Hello"), text(L"Lower", L"a"), text(L"Umlaut", L"\x00C4"), text(L"Long", std::wstring(300, L'x'));
    text(L"V210", L"2.1.0.0"), text(L"V30", L"3.0"), text(L"V209", L"2.0.9"), text(L"V5", L"1.2.3.4.5");
    text(L"V20", L"2.0"), text(L"Empty", L"");
    // 260 characters without a terminating zero (no registry call adds one to binary data).
    const std::wstring full(260, L'y');
    SetRegistryValue(L"Full", REG_BINARY, full.data(), 520);

    const std::wstring key = L"HKEY_CURRENT_USER\\" + std::wstring(kTestKey) + L"\\";
    const std::wstring unmet = L"Invalid condition", failed = L"IsValidRegCond() failed. ";
    const auto unreadable = [](const wchar_t* root, const std::wstring& keyPath, const wchar_t* name, DWORD error) {
        return L"CRegComparer.GetRegValue(" + std::wstring(root) + L", '" + keyPath + L"', '" + name + L"') failed. " +
               ErrorText(error);
    };
    const struct {
        std::wstring path;
        std::wstring condition;
        bool holds;
        std::wstring logged;  // a line the log must hold; a condition that holds logs nothing
    } rows[] = {
        {key + L"Five", L"DWORD=5", true, L""},            {key + L"Five", L"dword=5", true, L""},
        {key + L"Five", L"DWORD= +5 and more", true, L""}, {key + L"Five", L"DWORD>=4", true, L""},
        {key + L"Five", L"Dword>=5", true, L""},           {key + L"Minus", L"DWORD=-1", true, L""},
        {key + L"Minus", L"DWORD>=-2", true, L""},         {key + L"Five", L"DWORD>=6", false, unmet},
        {key + L"Minus", L"DWORD>=0", false, unmet},
        // "==1": the operator is "=", and the operand "=1" reads as 0.
        {key + L"Zero", L"DWORD==1", true, L""},
        {key + L"Hello", L"STRING=hello", true, L""},      {key + L"Hello", L"string=HELLO", true, L""},
        {key + L"Hello", L"STRING>=HELLO", true, L""},     {key + L"Hello", L"STRING>=Hell", true, L""},
        {key + L"Hello", L"STRING>=A", true, L""},         {key + L"Hello", L"STRING>=", true, L""},
        {key + L"Hello", L"STRING>=Help", false, unmet},   {key + L"Hello", L"STRING= Hello", false, unmet},
        // Letters fold to lower case: "_" (0x5F) sorts before "a" (0x61), though after "A" (0x41).
        {key + L"Lower", L"STRING>=_", true, L""},
        {key + L"Umlaut", L"STRING=\x00E4", false, unmet}, {key + L"Umlaut", L"STRING=\x00C4", true, L""},
        {key + L"Full", L"STRING=" + full, true, L""},
        {key + L"V210", L"VERSION>=2.1", true, L""},       {key + L"V30", L"VERSION>=2.1", true, L""},
        {key + L"V209", L"VERSION>=2.1", false, unmet},    {key + L"V210", L"version=2.1", true, L""},
        {key + L"V30", L"VERSION=2.1", false, unmet},      {key + L"V20", L"VERSION>=10.0", false, unmet},
        // The fifth part is compared for order, not for equality.
        {key + L"V5", L"VERSION>=1.2.3.4.9", true, L""},   {key + L"V5", L"VERSION>=1.2.3.4.4", true, L""},
        {key + L"V5", L"VERSION=1.2.3.4.9", true, L""},
        // Both texts empty: no version at all.
        {key + L"Empty", L"VERSION>=", false, unmet},      {key + L"Empty", L"VERSION=", false, unmet},
        {key + L"Empty", L"VERSION>=0", true, L""},
        // Root names ignore case; a trailing backslash names the key's default value.
        {L"hkey_current_user\\" + key.substr(18) + L"Five", L"DWORD=5", true, L""},
        {key, L"STRING=Default", true, L""},
        {L"", L"DWORD=1", false, failed + L"Invalid registry key ''."},
        {L"HKEY_CURRENT_USER", L"DWORD=1", false, failed + L"Invalid registry key 'HKEY_CURRENT_USER'."},
        {L"HKLM\\SOFTWARE\\X\\Y", L"DWORD=1", false, failed + L"Can't find root registry key 'HKLM'."},
        {L"HKEY_LOCAL_MACHINE\\Version", L"DWORD=1", false, failed + L"Invalid parameter RegPath='HKEY_LOCAL_MACHINE\\Version'."},
        {key + L"Five", L"QWORD=5", false, failed + L"Invalid variable in condition 'QWORD=5'. RegPath='" + key + L"Five'."},
        {key + L"Five", L"DWOR", false, failed + L"Invalid variable in condition 'DWOR'"},
        {key + L"Five", L"DWORD = 5", false, failed + L"Invalid operation in condition 'DWORD = 5'. RegPath='" + key + L"Five'."},
        {key + L"Five", L"DWORD>5", false, failed + L"Invalid operation in condition 'DWORD>5'"},
        {key + L"Missing", L"DWORD=0", false, unreadable(L"0x80000001", kTestKey, L"Missing", ERROR_FILE_NOT_FOUND)},
        // 300 characters do not fit the comparer's 260, nor a text the four bytes of a DWORD.
        {key + L"Long", L"STRING>=", false, unreadable(L"0x80000001", kTestKey, L"Long", ERROR_MORE_DATA)},
        {key + L"Hello", L"DWORD>=0", false, unreadable(L"0x80000001", kTestKey, L"Hello", ERROR_MORE_DATA)},
        {L"HKEY_LOCAL_MACHINE\\Software\\SetupLauncherTests\\None\\V", L"VERSION=1", false,
         unreadable(L"0x80000002", L"Software\\SetupLauncherTests\\None", L"V", ERROR_FILE_NOT_FOUND)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << testing::PrintToString(row.path.substr(0, 80)) << " "
                                        << testing::PrintToString(row.condition.substr(0, 40)));
        DeleteFileW(g_Settings.LogPath.c_str());
        EXPECT_EQ(IsValidRegCond(row.path, row.condition, 0), row.holds);
        const std::wstring log = ReadLogText();
        EXPECT_TRUE(row.logged.empty() ? log.empty() : log.find(row.logged) != std::wstring::npos) << testing::PrintToString(log);
    }
}

// The command line of a component may come from a value a full path names: blanks around its
// items and empty items are ignored, a root name is written out, and a value must fit 260
// characters. The reader logs nothing itself.
TEST_F(RunTest, RegistryPathValuesAreReadFromTrimmedItems)
{
    const std::wstring command = L"C:\\Tools\\setup.exe /S", tooLong(300, L'x');
    SetRegistryText(L"Command", command), SetRegistryText(L"Long", tooLong);
    const std::wstring key = L"HKEY_CURRENT_USER\\" + std::wstring(kTestKey) + L"\\";
    const std::pair<std::wstring, LONG> rows[] = {
        {L" hkey_current_user \\ Software\\\\SetupLauncherTests \\ Command ", ERROR_SUCCESS},
        {key + L"Command", ERROR_SUCCESS},
        {L"", ERROR_PATH_NOT_FOUND},
        {L"HKEY_CURRENT_USER\\Command\\", ERROR_PATH_NOT_FOUND},
        {L"HKCU\\" + std::wstring(kTestKey) + L"\\Command", ERROR_PATH_NOT_FOUND},
        {key + L"Missing", ERROR_FILE_NOT_FOUND},
        {key + L"Long", ERROR_MORE_DATA},
    };
    for (const auto& row : rows) {
        std::wstring text = L"before";
        EXPECT_EQ(ReadRegistryPathValue(row.first, false, text), row.second) << testing::PrintToString(row.first);
        EXPECT_EQ(text, row.second == ERROR_SUCCESS ? command : L"before") << testing::PrintToString(row.first);
    }
    EXPECT_EQ(ReadLogText(), L"");
}
