#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "config/setup_ini.h"
#include "guards/process_guards.h"
#include "prereq/prerequisite.h"
#include "prereq/process_runner.h"
#include "prereq/system_checks.h"
#include "support.h"
#include "win/format.h"
#include "win/handles.h"

namespace {

// A listed record as one line of its fields, so that a row can name what it expects.
std::wstring Describe(const PrerequisiteList& list)
{
    std::wstring text = std::to_wstring(list.size()) + L" listed";
    for (const PrerequisiteInfo& r : list) {
        std::wstring conditions;
        for (const RegCondition& condition : r.RegConditions)
            conditions += condition.RegPath + L">" + condition.RegCond + L",";
        text += Format(L"|Name=%s;Url=%s;InstPath=%s;InstParams=%s;UpdateParams=%s;IsUninstall=%d;AdminNeed=%d;RunAs=%d;"
                       L"OSbit=%d;OSver=%d;Key64=%d;FilePath=%s;FileVer=%s;FileTryLoad=%d;MsiProd=%s;Reg=%s;"
                       L"ChooseDownload=%s;RunExeCond=%s;Skip=%s;Optional=%d;Installed=%d;",
                       r.Name.c_str(), r.Url.c_str(), r.InstPath.c_str(), r.InstParams.c_str(), r.UpdateParams.c_str(),
                       r.IsUninstall, r.AdminNeed, r.RunAs, r.OSbit, r.OSver, r.Key64, r.FilePath.c_str(),
                       VersionText(r.FileVer).c_str(), r.FileTryLoad, r.MsiProd.c_str(), conditions.c_str(),
                       r.ChooseDownload.c_str(), r.RunExeCond.c_str(), r.SkipIfFoundInPath.c_str(), r.OptionalState,
                       static_cast<int>(r.Installed));
    }
    return text;
}

// A section of a component that is missing (its file is), so that it is listed.
std::string Missing(int number, const char* name, const char* more = "")
{
    return "[PreReq" + std::to_string(number) + "]\r\nName=" + name + "\r\nInstPath=x.exe\r\n" + more +
           "FilePath=C:\\no-such-folder\\x.dll\r\n";
}

const std::string kOne = "HKEY_CURRENT_USER\\Software\\SetupLauncherTests\\One";  // the text "1"

}  // namespace

// Each key of a "PreReq%d" section into its record (post-installation sections: only name, page,
// command and RunAs), the defaults, Optional's three states, the command from the registry and
// the registry conditions in their order.
TEST_F(RunTest, PrerequisiteKeysAreReadIntoTheRecord)
{
    SetRegistryText(L"Command", L"C:\\Tools\\setup.exe /S"), SetRegistryText(L"Bare", L"C:\\Tools\\setup.exe");
    const std::wstring root = GetModulePath(false, false);
    wchar_t system[MAX_PATH];
    const std::wstring systemFolder(system, GetSystemDirectoryW(system, MAX_PATH));
    const std::string key = "HKEY_CURRENT_USER\\Software\\SetupLauncherTests\\";
    const struct {
        bool post;
        std::string ini;
        std::wstring expected;  // a part of the description of the list
    } rows[] = {
        {false,
         "[PreReq0]\r\nname=Runtime\r\nUrl=http://example.com/rt\r\nInstPath=#Root#\\rt\\setup.exe\r\nInstParams=\"#InstPath#\" "
         "/q\r\nUpdateParams=/update\r\nIsUninstall=1\r\nAdminNeed=0\r\nRunAs=1\r\nOSbit=3\r\nOSver=  +601 and later\r\n"
         "Key64=1\r\nFilePath=#System#\\rt.dll\r\nFileVer=1.2.3\r\nFileTryLoad=1\r\nMsiProd=yes\r\nRegPath=HKEY_CURRENT_USER\\A\\B\r\n"
         "RegCond=DWORD=1\r\nChooseDownload=rt.exe\r\nRunExeCond=check.exe\r\nSkipIfFoundInPath=rt.exe\r\nOptional=1\r\n",
         L"1 listed|Name=Runtime;Url=http://example.com/rt;InstPath=" + root + L"\\rt\\setup.exe;InstParams=\"#InstPath#\" /q;"
         L"UpdateParams=/update;IsUninstall=1;AdminNeed=0;RunAs=1;OSbit=3;OSver=601;Key64=1;FilePath=" + systemFolder +
         L"\\rt.dll;FileVer=1.2.3.0;FileTryLoad=1;MsiProd=yes;Reg=HKEY_CURRENT_USER\\A\\B>DWORD=1,;ChooseDownload=rt.exe;"
         L"RunExeCond=check.exe;Skip=rt.exe;Optional=0;Installed=0;"},
        {false, "[PreReq0]\r\nName=Bare\r\nInstPath=x.exe\r\nIsUninstall=1\r\n",
         L"1 listed|Name=Bare;Url=;InstPath=x.exe;InstParams=;UpdateParams=;IsUninstall=1;AdminNeed=1;RunAs=0;OSbit=0;OSver=0;"
         L"Key64=0;FilePath=;FileVer=0.0.0.0;FileTryLoad=0;MsiProd=;Reg=;ChooseDownload=;RunExeCond=;Skip=;Optional=2;Installed=1;"},
        {false, Missing(0, "C", "Optional=0\r\n"), L"Optional=1;"},
        {false, Missing(0, "C", "Optional=1\r\n"), L"Optional=0;"},
        {false, Missing(0, "C", "Optional=abc\r\n"), L"Optional=1;"},
        {false, Missing(0, "C", "Optional=5\r\n"), L"Optional=0;"},
        {false, Missing(0, "The LIBRE office Suite", "InstParams=/qn\r\nNotAssociateWithMSOfficeFiles=1\r\n"),
         L"InstParams=/qn REGISTER_NO_MSO_TYPES=1 ;"},
        {false, Missing(0, "LibreOffice", "InstParams=/qn\r\nNotAssociateWithMSOfficeFiles=1\r\n"), L"InstParams=/qn;"},
        {false, Missing(0, "Libre Office", "InstParams=/qn\r\nNotAssociateWithMSOfficeFiles=0\r\n"), L"InstParams=/qn;"},
        // Without InstPath: the registry value up to its first blank, the whole value before InstParams.
        {false, "[PreReq0]\r\nName=R\r\nInstRegPath=" + key + "Command\r\nInstParams=/norestart\r\nUpdateParams=/u\r\nIsUninstall=1\r\n",
         L"InstPath=C:\\Tools\\setup.exe;InstParams=C:\\Tools\\setup.exe /S /norestart;UpdateParams=;"},
        {false, "[PreReq0]\r\nName=R\r\nInstRegPath=" + key + "Bare\r\nIsUninstall=1\r\n", L"0 listed"},
        {false, "[PreReq0]\r\nName=R\r\nInstRegPath=" + key + "Missing\r\nIsUninstall=1\r\n", L"0 listed"},
        {false, "[PreReq0]\r\nName=R\r\nIsUninstall=1\r\n", L"0 listed"},
        {false, "[PreReq0]\r\nUrl=http://x\r\nInstPath=x.exe\r\nIsUninstall=1\r\n", L"0 listed"},
        // Pairs in the order unnumbered, 0 … 31, each with both sides.
        {false, Missing(0, "C", "RegPath5=P5\r\nRegCond5=C5\r\nRegPath=P\r\nRegCond=C\r\nRegPath0=P0\r\nRegCond0=C0\r\n"
                                "RegPath1=P1\r\nRegPath2=\r\nRegCond2=C2\r\nRegPath31=P31\r\nRegCond31=C31\r\nRegPath32=P32\r\n"
                                "RegCond32=C32\r\nRegPath03=P03\r\nRegCond03=C03\r\n"),
         L";Reg=P>C,P0>C0,P5>C5,P31>C31,;"},
        {true,
         "[PreReq0]\r\nName=First\r\nUrl=http://x\r\nInstPath=#Root#\\post.exe\r\nInstParams=/q\r\nRunAs=1\r\nAdminNeed=0\r\n"
         "FilePath=x.dll\r\nOptional=0\r\n[PreReq1]\r\nName=NoCommand\r\nInstParams=/ignored\r\n[PreReq3]\r\nName=AfterGap\r\n",
         L"2 listed|Name=First;Url=http://x;InstPath=" + root + L"\\post.exe;InstParams=/q;UpdateParams=;IsUninstall=0;"
         L"AdminNeed=1;RunAs=1;OSbit=0;OSver=0;Key64=0;FilePath=;FileVer=0.0.0.0;FileTryLoad=0;MsiProd=;Reg=;ChooseDownload=;"
         L"RunExeCond=;Skip=;Optional=2;Installed=0;|Name=NoCommand;Url=;InstPath=;InstParams=;"},
        {true, "[PreReq0]\r\nInstPath=x.exe\r\n[PreReq1]\r\nName=Second\r\nInstPath=y.exe\r\n", L"0 listed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ini);
        WriteSetupIni(row.ini);
        PrerequisiteList list(1);
        row.post ? ReadPostRequisites(L"PreReq%d", list) : ReadPrerequisites(L"PreReq%d", list);
        EXPECT_NE(Describe(list).find(row.expected), std::wstring::npos) << testing::PrintToString(Describe(list));
    }
}

// Which sections are listed ("+": counted as present, "-": missing): every number 0 … 99,
// gaps allowed; the first kind of condition decides (file, product, registry, tool); PATH can
// only make a component present; bitness and version bounds limit a record, but an entry that
// removes something is always listed.
TEST_F(RunTest, PrerequisitesAreListedByTheirFirstKindOfCondition)
{
    SetRegistryText(L"One", L"1");
    wchar_t oldPath[32767];
    const DWORD oldPathLength = GetEnvironmentVariableW(L"Path", oldPath, 32767);
    SetEnvironmentVariableW(L"Path", GetModulePath(false, false).c_str());
    const std::string bounds = Missing(0, "Only32", "OSbit=1\r\n") + Missing(1, "Only64", "OSbit=2\r\n") +
                               Missing(2, "Remove64", "OSbit=2\r\nIsUninstall=1\r\n") + Missing(3, "AtLeast7", "OSver=601\r\n") +
                               Missing(4, "AtMost7", "OSver=-601\r\n") + Missing(5, "Any", "OSver=x601\r\n");
    const struct {
        bool x86;
        DWORD minor;  // of Windows 6.x
        bool versionFails;
        std::string ini;
        std::wstring listed;
    } rows[] = {
        {false, 1, false,
         Missing(0, "Zero") + Missing(2, "Two") + Missing(99, "Ninety-nine") + Missing(100, "Hundred") +
             "[PreReq3]\r\nUrl=http://x\r\nInstPath=x.exe\r\nFilePath=C:\\no-such-folder\\x.dll\r\n",
         L"Zero- Two- Ninety-nine- "},
        {false, 1, false,
         "[PreReq0]\r\nName=FileOk\r\nInstPath=x.exe\r\nFilePath=#System#\\kernel32.dll\r\nFileVer=1.0\r\nRegPath=" + kOne +
             "\r\nRegCond=STRING=2\r\n[PreReq1]\r\nName=FileOld\r\nInstPath=x.exe\r\nFilePath=#System#\\kernel32.dll\r\n"
             "FileVer=999.0\r\n"
             // A package that cannot be read must be installed, but was not found missing.
             "[PreReq2]\r\nName=Package\r\nInstPath=C:\\no-such-folder\\p.msi\r\nMsiProd=1\r\nRegPath=" + kOne +
             "\r\nRegCond=STRING=1\r\n[PreReq3]\r\nName=RegOk\r\nInstPath=x.exe\r\nRegPath=" + kOne + "\r\nRegCond=STRING=2\r\n"
             "RegPath7=" + kOne + "\r\nRegCond7=STRING=1\r\nRunExeCond=C:\\no-such-folder\\check.exe\r\n"
             "[PreReq4]\r\nName=RegMissing\r\nInstPath=x.exe\r\nRegPath=" + kOne + "\r\nRegCond=STRING=2\r\n"
             "[PreReq5]\r\nName=Stavora Tool\r\nInstPath=x.exe\r\nRunExeCond=C:\\no-such-folder\\check.exe\r\n"
             "[PreReq6]\r\nName=NoCondition\r\nInstPath=x.exe\r\n[PreReq7]\r\nName=Remove\r\nInstPath=x.exe\r\nIsUninstall=1\r\n",
         L"FileOld- Package+ RegMissing- Remove+ "},
        {false, 1, false,
         "[PreReq0]\r\nName=PathOnlyFound\r\nInstPath=x.exe\r\nSkipIfFoundInPath=unit_tests.exe\r\n"
         "[PreReq1]\r\nName=PathOnlyMissing\r\nInstPath=x.exe\r\nSkipIfFoundInPath=other.exe\r\n" +
             Missing(2, "FoundBeforeFile", "SkipIfFoundInPath= other.exe ; unit_tests.exe\r\n") +
             Missing(3, "NotFoundThenFile", "SkipIfFoundInPath=other.exe\r\n"),
         L"NotFoundThenFile- "},
        {false, 1, false, bounds, L"Only64- Remove64- AtLeast7- AtMost7- Any- "},
        // 32-bit Windows 8 (also what Windows 10 says to this program), Vista, and an unknown version.
        {true, 2, false, bounds, L"Only32- Remove64- AtLeast7- Any- "},
        {true, 0, false, bounds, L"Only32- Remove64- AtMost7- Any- "},
        {true, 1, true, bounds, L"Only32- Remove64- Any- "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ini);
        Fake().nativeArchitecture = row.x86 ? PROCESSOR_ARCHITECTURE_INTEL : PROCESSOR_ARCHITECTURE_AMD64;
        Fake().minor = row.minor;
        Fake().versionCallFails = row.versionFails;
        WriteSetupIni(row.ini);
        PrerequisiteList list;
        ReadPrerequisites(L"PreReq%d", list);
        std::wstring listed;
        for (const PrerequisiteInfo& record : list)
            listed += record.Name + (record.Installed ? L"+ " : L"- ");
        EXPECT_EQ(listed, row.listed);
    }
    SetEnvironmentVariableW(L"Path", oldPathLength ? oldPath : nullptr);
}

// A checking tool decides only for the "Stavora" family, by its exit code: 1 present, 2 and 4
// update with the tool's text, 3 install with the text, any other install. A tool that cannot
// run, and any other family, leave the component present. A row's outcome: the answer, Installed,
// ConditionText and UpdateMode.
TEST_F(RunTest, CheckingToolExitCodesDecideTheStavoraFamily)
{
    const std::wstring stavora = L"Stavora Runtime";
    const struct {
        std::wstring name;
        int exitCode;  // -1: the tool is missing
        const wchar_t* outcome;
    } rows[] = {{stavora, 0, L"1 0 before 0"}, {stavora, 1, L"0 1 before 0"}, {stavora, 2, L"1 0 text 1"},
                {stavora, 3, L"1 0 text 0"},   {stavora, 4, L"1 0 text 1"},   {stavora, 5, L"1 0 before 0"},
                {stavora, 1603, L"1 0 before 0"}, {stavora, -1, L"0 1 before 0"}, {L"Other Runtime", 3, L"0 1 before 0"},
                {L"stavora Runtime", 3, L"0 1 before 0"}, {L"Stavor", 3, L"0 1 before 0"}};
    for (const auto& row : rows) {
        PrerequisiteInfo record;
        record.Name = row.name, record.Installed = true, record.ConditionText = L"before";
        record.RunExeCond = row.exitCode < 0 ? L"C:\\no-such-folder\\check.exe"
                                             : L"\"#Root#\\component_tool.exe\" --print \"text\\r\\n\" --exit " + std::to_wstring(row.exitCode);
        const bool missing = CheckRunExeCondition(record);
        EXPECT_EQ(Format(L"%d %d %s %d", missing, record.Installed, record.ConditionText.c_str(), record.UpdateMode), row.outcome)
            << testing::PrintToString(row.name) << " exit " << row.exitCode;
    }
}

// A tool's standard output and error share one pipe, read while it runs in 4096-byte chunks, each
// written over the last from the start: the text is UTF-8 up to the first zero byte, trimmed. A
// process the tool leaves behind holding the pipe is not waited for.
TEST_F(RunTest, CheckingToolTextIsTheLastChunkUpToItsFirstZeroByte)
{
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, L"SetupLauncherTestsGrandchild"));
    const struct {
        const wchar_t* options;
        std::wstring text;
        DWORD exitCode;
    } rows[] = {
        {L"--print \"\\r\\n\\t status:  \" --print-err \"3 of 4\\r\\n\" --exit 2", L"status:  3 of 4", 2}, {L"--exit -1", L"", 0xFFFFFFFF},
        {L"--print \" \\t\\r\\n \"", L"", 0}, {L"--print \"shown\\0 hidden\"", L"shown", 0},
        {L"--print \"\\xD0\\x9F\\xD1\\x80\\xD0\\xB8 \\xE6\\x97\\xA5 \\xF0\\x9F\\x98\\x80\"", L"\x041F\x0440\x0438 \x65E5 \xD83D\xDE00", 0},
        {L"--print-bytes 4096", std::wstring(4096, L'A'), 0},  // a full chunk ends at the buffer's end
        {L"--print-bytes 4100", L"BBBB" + std::wstring(4092, L'A'), 0}, {L"--print-bytes 8192", std::wstring(4096, L'B'), 0},
        {L"--print-bytes 4096 --print \" last words\\r\\n\"", L"last words\r\n" + std::wstring(4096 - 13, L'A'), 0},
        {L"--print tool --spawn \"--wait-event SetupLauncherTestsGrandchild --print late\" --exit 4", L"tool", 4},
    };
    for (const auto& row : rows) {
        std::wstring text = L"before";
        DWORD exitCode = 7;
        EXPECT_TRUE(RunExe(L"\"#Root#\\component_tool.exe\" " + std::wstring(row.options), text, exitCode));
        EXPECT_EQ(text, row.text) << testing::PrintToString(std::wstring(row.options));
        EXPECT_EQ(exitCode, row.exitCode) << testing::PrintToString(std::wstring(row.options));
    }
    SetEvent(release.Get());
}

TEST(ElevatedCommand, SplitsAQuotedProgramOrMsiexecFromItsParameters)
{
    // Exactly one separator after a closing quote is skipped, whatever it is. "-": no such form.
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        {L"msiexec /i \"C:\\R\\a b.msi\" /qn", L"msiexec|/i \"C:\\R\\a b.msi\" /qn"}, {L"MsiExec.exe\t/x {A}", L"MsiExec.exe|/x {A}"},
        {L"\"C:\\Redist\\vc redist.exe\" /q /norestart", L"C:\\Redist\\vc redist.exe|/q /norestart"},
        {L"\"C:\\a.exe\"x/q", L"C:\\a.exe|/q"}, {L"\"C:\\a.exe\"", L"C:\\a.exe|"}, {L"\"C:\\a.exe\" ", L"C:\\a.exe|"},
        {L"msiexec", L"-"}, {L"C:\\a.exe /q", L"-"}, {L"\"C:\\a.exe /q", L"-"}, {L"", L"-"}};
    for (const auto& row : rows) {
        std::wstring program, parameters;
        const bool split = SplitElevatedCommand(row.first, program, parameters);
        EXPECT_EQ(split ? program + L"|" + parameters : L"-", row.second) << testing::PrintToString(std::wstring(row.first));
    }
}

// The pure helpers of the checks: path macros (case-sensitive, a replacement not expanded again),
// lists split at a separator (trimmed when asked, empty items skipped, appended), versions of five
// signed parts (runs of dots separate once) and their equality on four parts.
// Where the system refuses the search flags, a library is loaded again by its full path with the
// altered search path instead of counting as missing; a library that fails otherwise is not.
TEST_F(RunTest, LibrariesLoadWhereTheSystemKnowsNoSearchFlags)
{
    wchar_t system[MAX_PATH];
    const std::wstring folder(system, GetSystemDirectoryW(system, MAX_PATH)), version = folder + L"\\version.dll";
    const DWORD beside = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
    using Loads = std::vector<std::pair<std::wstring, DWORD>>;
    for (const bool known : {true, false}) {
        Fake().searchFlagsKnown = known;
        Fake().loads.clear();
        EXPECT_TRUE(IsValidFileVersion(version, Version{1, 0, 0, 0}, 1)) << known;
        EXPECT_FALSE(IsValidFileVersion(folder + L"\\absent.dll", Version{}, 1)) << known;
        const Loads tried = known ? Loads{{version, beside}, {folder + L"\\absent.dll", beside}}
                                  : Loads{{version, beside}, {version, LOAD_WITH_ALTERED_SEARCH_PATH},
                                          {folder + L"\\absent.dll", beside},
                                          {folder + L"\\absent.dll", LOAD_WITH_ALTERED_SEARCH_PATH}};
        EXPECT_EQ(Fake().loads, tried) << known;
    }
}

TEST(SystemChecks, PathMacrosListsAndFivePartVersions)
{
    wchar_t system[MAX_PATH], common[MAX_PATH] = {};
    const std::wstring systemFolder(system, GetSystemDirectoryW(system, MAX_PATH)), root = GetModulePath(false, false);
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, SHGFP_TYPE_CURRENT, common);
    const auto expand = [](std::wstring path) { return ExpandPathMacros(path), path; };
    const auto twice = [](std::wstring text) { return ReplaceMacro(text, L"#A#", L"x#A#"), text; };
    const auto split = [](const wchar_t* text, wchar_t separator, bool trim) {
        std::vector<std::wstring> items{L"kept"};
        SplitList(text, separator, trim, items);
        std::wstring joined;
        for (const std::wstring& item : items)
            joined += item + L"|";
        return joined;
    };
    const auto parts = [](const wchar_t* text) {
        long part[5] = {9, 9, 9, 9, 9};
        const bool parsed = ParseVersion5(text, part);
        return Format(L"%d:%ld.%ld.%ld.%ld.%ld", parsed, part[0], part[1], part[2], part[3], part[4]);
    };
    const auto equal = [](const wchar_t* a, const wchar_t* b) { return std::wstring(VersionTextEquals(a, b) ? L"equal" : L"not"); };
    const std::pair<std::wstring, std::wstring> rows[] = {
        {expand(L"#System#\\k.dll|#system#|#Root#\\a|#Root#\\b"), systemFolder + L"\\k.dll|#system#|" + root + L"\\a|" + root + L"\\b"},
        {expand(L"#CommonProgramFiles#\\Vendor"), std::wstring(common) + L"\\Vendor"},
        {expand(L"C:\\Tools\\#Temp#\\#InstPath#"), L"C:\\Tools\\#Temp#\\#InstPath#"}, {twice(L"#A#-#A#"), L"x#A#-x#A#"},
        {split(L" a ; b;;c ;", L';', true), L"kept|a|b|c|"}, {split(L" a ; ;c", L';', false), L"kept| a | |c|"},
        {split(L"one", L';', true), L"kept|one|"}, {split(L"", L';', true), L"kept|"}, {split(L" ;\t; ", L';', true), L"kept|"},
        {split(L"x\\y", L'\\', true), L"kept|x|y|"}, {parts(L""), L"0:0.0.0.0.0"}, {parts(L"1.2.3.4.5.6"), L"1:1.2.3.4.5"},
        {parts(L"..7..  -3x.+4.beta"), L"1:7.-3.4.0.0"}, {equal(L"", L""), L"not"}, {equal(L"", L"0.0"), L"equal"},
        {equal(L"1.2", L"1.2.0.0"), L"equal"}, {equal(L"1.2.3.4.5", L"1.2.3.4.9"), L"equal"}, {equal(L"1.2.3.4", L"1.2.3.5"), L"not"}};
    for (const auto& row : rows)
        EXPECT_EQ(row.first, row.second);
}
