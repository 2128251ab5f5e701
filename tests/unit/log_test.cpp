#include <gtest/gtest.h>

#include <algorithm>

#include "app/settings.h"
#include "fake_platform.h"
#include "log/error_text.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "msi/installer.h"
#include "resources/string_ids.h"
#include "test_support.h"

namespace {

class NamedInstaller : public CInstaller {
public:
    NamedInstaller(std::wstring name, std::wstring neutral) : name_(name), neutral_(neutral) {}
    bool Install(bool&) override { return true; }
    bool Prepare() override { return true; }
    std::wstring GetProductName() override { return name_; }
    std::wstring GetProductNameLangNeutral() override { return neutral_; }
    std::wstring GetProductVersion() override { return L"1.0"; }
    std::wstring GetTitle() override { return L"T"; }
    bool CheckOperationType() override { return true; }

private:
    std::wstring name_;
    std::wstring neutral_;
};

std::wstring TempFolder()
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return folder;
}

using LogTest = RunTest;

}  // namespace

TEST_F(LogTest, NewFileStartsWithByteOrderMarkAndStampedLine)
{
    ASSERT_TRUE(LogLine(L"first\r\n"));
    ASSERT_TRUE(LogLine(L"\r\n\r\n", false));
    LogPrintf(L"%s=%d\r\n", L"value", 42);

    std::string bytes = ReadBytes(g_Settings.LogPath);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xFE);
    EXPECT_EQ(ReadLogText(g_Settings.LogPath),
              L"Setup.exe [2026.12.04 16:44:05]: first\r\n"
              L"\r\n\r\n"
              L"Setup.exe [2026.12.04 16:44:05]: value=42\r\n");
}

TEST_F(LogTest, BurstKeepsTheLogOpenButEveryLineLandsAtOnce)
{
    const std::wstring other = g_Settings.LogPath + L".other";
    {
        const CLogBurst burst;
        ASSERT_TRUE(LogLine(L"one\r\n"));
        {
            const CLogBurst inner;
            ASSERT_TRUE(LogLine(L"two\r\n", false));
        }
        // Readable while held, and nobody can delete it from under the run.
        EXPECT_EQ(ReadLogText(g_Settings.LogPath), L"Setup.exe [2026.12.04 16:44:05]: one\r\ntwo\r\n");
        EXPECT_FALSE(DeleteFileW(g_Settings.LogPath.c_str()));
        // Another file meanwhile is opened and closed for its line.
        ASSERT_TRUE(WriteLog(other, L"elsewhere\r\n", false));
        EXPECT_TRUE(DeleteFileW(other.c_str()));
        ASSERT_TRUE(LogLine(L"three\r\n", false));
    }
    // Closed with the outer burst: a new file starts with its mark again.
    EXPECT_EQ(ReadLogText(g_Settings.LogPath), L"Setup.exe [2026.12.04 16:44:05]: one\r\ntwo\r\nthree\r\n");
    EXPECT_TRUE(DeleteFileW(g_Settings.LogPath.c_str()));
    {
        const CLogBurst burst;
        ASSERT_TRUE(LogLine(L"four\r\n", false));
        ASSERT_TRUE(LogLine(L"five\r\n", false));
    }
    const std::string bytes = ReadBytes(g_Settings.LogPath);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(ReadLogText(g_Settings.LogPath), L"four\r\nfive\r\n");
}

TEST_F(LogTest, WritesWithoutUsablePathFailQuietly)
{
    g_Settings.LogPath.clear();
    EXPECT_FALSE(LogLine(L"lost\r\n"));
    EXPECT_FALSE(WriteLog(scratch.File(L"missing\\folder.log"), L"x", true));
}

TEST_F(LogTest, LogPathNamesProductKindAndMinute)
{
    NamedInstaller installer(L"Sample Product", L"Neutral");
    EXPECT_EQ(ComputeLogPath(installer), TempFolder() + L"Sample Product Setup (2026.12.04 16.44).log");
    g_Settings.Mode = ModeDeploy;
    EXPECT_EQ(ComputeLogPath(installer),
              TempFolder() + L"Sample Product Deployment (2026.12.04 16.44).log");
    // The probes leave nothing behind.
    EXPECT_EQ(GetFileAttributesW((TempFolder() + L"Sample Product.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LogTest, LogPathFallsBackToNeutralNameThenToDollarSigns)
{
    NamedInstaller neutral(L"What?Product", L"Neutral Name");
    EXPECT_EQ(ComputeLogPath(neutral), TempFolder() + L"Neutral Name Setup (2026.12.04 16.44).log");
    NamedInstaller noNeutral(L"What?Product", L"");
    EXPECT_EQ(ComputeLogPath(noNeutral), TempFolder() + L"What$Product Setup (2026.12.04 16.44).log");
    NamedInstaller hopeless(L"a|b", L"");
    EXPECT_EQ(ComputeLogPath(hopeless), L"");
}

TEST_F(LogTest, ReportMessageLogsAlwaysAndShowsOnlyAtFullLevel)
{
    g_Settings.UILevel = kUILevelFull;
    Fake().answers = {IDNO};
    EXPECT_EQ(ReportMessage(g_Settings, nullptr, L"Question?", L"Caption", MB_YESNO), IDNO);
    ASSERT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(Fake().boxes[0].text, L"Question?");
    EXPECT_EQ(Fake().boxes[0].caption, L"Caption");
    EXPECT_EQ(Fake().boxes[0].flags, static_cast<UINT>(MB_YESNO));

    g_Settings.UILevel = kUILevelBasicProgress;
    EXPECT_EQ(ReportMessage(g_Settings, nullptr, L"Quiet", L"Caption", MB_YESNO), IDOK);
    EXPECT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(ReadLogText(g_Settings.LogPath),
              L"Setup.exe [2026.12.04 16:44:05]: Question?\r\n"
              L"Setup.exe [2026.12.04 16:44:05]: Quiet\r\n");
}

TEST_F(LogTest, ShowMessageNeverLogsAndDefaultsItsCaption)
{
    g_Settings.UILevel = kUILevelFull;
    ShowMessage(L"Shown", L"", MB_ICONERROR, nullptr);
    ASSERT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(Fake().boxes[0].caption, L"Installation Error");
    g_Settings.UILevel = kUILevelNone;
    EXPECT_EQ(ShowMessage(L"Hidden", L"C", MB_ICONERROR, nullptr), IDOK);
    EXPECT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(GetFileAttributesW(g_Settings.LogPath.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Texts, ComeFromTheExactLanguageBlockOrTheNeutralOne)
{
    EXPECT_EQ(LoadTextIn(IDS_INSTALLATION_ERROR, 0x0409), L"Installation Error");
    EXPECT_EQ(LoadTextIn(IDS_USAGE_CAPTION, 0x0407), L"Usage Info");
    const std::wstring russian = LoadTextIn(IDS_USAGE_CAPTION, 0x0419);
    EXPECT_NE(russian, L"Usage Info");
    EXPECT_GE(russian[0], 0x0400);
    EXPECT_LE(russian[0], 0x04FF);
    const std::wstring japanese = LoadTextIn(IDS_INSTALLATION_ERROR, 0x0411);
    EXPECT_GE(japanese[0], 0x3000);
    EXPECT_NE(LoadTextIn(IDS_INSTALLATION_ERROR, 0x0410), L"Installation Error");
    EXPECT_EQ(LoadTextIn(4000, 0x0409), L"");
}

namespace {

bool HasWords(const std::wstring& text)
{
    int letters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool directive = i > 0 && text[i - 1] == L'%';
        if (!directive && iswalpha(text[i]))
            ++letters;
    }
    return letters >= 2;
}

}  // namespace

TEST(Texts, EveryLanguageHasEveryText)
{
    const LANGID translations[] = {0x0410, 0x0411, 0x0419};
    unsigned english = 0;
    for (unsigned id = 100; id < 300; ++id) {
        const std::wstring text = LoadTextIn(id, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
        if (text.empty())
            continue;
        ++english;
        const size_t directives = std::count(text.begin(), text.end(), L'%');
        for (LANGID language : translations) {
            const std::wstring translated = LoadTextIn(id, language);
            EXPECT_FALSE(translated.empty()) << id << " in " << language;
            // Japanese and Russian texts with words in them never read like the English ones.
            if (language != 0x0410 && HasWords(text)) {
                EXPECT_NE(translated, text) << id << " in " << language;
            }
            EXPECT_EQ(std::count(translated.begin(), translated.end(), L'%'), directives)
                << id << " in " << language;
        }
    }
    EXPECT_GE(english, 80u);
}

TEST(Texts, KeepControlCharactersOfTheTable)
{
    EXPECT_EQ(LoadTextIn(IDS_INI_NOT_FOUND, 0x0409), L"Can't find ini file:\r\n'%s'");
    const std::wstring usage = LoadTextIn(IDS_USAGE_TEXT, 0x0409);
    EXPECT_EQ(usage.rfind(L"Usage:\n   setup.exe /option [optional parameter]\n\nInstall Options\n", 0), 0u);
    EXPECT_NE(usage.find(L"\n   /i\tPerform an install.\n"), std::wstring::npos);
    const std::wstring example = L"\n\nExample: setup.exe /i /passive ABC=DEF";
    ASSERT_GT(usage.size(), example.size());
    EXPECT_EQ(usage.substr(usage.size() - example.size()), example);
    EXPECT_EQ(LoadTextIn(IDS_CANT_COPY_FILE, 0x0409), L"Can't copy file:\nfrom '%s'\nto   '%s'\n\n%s");
}

TEST(ErrorTexts, NameTheCodeAndTheSystemText)
{
    EXPECT_EQ(SystemErrorText(0x2FFFFFFF), L"Unknown error 0x2FFFFFFF");
    const std::wstring system = SystemErrorText(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(system.empty());
    EXPECT_NE(system.back(), L'\n');
    EXPECT_NE(system.back(), L'\r');
    EXPECT_EQ(ErrorText(ERROR_ACCESS_DENIED), L"Error(5) '" + system + L"'");
    EXPECT_EQ(ErrorTextCaptioned(ERROR_ACCESS_DENIED), L"Error(5) '" + system + L"'");
}
