#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "config/ini_file.h"
#include "config/setup_ini.h"
#include "test_support.h"
#include "win/text.h"

namespace {

// What the profile functions answer for the setup ini, the way the program read it before it
// had a parser of its own.
std::wstring ProfileString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue)
{
    const unsigned codePage = g_Settings.CodePage;
    const std::string path = WideToAnsi(GetIniPath(), codePage);
    const std::string ansiDefault = WideToAnsi(defaultValue ? defaultValue : L"", codePage);
    char buffer[2048] = {};
    DWORD length = GetPrivateProfileStringA(WideToAnsi(section, codePage).c_str(),
                                            WideToAnsi(key, codePage).c_str(),
                                            defaultValue ? ansiDefault.c_str() : nullptr, buffer,
                                            sizeof(buffer), path.c_str());
    return AnsiToWide(buffer, length, codePage);
}

int ProfileInt(const wchar_t* section, const wchar_t* key, int defaultValue)
{
    return static_cast<int>(GetPrivateProfileIntW(section, key, defaultValue, GetIniPath().c_str()));
}

int ProfileOptional(const wchar_t* section, const wchar_t* key, int defaultValue)
{
    wchar_t buffer[2048] = {};
    DWORD length = GetPrivateProfileSectionW(section, buffer, 2048, GetIniPath().c_str());
    for (const wchar_t* entry = buffer; entry < buffer + length && *entry; entry += wcslen(entry) + 1) {
        const wchar_t* text = entry;
        while (iswspace(*text))
            ++text;
        if (wcsncmp(text, L"Optional", 8) == 0)
            return ProfileInt(section, key, defaultValue);
    }
    return -1;
}

bool IsAscii(const wchar_t* text)
{
    for (; *text; ++text) {
        if (*text > 0x7F)
            return false;
    }
    return true;
}

struct Case {
    const char* name;
    std::string text;
    unsigned codePage;
};

std::vector<Case> Cases()
{
    return {
        {"plain", "[Main]\r\nMsiPath=pkg\\a.msi\r\nAdminNeed=0\r\n", 0},
        {"case", "[MAIN]\r\nmsipath = x.msi \r\nADMINNEED=0\r\n", 0},
        {"duplicates", "[Main]\r\nA=1\r\nA=2\r\n[main]\r\nA=3\r\nB=4\r\n[Other]\r\nA=5\r\n", 0},
        {"blanks", "  [ Main ]  \r\n  Key  =   value with  spaces   \r\n\tTab\t=\t1\t\r\n", 0},
        {"quotes",
         "[Main]\r\nQ1=\"quoted value\"\r\nQ2='single'\r\nQ3=\"unbalanced\r\nQ4=\"\r\nQ5=\"\"\r\n"
         "Q6='mixed\"\r\nQ7=  \"  spaced  \"  \r\nQ8=a\"b\"\r\n",
         0},
        {"long",
         "[Main]\r\nL1=" + std::string(3000, 'x') + "\r\nL2=" + std::string(2047, 'y') + "\r\nL3=" +
             std::string(2048, 'z') + "\r\nL4=\"" + std::string(2100, 'q') + "\"\r\n",
         0},
        {"odd lines",
         "A=outside\r\n[Main]\r\n;A=commented\r\nNoEquals\r\n=nameless\r\n=again\r\n[broken\r\n"
         "A=1\nB=2\rC=3\r\n\x1a D=4 \x1a\r\n[Empty]\r\n[]\r\nE=5\r\n",
         0},
        {"integers",
         "[Main]\r\nI1=42\r\nI2= -7\r\nI3=0x1F\r\nI4=12abc\r\nI5=abc\r\nI6=\"15\"\r\nI7=\r\n"
         "I8=4294967295\r\nI9=+3\r\nI10=0o17\r\nI11=0b101\r\nI12=  99999999999\r\nI13='0X2a'\r\n",
         0},
        {"optional",
         "[PreReq1]\r\nName=A\r\nOptional=0\r\n[PreReq2]\r\nOptional\r\n[PreReq3]\r\n;Optional=0\r\n"
         "OptionalX=5\r\n[PreReq4]\r\nName=B\r\n[PreReq5]\r\noptional=1\r\n[PreReq6]\r\nPad=" +
             std::string(2100, 'p') + "\r\nOptional=0\r\n",
         0},
        {"cyrillic", "[Main]\r\nName=\xCF\xF0\xEE\xE4\xF3\xEA\xF2\r\n[\xD0\xE0\xE7\xE4\xE5\xEB]\r\n"
                     "\xCA\xEB\xFE\xF7=\xE7\xED\xE0\xF7\xE5\xED\xE8\xE5\r\n",
         1251},
        {"names",
         "[Main]\r\nrEgPaTh7=first\r\nRegPath7=second\r\nKey_1=u\r\nA-B=h\r\nMsi.Path=d\r\n[Sec-1]\r\n"
         "A=s\r\n[SEC-1]\r\nA=t\r\n[PREREQ12]\r\nB=p\r\n[PreReq12]\r\nB=q\r\n",
         0},
        {"empty", "", 0},
    };
}

const wchar_t* const kSections[] = {L"Main",    L"main ",   L"Other",   L"Empty",   L"",
                                    L"Missing", L"PreReq1", L"PreReq2", L"PreReq3", L"PreReq4",
                                    L"PreReq5", L"PreReq6", L"\x0420\x0430\x0437\x0434\x0435\x043B",
                                    L"sec-1",   L"prereq12"};
const wchar_t* const kKeys[] = {
    L"MsiPath", L"AdminNeed", L"A",  L"B",  L"C",  L"D",  L"E",   L"Key", L"Tab",  L"Q1",  L"Q2",
    L"Q3",      L"Q4",        L"Q5", L"Q6", L"Q7", L"Q8", L"L1",  L"L2",  L"L3",   L"L4",  L";A",
    L"NoEquals", L"",         L"I1", L"I2", L"I3", L"I4", L"I5",  L"I6",  L"I7",   L"I8",  L"I9",
    L"I10",     L"I11",       L"I12", L"I13", L"Name", L"Optional", L" Key ", L"\x041A\x043B\x044E\x0447",
    L"RegPath7", L"KEY_1",    L"a-b", L"MSI.PATH"};

}  // namespace

TEST(IniFileDifferential, AnswersLikeTheProfileFunctions)
{
    size_t padding = 0;
    for (const Case& c : Cases()) {
        // Each file is larger than the one before, so the parsed copy can't be taken for stale.
        padding += 4096;
        SetupIniFile file(std::string(padding, '\n') + c.text);
        g_Settings.CodePage = c.codePage;
        for (const wchar_t* section : kSections) {
            for (const wchar_t* key : kKeys) {
                SCOPED_TRACE(testing::Message() << c.name << " [" << WideToAnsi(section, CP_UTF8)
                                                << "] " << WideToAnsi(key, CP_UTF8));
                EXPECT_EQ(IniReadString(section, key, nullptr), ProfileString(section, key, nullptr));
                EXPECT_EQ(IniReadString(section, key, L"Dflt"), ProfileString(section, key, L"Dflt"));
                // The wide profile function reads the file in the system's code page, so its
                // answers for names outside ASCII are not the reference.
                if (IsAscii(section) && IsAscii(key)) {
                    EXPECT_EQ(IniReadInt(section, key, 77), ProfileInt(section, key, 77));
                }
            }
            EXPECT_EQ(IniReadOptional(section, L"Optional", 1), ProfileOptional(section, L"Optional", 1))
                << c.name << " " << WideToAnsi(section, CP_UTF8);
        }
    }
    g_Settings.CodePage = 0;
}

TEST(IniFileDifferential, MissingFileReadsAsDefaults)
{
    DeleteFileW(GetIniPath().c_str());
    EXPECT_EQ(IniReadString(L"Main", L"MsiType", L"Install"), ProfileString(L"Main", L"MsiType", L"Install"));
    EXPECT_EQ(IniReadInt(L"Main", L"AdminNeed", 1), 1);
    EXPECT_EQ(IniReadOptional(L"PreReq1", L"Optional", 1), -1);
}

TEST(IniFileCache, ReparsesOnlyWhenTheFileChanges)
{
    ScratchFolder scratch;
    const std::wstring path = scratch.File(L"cache.ini");
    WriteBytes(path, "[Main]\r\nA=1\r\n");
    const IniFile* first = CachedIni(path, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first->Find(L"Main", L"A"), nullptr);
    EXPECT_EQ(*first->Find(L"Main", L"A"), L"1");
    WriteBytes(path, "[Main]\r\nA=22\r\n");
    const IniFile* second = CachedIni(path, 0);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(*second->Find(L"Main", L"A"), L"22");
    DeleteFileW(path.c_str());
    EXPECT_EQ(CachedIni(path, 0), nullptr);
}
