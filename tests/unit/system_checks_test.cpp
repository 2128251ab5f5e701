#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "config/setup_ini.h"
#include "log/error_text.h"
#include "prereq/system_checks.h"
#include "test_support.h"

namespace {

using SystemChecksTest = RunTest;

// A library of the fixtures folder beside unit_tests.exe (tests/fixtures/CMakeLists.txt).
std::wstring Fixture(const wchar_t* name)
{
    return GetModulePath(false, true) + L"fixtures\\" + name;
}

std::wstring SystemFolder()
{
    wchar_t folder[MAX_PATH];
    return std::wstring(folder, GetSystemDirectoryW(folder, MAX_PATH));
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator, bool trim)
{
    std::vector<std::wstring> items;
    SplitList(text, separator, trim, items);
    return items;
}

}  // namespace

TEST_F(SystemChecksTest, PathMacrosAreReplacedAsWritten)
{
    std::wstring path = L"#System#\\kernel32.dll|#system#|#Root#\\a|#Root#\\b";
    ExpandPathMacros(path);
    const std::wstring root = GetModulePath(false, false);
    EXPECT_EQ(path, SystemFolder() + L"\\kernel32.dll|#system#|" + root + L"\\a|" + root + L"\\b");

    wchar_t common[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, SHGFP_TYPE_CURRENT, common), S_OK);
    std::wstring shared = L"#CommonProgramFiles#\\Vendor";
    ExpandPathMacros(shared);
    EXPECT_EQ(shared, std::wstring(common) + L"\\Vendor");

    std::wstring plain = L"C:\\Tools\\#Temp#\\#InstPath#";
    ExpandPathMacros(plain);
    EXPECT_EQ(plain, L"C:\\Tools\\#Temp#\\#InstPath#");

    // A replacement that contains the macro is not expanded again.
    std::wstring text = L"#A#-#A#";
    ReplaceMacro(text, L"#A#", L"x#A#");
    EXPECT_EQ(text, L"x#A#-x#A#");
}

TEST_F(SystemChecksTest, ListsAreSplitTrimmedAndAppended)
{
    EXPECT_EQ(Split(L" a ; b;;c ;", L';', true), (std::vector<std::wstring>{L"a", L"b", L"c"}));
    EXPECT_EQ(Split(L" a ; ;c", L';', false), (std::vector<std::wstring>{L" a ", L" ", L"c"}));
    EXPECT_EQ(Split(L"one", L';', true), std::vector<std::wstring>{L"one"});
    EXPECT_TRUE(Split(L"", L';', true).empty());
    EXPECT_TRUE(Split(L" ;\t; ", L';', true).empty());

    std::vector<std::wstring> list{L"kept"};
    SplitList(L"x\\y", L'\\', true, list);
    EXPECT_EQ(list, (std::vector<std::wstring>{L"kept", L"x", L"y"}));
}

TEST_F(SystemChecksTest, VersionTextsReadFiveSignedParts)
{
    long parts[5] = {9, 9, 9, 9, 9};
    EXPECT_FALSE(ParseVersion5(L"", parts));
    EXPECT_EQ(std::vector<long>(parts, parts + 5), (std::vector<long>{0, 0, 0, 0, 0}));

    ASSERT_TRUE(ParseVersion5(L"1.2.3.4.5.6", parts));
    EXPECT_EQ(std::vector<long>(parts, parts + 5), (std::vector<long>{1, 2, 3, 4, 5}));
    // Leading dots and runs of dots separate once; each part reads like a signed decimal.
    ASSERT_TRUE(ParseVersion5(L"..7..  -3x.+4.beta", parts));
    EXPECT_EQ(std::vector<long>(parts, parts + 5), (std::vector<long>{7, -3, 4, 0, 0}));

    EXPECT_FALSE(VersionTextEquals(L"", L""));
    EXPECT_TRUE(VersionTextEquals(L"", L"0.0"));
    EXPECT_TRUE(VersionTextEquals(L"1.2", L"1.2.0.0"));
    EXPECT_TRUE(VersionTextEquals(L"1.2.3.4.5", L"1.2.3.4.9"));
    EXPECT_FALSE(VersionTextEquals(L"1.2.3.4", L"1.2.3.5"));
}

TEST_F(SystemChecksTest, FilesFoldersAndWildcardsExist)
{
    WriteBytes(scratch.File(L"present.txt"), "x");
    EXPECT_TRUE(FileExists(scratch.File(L"present.txt")));
    EXPECT_TRUE(FileExists(scratch.Path()));
    EXPECT_TRUE(FileExists(scratch.File(L"pre*.txt")));
    EXPECT_FALSE(FileExists(scratch.File(L"absent.txt")));
    EXPECT_FALSE(FileExists(scratch.File(L"abs*")));
    EXPECT_FALSE(FileExists(L""));
}

TEST_F(SystemChecksTest, NamesAreLookedUpInEveryFolderOfThePath)
{
    ScratchFolder first;
    ScratchFolder second;
    WriteBytes(second.File(L"tool.exe"), "x");

    // Blanks around entries and empty entries are skipped; a folder gets its backslash added.
    const std::wstring path = L" " + first.Path() + L" ;;" + second.Path() + L"\\;";
    {
        PathVariable variable(path.c_str());
        EXPECT_TRUE(FindInPath(L"other.exe; tool.exe"));
        EXPECT_TRUE(FindInPath(L"tool.exe"));
        EXPECT_TRUE(FindInPath(L"t*.exe"));
        EXPECT_FALSE(FindInPath(L"other.exe"));
        EXPECT_FALSE(FindInPath(L""));
    }
    {
        PathVariable unset(nullptr);
        EXPECT_FALSE(FindInPath(L"tool.exe"));
    }
}

TEST_F(SystemChecksTest, FileVersionIsTheFixedFileVersion)
{
    DWORD ms = 0;
    DWORD ls = 0;
    ASSERT_EQ(ReadFileVersion(Fixture(L"versioned_1_9_9_9.dll"), ms, ls), 0u);
    EXPECT_EQ(ms, 0x00010009u);
    EXPECT_EQ(ls, 0x00090009u);
    ASSERT_EQ(ReadFileVersion(Fixture(L"versioned_2_0_0_0.dll"), ms, ls), 0u);
    EXPECT_EQ(ms, 0x00020000u);
    EXPECT_EQ(ls, 0u);

    EXPECT_EQ(ReadFileVersion(scratch.File(L"absent.dll"), ms, ls), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(ReadFileVersion(Fixture(L"unversioned.dll"), ms, ls), 0u);
}

TEST_F(SystemChecksTest, FileMustLoadAndBeNotOlder)
{
    const std::wstring current = Fixture(L"versioned_2_0_0_0.dll");
    EXPECT_TRUE(IsValidFileVersion(current, ParseVersion(L"2.0.0.0"), 0));
    EXPECT_TRUE(IsValidFileVersion(current, ParseVersion(L"1.9.9.9"), 1));
    EXPECT_TRUE(IsValidFileVersion(current, Version(), 0));
    // The library for the other processor has a readable version; only loading it fails.
    EXPECT_TRUE(IsValidFileVersion(Fixture(L"versioned_x64.dll"), ParseVersion(L"2.0.0.0"), 0));
    EXPECT_EQ(ReadLogText(g_Settings.LogPath), L"");

    const std::wstring older = Fixture(L"versioned_1_9_9_9.dll");
    EXPECT_FALSE(IsValidFileVersion(older, ParseVersion(L"2.0.0.0"), 1));
    EXPECT_EQ(ReadLogText(g_Settings.LogPath),
              L"Setup.exe [2026.12.04 16:44:05]: IsValidFileVersion() failed. Current version(1.9.9.9) of "
              L"file '" + older + L"' early of required file vesion(2.0.0.0).\r\n");
}

TEST_F(SystemChecksTest, EveryFileRefusalIsLogged)
{
    const std::wstring x64 = Fixture(L"versioned_x64.dll");
    EXPECT_FALSE(IsValidFileVersion(x64, Version(), 1));
    const std::wstring absent = scratch.File(L"absent.dll");
    EXPECT_FALSE(IsValidFileVersion(absent, Version(), 0));
    const std::wstring unversioned = Fixture(L"unversioned.dll");
    EXPECT_FALSE(IsValidFileVersion(unversioned, Version(), 1));

    DWORD ms;
    DWORD ls;
    const DWORD noVersion = ReadFileVersion(unversioned, ms, ls);
    // Wine's answer for a library without a version resource, and Windows'.
    EXPECT_TRUE(noVersion == ERROR_RESOURCE_DATA_NOT_FOUND || noVersion == ERROR_RESOURCE_TYPE_NOT_FOUND) << noVersion;
    const std::wstring stamp = L"Setup.exe [2026.12.04 16:44:05]: ";
    EXPECT_EQ(ReadLogText(g_Settings.LogPath),
              stamp + L"IsValidFileVersion() failed. Can't load file '" + x64 + L"'. " +
                  ErrorText(ERROR_BAD_EXE_FORMAT) + L"\r\n" +
              stamp + L"IsValidFileVersion() failed. Can't get version of file '" + absent + L"'. " +
                  ErrorText(ERROR_FILE_NOT_FOUND) + L"\r\n" +
              stamp + L"IsValidFileVersion() failed. Can't get version of file '" + unversioned + L"'. " +
                  ErrorText(noVersion) + L"\r\n");
}

TEST_F(SystemChecksTest, CheckingToolThatCannotRunLeavesTheComponentPresent)
{
    for (const wchar_t* name : {L"Stavora Runtime", L"Other Runtime"}) {
        PrerequisiteInfo record;
        record.Name = name;
        record.RunExeCond = scratch.File(L"no-such-tool.exe") + L" /check";
        record.Installed = true;
        EXPECT_FALSE(CheckRunExeCondition(record)) << name;
        EXPECT_TRUE(record.Installed);
        EXPECT_EQ(record.ConditionText, L"");
        EXPECT_EQ(record.UpdateMode, 0);
    }
}

TEST_F(SystemChecksTest, CheckingToolAnswersOnlyForTheStavoraFamily)
{
    // The tool runs and answers "install" (3), but the rule ignores it for another product.
    for (const wchar_t* name : {L"Other Runtime", L"stavora Runtime", L"Stavor"}) {
        PrerequisiteInfo record;
        record.Name = name;
        record.RunExeCond = SystemFolder() + L"\\cmd.exe /c exit 3";
        record.Installed = true;
        EXPECT_FALSE(CheckRunExeCondition(record)) << name;
        EXPECT_TRUE(record.Installed);
        EXPECT_EQ(record.UpdateMode, 0);
    }
}
