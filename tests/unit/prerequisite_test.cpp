#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "config/setup_ini.h"
#include "fake_platform.h"
#include "log/error_text.h"
#include "prereq/prerequisite.h"
#include "test_support.h"

namespace {

const std::wstring kStamp = L"Setup.exe [2026.12.04 16:44:05]: ";

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

class PrerequisiteTest : public RunTest {
protected:
    PrerequisiteList Read(const std::string& ini)
    {
        SetupIniFile file(ini);
        PrerequisiteList list;
        ReadPrerequisites(L"PreReq%d", list);
        return list;
    }
    std::wstring Log() { return ReadLogText(g_Settings.LogPath); }

    ScratchRegistryKey key{L"Prerequisites"};
    const std::string keyPath = Narrow(key.ValuePath(L""));
    // A library at version 2.0.0.0.
    const std::wstring versioned = GetModulePath(false, true) + L"fixtures\\versioned_2_0_0_0.dll";
};

// A section whose file is missing, so that the component is listed.
std::string Missing(int number, const char* name)
{
    return "[PreReq" + std::to_string(number) + "]\r\nName=" + name +
           "\r\nInstPath=x.exe\r\nFilePath=C:\\no-such-folder\\x.dll\r\n";
}

}  // namespace

TEST_F(PrerequisiteTest, EveryNumberUpTo99IsReadDespiteGaps)
{
    PrerequisiteList list = Read(Missing(0, "Zero") + Missing(2, "Two") + Missing(99, "Ninety-nine") +
                                 Missing(100, "Hundred") + "[PreReq3]\r\nUrl=http://x\r\nInstPath=x.exe\r\n");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Name, L"Zero");
    EXPECT_EQ(list[1].Name, L"Two");
    EXPECT_EQ(list[2].Name, L"Ninety-nine");

    // A new read starts from an empty list.
    list = Read(Missing(5, "Five"));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Name, L"Five");
}

TEST_F(PrerequisiteTest, EveryKeyOfASectionIsRead)
{
    std::string ini =
        "[PreReq0]\r\nname=Runtime\r\nUrl=http://example.com/rt\r\nInstPath=#Root#\\rt\\setup.exe\r\n"
        "InstParams=\"#InstPath#\" /q\r\nUpdateParams=/update\r\nIsUninstall=1\r\nAdminNeed=0\r\nRunAs=1\r\n"
        "OSbit=3\r\nOSver=  +601 and later\r\nKey64=1\r\nFilePath=#System#\\rt.dll\r\nFileVer=1.2.3\r\n"
        "FileTryLoad=1\r\nMsiProd=yes\r\nRegPath=HKEY_CURRENT_USER\\A\\B\r\nRegCond=DWORD=1\r\n"
        "ChooseDownload=rt.exe\r\nRunExeCond=check.exe\r\nSkipIfFoundInPath=rt.exe\r\nOptional=1\r\n";
    PrerequisiteList list = Read(ini);
    ASSERT_EQ(list.size(), 1u);
    const PrerequisiteInfo& record = list[0];
    wchar_t system[MAX_PATH];
    const std::wstring systemFolder(system, GetSystemDirectoryW(system, MAX_PATH));
    EXPECT_EQ(record.Name, L"Runtime");
    EXPECT_EQ(record.Url, L"http://example.com/rt");
    EXPECT_EQ(record.InstPath, GetModulePath(false, false) + L"\\rt\\setup.exe");
    EXPECT_EQ(record.InstParams, L"\"#InstPath#\" /q");
    EXPECT_EQ(record.UpdateParams, L"/update");
    EXPECT_EQ(record.IsUninstall, 1);
    EXPECT_EQ(record.AdminNeed, 0);
    EXPECT_EQ(record.RunAs, 1);
    EXPECT_EQ(record.OSbit, 3);
    EXPECT_EQ(record.OSver, 601);
    EXPECT_EQ(record.Key64, 1);
    EXPECT_EQ(record.FilePath, systemFolder + L"\\rt.dll");
    EXPECT_EQ(VersionText(record.FileVer), L"1.2.3.0");
    EXPECT_EQ(record.FileTryLoad, 1);
    EXPECT_EQ(record.MsiProd, L"yes");
    ASSERT_EQ(record.RegConditions.size(), 1u);
    EXPECT_EQ(record.RegConditions[0].RegPath, L"HKEY_CURRENT_USER\\A\\B");
    EXPECT_EQ(record.RegConditions[0].RegCond, L"DWORD=1");
    EXPECT_EQ(record.ChooseDownload, L"rt.exe");
    EXPECT_EQ(record.RunExeCond, L"check.exe");
    EXPECT_EQ(record.SkipIfFoundInPath, L"rt.exe");
    EXPECT_EQ(record.OptionalState, 0);
    EXPECT_TRUE(record.Selected);
    EXPECT_EQ(record.UpdateMode, 0);
    // The missing file decided.
    EXPECT_FALSE(record.Installed);

    // Defaults of a section with a name and a command only (an uninstall entry, so it is listed).
    list = Read("[PreReq0]\r\nName=Bare\r\nInstPath=x.exe\r\nIsUninstall=1\r\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].AdminNeed, 1);
    EXPECT_EQ(list[0].RunAs, 0);
    EXPECT_EQ(list[0].OSbit, 0);
    EXPECT_EQ(list[0].OSver, 0);
    EXPECT_EQ(list[0].Key64, 0);
    EXPECT_EQ(list[0].InstParams, L"");
    EXPECT_EQ(VersionText(list[0].FileVer), L"0.0.0.0");
    EXPECT_TRUE(list[0].RegConditions.empty());
    EXPECT_EQ(list[0].OptionalState, 2);
    EXPECT_TRUE(list[0].Installed);
}

TEST_F(PrerequisiteTest, OptionalKeyGivesThreeStates)
{
    const char* const values[] = {"0", "1", "abc", "5"};
    const int states[] = {1, 0, 1, 0};
    for (int i = 0; i < 4; ++i) {
        PrerequisiteList list = Read(Missing(0, "C") + "Optional=" + values[i] + "\r\n");
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].OptionalState, states[i]) << values[i];
    }
    PrerequisiteList list = Read(Missing(0, "C"));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].OptionalState, 2);
}

TEST_F(PrerequisiteTest, CommandMayComeFromTheRegistry)
{
    key.SetString(L"Command", L"C:\\Tools\\setup.exe /S");
    key.SetString(L"NoBlank", L"C:\\Tools\\setup.exe");
    PrerequisiteList list = Read(
        "[PreReq0]\r\nName=FromRegistry\r\nInstRegPath=" + keyPath + "Command\r\nInstParams=/norestart\r\n"
        "UpdateParams=/update\r\nFilePath=C:\\no-such-folder\\x.dll\r\n"
        "[PreReq1]\r\nName=NoBlank\r\nInstRegPath=" + keyPath + "NoBlank\r\nIsUninstall=1\r\n"
        "[PreReq2]\r\nName=Unreadable\r\nInstRegPath=" + keyPath + "Missing\r\nIsUninstall=1\r\n"
        "[PreReq3]\r\nName=Nothing\r\nIsUninstall=1\r\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].InstPath, L"C:\\Tools\\setup.exe");
    EXPECT_EQ(list[0].InstParams, L"C:\\Tools\\setup.exe /S /norestart");
    EXPECT_EQ(list[0].UpdateParams, L"");

    // The first section's missing file is logged before.
    const std::wstring log = Log();
    EXPECT_EQ(log.substr(log.find(L"\r\n") + 2),
              kStamp + L"Can't read registry value from path '" + key.ValuePath(L"Missing") + L"'. " +
                  ErrorText(ERROR_FILE_NOT_FOUND) + L"\r\n" + kStamp + L"Can't read registry value from path ''. " +
                  ErrorText(ERROR_PATH_NOT_FOUND) + L"\r\n");
}

TEST_F(PrerequisiteTest, LibreOfficeMayLeaveMicrosoftOfficeFilesAlone)
{
    PrerequisiteList list = Read(Missing(0, "The LIBRE office Suite") + "InstParams=/qn\r\nNotAssociateWithMSOfficeFiles=1\r\n" +
                                 Missing(1, "LibreOffice") + "InstParams=/qn\r\nNotAssociateWithMSOfficeFiles=1\r\n" +
                                 Missing(2, "Libre Office") + "InstParams=/qn\r\nNotAssociateWithMSOfficeFiles=0\r\n");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].InstParams, L"/qn REGISTER_NO_MSO_TYPES=1 ");
    EXPECT_EQ(list[1].InstParams, L"/qn");
    EXPECT_EQ(list[2].InstParams, L"/qn");
}

TEST_F(PrerequisiteTest, RegistryConditionsAreReadInOrderAndOnlyInPairs)
{
    SetupIniFile file(
        "[S]\r\nRegPath5=P5\r\nRegCond5=C5\r\nRegPath=P\r\nRegCond=C\r\nRegPath0=P0\r\nRegCond0=C0\r\n"
        "RegPath1=P1\r\nRegPath2=\r\nRegCond2=C2\r\nRegPath31=P31\r\nRegCond31=C31\r\n"
        "RegPath32=P32\r\nRegCond32=C32\r\nRegPath03=P03\r\nRegCond03=C03\r\n");
    std::vector<RegCondition> conditions{{L"kept", L"kept"}};
    ReadRegConditions(L"S", conditions);
    ASSERT_EQ(conditions.size(), 5u);
    EXPECT_EQ(conditions[1].RegPath, L"P");
    EXPECT_EQ(conditions[2].RegPath, L"P0");
    EXPECT_EQ(conditions[3].RegPath, L"P5");
    EXPECT_EQ(conditions[3].RegCond, L"C5");
    EXPECT_EQ(conditions[4].RegPath, L"P31");
}

TEST_F(PrerequisiteTest, TheFirstKindOfConditionDecides)
{
    key.SetString(L"One", L"1");
    const std::string one = keyPath + "One";
    const std::string path = Narrow(versioned);
    PrerequisiteList list = Read(
        // Present file, unmet registry condition: the file decides.
        "[PreReq0]\r\nName=FileOk\r\nInstPath=x.exe\r\nFilePath=" + path + "\r\nFileVer=2.0\r\n"
        "RegPath=" + one + "\r\nRegCond=STRING=2\r\n"
        // File too old.
        "[PreReq1]\r\nName=FileOld\r\nInstPath=x.exe\r\nFilePath=" + path + "\r\nFileVer=2.0.0.1\r\n"
        // A package that cannot be read must be installed, but was not found missing.
        "[PreReq2]\r\nName=Package\r\nInstPath=C:\\no-such-folder\\p.msi\r\nMsiProd=1\r\n"
        "RegPath=" + one + "\r\nRegCond=STRING=1\r\n"
        // Registry conditions: the second holds.
        "[PreReq3]\r\nName=RegOk\r\nInstPath=x.exe\r\nRegPath=" + one + "\r\nRegCond=STRING=2\r\n"
        "RegPath7=" + one + "\r\nRegCond7=STRING=1\r\nRunExeCond=no-such-tool.exe\r\n"
        "[PreReq4]\r\nName=RegMissing\r\nInstPath=x.exe\r\nRegPath=" + one + "\r\nRegCond=STRING=2\r\n"
        // A checking tool that cannot run leaves the component present.
        "[PreReq5]\r\nName=Stavora Tool\r\nInstPath=x.exe\r\nRunExeCond=C:\\no-such-folder\\check.exe\r\n"
        // Nothing to check: present.
        "[PreReq6]\r\nName=NoCondition\r\nInstPath=x.exe\r\n"
        // An uninstall entry is listed although present.
        "[PreReq7]\r\nName=Remove\r\nInstPath=x.exe\r\nIsUninstall=1\r\n");
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].Name, L"FileOld");
    EXPECT_FALSE(list[0].Installed);
    EXPECT_EQ(list[1].Name, L"Package");
    EXPECT_TRUE(list[1].Installed);
    EXPECT_EQ(list[2].Name, L"RegMissing");
    EXPECT_FALSE(list[2].Installed);
    EXPECT_EQ(list[3].Name, L"Remove");
    EXPECT_TRUE(list[3].Installed);
}

TEST_F(PrerequisiteTest, PathCanOnlyMarkAComponentPresent)
{
    ScratchFolder folder;
    WriteBytes(folder.File(L"tool.exe"), "x");
    const PathVariable path(folder.Path().c_str());
    PrerequisiteList list = Read(
        "[PreReq0]\r\nName=OnlyPathFound\r\nInstPath=x.exe\r\nSkipIfFoundInPath=tool.exe\r\n"
        "[PreReq1]\r\nName=OnlyPathMissing\r\nInstPath=x.exe\r\nSkipIfFoundInPath=other.exe\r\n"
        "[PreReq2]\r\nName=FoundBeforeFile\r\nInstPath=x.exe\r\nSkipIfFoundInPath=other.exe;tool.exe\r\n"
        "FilePath=C:\\no-such-folder\\x.dll\r\n"
        "[PreReq3]\r\nName=NotFoundThenFile\r\nInstPath=x.exe\r\nSkipIfFoundInPath=other.exe\r\n"
        "FilePath=C:\\no-such-folder\\x.dll\r\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Name, L"NotFoundThenFile");
}

TEST_F(PrerequisiteTest, BitnessAndVersionBoundsLimitTheRecord)
{
    const std::string ini = Missing(0, "Only32") + "OSbit=1\r\n" + Missing(1, "Only64") + "OSbit=2\r\n" +
                            Missing(2, "Remove64") + "OSbit=2\r\nIsUninstall=1\r\n" + Missing(3, "AtLeast7") +
                            "OSver=601\r\n" + Missing(4, "AtMost7") + "OSver=-601\r\n" + Missing(5, "Any") +
                            "OSver=x601\r\n";
    auto names = [](const PrerequisiteList& list) {
        std::wstring text;
        for (const PrerequisiteInfo& record : list)
            text += record.Name + L" ";
        return text;
    };
    // 64-bit Windows 7.
    EXPECT_EQ(names(Read(ini)), L"Only64 Remove64 AtLeast7 AtMost7 Any ");
    // 32-bit Windows 8 (also what Windows 10 reports to this program).
    Fake().nativeArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    Fake().major = 6;
    Fake().minor = 2;
    EXPECT_EQ(names(Read(ini)), L"Only32 Remove64 AtLeast7 Any ");
    // Vista.
    Fake().minor = 0;
    EXPECT_EQ(names(Read(ini)), L"Only32 Remove64 AtMost7 Any ");
    // An unknown version applies to no record with a bound.
    Fake().versionCallFails = true;
    EXPECT_EQ(names(Read(ini)), L"Only32 Remove64 Any ");
}

TEST_F(PrerequisiteTest, CheckingAgainSeesWhatChanged)
{
    ScratchFolder folder;
    PrerequisiteInfo record;
    record.Name = L"Component";
    record.FilePath = folder.File(L"component.dll");
    record.FileVer = ParseVersion(L"2.0");
    EXPECT_TRUE(CheckPrerequisite(record));
    EXPECT_FALSE(record.Installed);

    CopyFileW(versioned.c_str(), record.FilePath.c_str(), FALSE);
    EXPECT_FALSE(CheckPrerequisite(record));
    EXPECT_TRUE(record.Installed);

    // A record the user did not select is not acted on, and its state is left as it was.
    record.Selected = false;
    record.Installed = false;
    EXPECT_FALSE(CheckPrerequisite(record));
    EXPECT_FALSE(record.Installed);
}

TEST_F(PrerequisiteTest, PostRequisitesEndAtTheFirstSectionWithoutName)
{
    SetupIniFile file(
        "[PostReq0]\r\nName=First\r\nUrl=http://x\r\nInstPath=#Root#\\post.exe\r\nInstParams=/q\r\nRunAs=1\r\n"
        "AdminNeed=0\r\nFilePath=x.dll\r\n"
        "[PostReq1]\r\nName=NoCommand\r\nInstParams=/ignored\r\n"
        "[PostReq3]\r\nName=AfterGap\r\nInstPath=x.exe\r\n");
    PrerequisiteList list{PrerequisiteInfo()};
    ReadPostRequisites(L"PostReq%d", list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Name, L"First");
    EXPECT_EQ(list[0].Url, L"http://x");
    EXPECT_EQ(list[0].InstPath, GetModulePath(false, false) + L"\\post.exe");
    EXPECT_EQ(list[0].InstParams, L"/q");
    EXPECT_EQ(list[0].RunAs, 1);
    EXPECT_EQ(list[0].FilePath, L"");
    EXPECT_TRUE(list[0].Selected);
    EXPECT_EQ(list[1].Name, L"NoCommand");
    EXPECT_EQ(list[1].InstPath, L"");
    EXPECT_EQ(list[1].InstParams, L"");
}

TEST_F(PrerequisiteTest, PostRequisitesNeedSectionZero)
{
    SetupIniFile file("[PostReq0]\r\nInstPath=x.exe\r\n[PostReq1]\r\nName=Second\r\nInstPath=y.exe\r\n");
    PrerequisiteList list;
    ReadPostRequisites(L"PostReq%d", list);
    EXPECT_TRUE(list.empty());
}
