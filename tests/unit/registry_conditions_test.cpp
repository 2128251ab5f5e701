#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "log/error_text.h"
#include "prereq/registry_conditions.h"
#include "test_support.h"

namespace {

const std::wstring kStamp = L"Setup.exe [2026.12.04 16:44:05]: ";

std::wstring CurrentTestName()
{
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    return std::wstring(name.begin(), name.end());
}

// Runs with a throwaway key named after the test.
class RegistryConditionsTest : public RunTest {
protected:
    bool Holds(const wchar_t* valueName, const wchar_t* condition)
    {
        return IsValidRegCond(key.ValuePath(valueName), condition, 0);
    }
    std::wstring Log() { return ReadLogText(g_Settings.LogPath); }

    const std::wstring testName = CurrentTestName();
    ScratchRegistryKey key{testName};
    const std::wstring keyPath = key.KeyPath();   // "Software\SetupLauncherTests\<test>"
    const std::wstring path = key.ValuePath(L"");  // "HKEY_CURRENT_USER\<key path>\"
};

}  // namespace

TEST_F(RegistryConditionsTest, DwordConditionsCompareSignedIntegers)
{
    key.SetDword(L"Five", 5);
    key.SetDword(L"Minus", 0xFFFFFFFF);
    key.SetDword(L"Zero", 0);
    EXPECT_TRUE(Holds(L"Five", L"DWORD=5"));
    EXPECT_TRUE(Holds(L"Five", L"dword=5"));
    EXPECT_TRUE(Holds(L"Five", L"DWORD= +5 and more"));
    EXPECT_TRUE(Holds(L"Five", L"DWORD>=4"));
    EXPECT_TRUE(Holds(L"Five", L"Dword>=5"));
    EXPECT_TRUE(Holds(L"Minus", L"DWORD=-1"));
    EXPECT_TRUE(Holds(L"Minus", L"DWORD>=-2"));
    // "==1": the operator is "=", the operand "=1" reads as 0.
    EXPECT_TRUE(Holds(L"Zero", L"DWORD==1"));
    EXPECT_EQ(Log(), L"");

    EXPECT_FALSE(Holds(L"Five", L"DWORD>=6"));
    EXPECT_FALSE(Holds(L"Minus", L"DWORD>=0"));
    EXPECT_EQ(Log(), kStamp + L"IsValidRegCond() failed. Invalid condition 'DWORD>=6'. RegPath='" + path +
                         L"Five'.\r\n" + kStamp + L"IsValidRegCond() failed. Invalid condition 'DWORD>=0'. RegPath='" +
                         path + L"Minus'.\r\n");
}

TEST_F(RegistryConditionsTest, StringConditionsFoldOnlyAsciiLetters)
{
    key.SetString(L"Name", L"Hello");
    key.SetString(L"Lower", L"a");
    key.SetString(L"Umlaut", L"\x00C4");
    EXPECT_TRUE(Holds(L"Name", L"STRING=hello"));
    EXPECT_TRUE(Holds(L"Name", L"string=HELLO"));
    EXPECT_TRUE(Holds(L"Name", L"STRING>=HELLO"));
    EXPECT_TRUE(Holds(L"Name", L"STRING>=Hell"));
    EXPECT_TRUE(Holds(L"Name", L"STRING>=A"));
    EXPECT_TRUE(Holds(L"Name", L"STRING>="));
    // Letters fold to lower case: "_" (0x5F) sorts before "a" (0x61), though after "A" (0x41).
    EXPECT_TRUE(Holds(L"Lower", L"STRING>=_"));
    EXPECT_FALSE(Holds(L"Name", L"STRING>=Help"));
    EXPECT_FALSE(Holds(L"Name", L"STRING= Hello"));
    EXPECT_FALSE(Holds(L"Umlaut", L"STRING=\x00E4"));
    EXPECT_TRUE(Holds(L"Umlaut", L"STRING=\x00C4"));
}

TEST_F(RegistryConditionsTest, VersionConditionsCompareDottedTexts)
{
    key.SetString(L"V210", L"2.1.0.0");
    key.SetString(L"V30", L"3.0");
    key.SetString(L"V209", L"2.0.9");
    key.SetString(L"Five", L"1.2.3.4.5");
    key.SetString(L"V20", L"2.0");
    key.SetString(L"Empty", L"");
    EXPECT_TRUE(Holds(L"V210", L"VERSION>=2.1"));
    EXPECT_TRUE(Holds(L"V30", L"VERSION>=2.1"));
    EXPECT_FALSE(Holds(L"V209", L"VERSION>=2.1"));
    EXPECT_TRUE(Holds(L"V210", L"version=2.1"));
    EXPECT_FALSE(Holds(L"V30", L"VERSION=2.1"));
    // The fifth part is not compared for equality; numbers compare as numbers.
    EXPECT_TRUE(Holds(L"Five", L"VERSION>=1.2.3.4.9"));
    EXPECT_TRUE(Holds(L"Five", L"VERSION>=1.2.3.4.4"));
    EXPECT_FALSE(Holds(L"V20", L"VERSION>=10.0"));
    // Both texts empty: no version at all.
    EXPECT_FALSE(Holds(L"Empty", L"VERSION>="));
    EXPECT_FALSE(Holds(L"Empty", L"VERSION="));
    EXPECT_TRUE(Holds(L"Empty", L"VERSION>=0"));
}

TEST_F(RegistryConditionsTest, MalformedConditionsAreLoggedAndNotMet)
{
    key.SetDword(L"One", 1);
    const std::wstring one = path + L"One";
    EXPECT_FALSE(IsValidRegCond(L"", L"DWORD=1", 0));
    EXPECT_FALSE(IsValidRegCond(L"HKEY_CURRENT_USER", L"DWORD=1", 0));
    EXPECT_FALSE(IsValidRegCond(L"HKLM\\SOFTWARE\\X\\Y", L"DWORD=1", 0));
    EXPECT_FALSE(IsValidRegCond(L"HKEY_LOCAL_MACHINE\\Version", L"DWORD=1", 0));
    EXPECT_FALSE(IsValidRegCond(one, L"QWORD=1", 0));
    EXPECT_FALSE(IsValidRegCond(one, L"DWORD = 1", 0));
    EXPECT_FALSE(IsValidRegCond(one, L"DWORD>1", 0));
    EXPECT_FALSE(IsValidRegCond(one, L"DWOR", 0));
    EXPECT_EQ(Log(), kStamp + L"IsValidRegCond() failed. Invalid registry key ''.\r\n" +
                         kStamp + L"IsValidRegCond() failed. Invalid registry key 'HKEY_CURRENT_USER'.\r\n" +
                         kStamp + L"IsValidRegCond() failed. Can't find root registry key 'HKLM'.\r\n" +
                         kStamp + L"IsValidRegCond() failed. Invalid parameter RegPath='HKEY_LOCAL_MACHINE\\Version'.\r\n" +
                         kStamp + L"IsValidRegCond() failed. Invalid variable in condition 'QWORD=1'. RegPath='" + one + L"'.\r\n" +
                         kStamp + L"IsValidRegCond() failed. Invalid operation in condition 'DWORD = 1'. RegPath='" + one + L"'.\r\n" +
                         kStamp + L"IsValidRegCond() failed. Invalid operation in condition 'DWORD>1'. RegPath='" + one + L"'.\r\n" +
                         kStamp + L"IsValidRegCond() failed. Invalid variable in condition 'DWOR'. RegPath='" + one + L"'.\r\n");
}

TEST_F(RegistryConditionsTest, RootNamesIgnoreCaseAndATrailingBackslashNamesTheDefaultValue)
{
    key.SetString(L"", L"default");
    key.SetDword(L"One", 1);
    EXPECT_TRUE(IsValidRegCond(L"hkey_current_user\\" + keyPath + L"\\One", L"DWORD=1", 0));
    EXPECT_TRUE(IsValidRegCond(path, L"STRING=Default", 0));
    EXPECT_EQ(Log(), L"");
}

TEST_F(RegistryConditionsTest, UnreadableValuesAreLoggedWithTheirRootKey)
{
    key.SetString(L"Long", std::wstring(300, L'x'));
    key.SetString(L"Text", L"abc");
    EXPECT_FALSE(Holds(L"Missing", L"DWORD=0"));
    EXPECT_FALSE(Holds(L"Long", L"STRING>="));
    // A text does not fit the four bytes of a DWORD.
    EXPECT_FALSE(Holds(L"Text", L"DWORD>=0"));
    EXPECT_FALSE(IsValidRegCond(L"HKEY_LOCAL_MACHINE\\Software\\SetupLauncherTests\\None\\V", L"VERSION=1", 0));
    const std::wstring failed = L"IsValidRegCond() failed. Invalid condition ";
    EXPECT_EQ(Log(),
              kStamp + L"CRegComparer.GetRegValue(0x80000001, '" + keyPath + L"', 'Missing') failed. " +
                  ErrorText(ERROR_FILE_NOT_FOUND) + L"\r\n" +
              kStamp + failed + L"'DWORD=0'. RegPath='" + path + L"Missing'.\r\n" +
              kStamp + L"CRegComparer.GetRegValue(0x80000001, '" + keyPath + L"', 'Long') failed. " +
                  ErrorText(ERROR_MORE_DATA) + L"\r\n" +
              kStamp + failed + L"'STRING>='. RegPath='" + path + L"Long'.\r\n" +
              kStamp + L"CRegComparer.GetRegValue(0x80000001, '" + keyPath + L"', 'Text') failed. " +
                  ErrorText(ERROR_MORE_DATA) + L"\r\n" +
              kStamp + failed + L"'DWORD>=0'. RegPath='" + path + L"Text'.\r\n" +
              kStamp + L"CRegComparer.GetRegValue(0x80000002, 'Software\\SetupLauncherTests\\None', 'V') failed. " +
                  ErrorText(ERROR_FILE_NOT_FOUND) + L"\r\n" +
              kStamp + failed + L"'VERSION=1'. RegPath='HKEY_LOCAL_MACHINE\\Software\\SetupLauncherTests\\None\\V'.\r\n");
}

TEST_F(RegistryConditionsTest, TextFillingTheWholeBufferEndsWithinIt)
{
    // 260 characters without a terminating zero (binary data, which no registry call ends with
    // a zero of its own): exactly the buffer.
    const std::wstring full(260, L'y');
    RegSetValueExW(key.Get(), L"Full", 0, REG_BINARY, reinterpret_cast<const BYTE*>(full.data()), 520);
    EXPECT_TRUE(Holds(L"Full", (L"STRING=" + full).c_str()));
    std::wstring text;
    EXPECT_EQ(ReadRegistryPathValue(path + L"Full", false, text), ERROR_SUCCESS);
    EXPECT_EQ(text, full);
}

TEST_F(RegistryConditionsTest, AnyConditionOfTheListMarksThePresence)
{
    key.SetDword(L"One", 1);
    EXPECT_FALSE(CheckRegConditions({}, 0));
    EXPECT_TRUE(CheckRegConditions({{L"HKLM\\X\\Y", L"DWORD=1"}, {path + L"One", L"DWORD=1"}}, 0));
    EXPECT_FALSE(CheckRegConditions({{path + L"One", L"DWORD=2"}, {path + L"One", L"STRING=x"}}, 0));
    const std::wstring log = Log();
    EXPECT_NE(log.find(L"Can't find root registry key 'HKLM'"), std::wstring::npos);
    EXPECT_NE(log.find(L"Invalid condition 'DWORD=2'"), std::wstring::npos);
    EXPECT_NE(log.find(L"Invalid condition 'STRING=x'"), std::wstring::npos);
}

TEST_F(RegistryConditionsTest, Key64ReadsThe64BitViewAndTheDefaultThe32BitOne)
{
    // The 32-bit program on 64-bit Windows reads the 32-bit view of HKLM\Software, and the
    // 64-bit view only when Key64 asks for it.
    const wchar_t* const subKey = L"Software\\SetupLauncherTests\\Key64";
    HKEY key32 = nullptr;
    HKEY key64 = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                              nullptr, &key32, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                              nullptr, &key64, nullptr),
              ERROR_SUCCESS);
    const DWORD one = 1;
    RegSetValueExW(key32, L"Only32", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    RegSetValueExW(key64, L"Only64", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    RegCloseKey(key32);
    RegCloseKey(key64);

    const std::wstring base = L"HKEY_LOCAL_MACHINE\\Software\\SetupLauncherTests\\Key64\\";
    EXPECT_FALSE(IsValidRegCond(base + L"Only32", L"DWORD=1", 1));
    EXPECT_TRUE(IsValidRegCond(base + L"Only64", L"DWORD=1", 1));
    EXPECT_TRUE(IsValidRegCond(base + L"Only32", L"DWORD=1", 0));
    EXPECT_FALSE(IsValidRegCond(base + L"Only64", L"DWORD=1", 0));
    std::wstring text;
    EXPECT_EQ(ReadRegistryPathValue(base + L"Only32", true, text), ERROR_FILE_NOT_FOUND);

    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\SetupLauncherTests");
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, subKey, KEY_WOW64_32KEY, 0);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\SetupLauncherTests", KEY_WOW64_32KEY, 0);
}

TEST_F(RegistryConditionsTest, PathValuesAreReadFromTrimmedItems)
{
    key.SetString(L"Command", L"C:\\Tools\\setup.exe /S");
    key.SetString(L"Long", std::wstring(300, L'x'));
    std::wstring text = L"before";
    EXPECT_EQ(ReadRegistryPathValue(L" hkey_current_user \\ Software\\\\SetupLauncherTests\\" + testName + L" \\ Command ",
                                    false, text),
              ERROR_SUCCESS);
    EXPECT_EQ(text, L"C:\\Tools\\setup.exe /S");

    EXPECT_EQ(ReadRegistryPathValue(L"", false, text), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ReadRegistryPathValue(L"HKEY_CURRENT_USER\\Command\\", false, text), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ReadRegistryPathValue(L"HKCU\\" + keyPath + L"\\Command", false, text), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ReadRegistryPathValue(path + L"Missing", false, text), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadRegistryPathValue(path + L"Long", false, text), ERROR_MORE_DATA);
    // This reader logs nothing itself.
    EXPECT_EQ(Log(), L"");
}
