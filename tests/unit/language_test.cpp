#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "config/language.h"
#include "config/setup_ini.h"
#include "fake_platform.h"
#include "test_support.h"

namespace {

// Transforms lie beside the program, here the test program.
class LanguageTest : public RunTest {
protected:
    void TearDown() override
    {
        for (const std::wstring& path : transforms_)
            DeleteFileW(path.c_str());
        RunTest::TearDown();
    }

    std::wstring AddTransform(const wchar_t* name)
    {
        transforms_.push_back(GetModulePath(false, true) + name);
        WriteBytes(transforms_.back(), "mst");
        return transforms_.back();
    }

    std::wstring Log() const { return ReadLogText(g_Settings.LogPath); }

    static std::wstring Line(const std::wstring& text) { return L"Setup.exe [2026.12.04 16:44:05]: " + text + L"\r\n"; }

private:
    std::vector<std::wstring> transforms_;
};

}  // namespace

TEST(PrimaryLanguage, KeepsTheChineseScriptsApart)
{
    EXPECT_EQ(PrimaryLanguage(0xFFFFFFFF), 0u);
    EXPECT_EQ(PrimaryLanguage(2057), 9u);
    EXPECT_EQ(PrimaryLanguage(3082), 10u);
    EXPECT_EQ(PrimaryLanguage(1049), 25u);
    EXPECT_EQ(PrimaryLanguage(4100), 2052u);
    EXPECT_EQ(PrimaryLanguage(2052), 2052u);
    EXPECT_EQ(PrimaryLanguage(5124), 1028u);
    EXPECT_EQ(PrimaryLanguage(3076), 1028u);
    EXPECT_EQ(PrimaryLanguage(1028), 1028u);
    EXPECT_EQ(PrimaryLanguage(0x7C04), 4u);
    EXPECT_EQ(PrimaryLanguage(4), 4u);
}

TEST_F(LanguageTest, IniLanguageWithItsTransform)
{
    SetupIniFile ini("[Main]\r\nLangId=1049\r\n");
    const std::wstring russian = AddTransform(L"1049.mst");
    AddTransform(L"1033.mst");
    SelectLanguageTransform(g_Settings);
    EXPECT_EQ(g_Settings.LangId, 1049u);
    EXPECT_EQ(g_Settings.Transform, russian);
    EXPECT_EQ(Log(), Line(L"LangId 1049 is set from ini file"));
}

TEST_F(LanguageTest, IniLanguageWithoutItsTransformDoesNotFallBack)
{
    SetupIniFile ini("[Main]\r\nLangId=1049\r\n");
    Fake().userLanguage = 1033;
    AddTransform(L"1033.mst");
    SelectLanguageTransform(g_Settings);
    EXPECT_EQ(g_Settings.LangId, 1049u);
    EXPECT_EQ(g_Settings.Transform, L"");
    EXPECT_EQ(Log(), Line(L"LangId 1049 is set from ini file") + Line(L"LangId transform not found"));
}

TEST_F(LanguageTest, UserLanguageFallsBackToItsPrimaryLanguage)
{
    SetupIniFile ini("[Main]\r\nLangId=0\r\n");
    Fake().userLanguage = 2057;
    const std::wstring english = AddTransform(L"1033.mst");
    SelectLanguageTransform(g_Settings);
    EXPECT_EQ(g_Settings.LangId, 1033u);
    EXPECT_EQ(g_Settings.Transform, english);
    EXPECT_EQ(Log(), Line(L"User LangId is 2057") +
                         Line(L"Language transform for LangId 2057 not found, trying primary language") +
                         Line(L"Primary LangId is 1033"));
}

TEST_F(LanguageTest, UserLanguageWithoutAnyTransform)
{
    SetupIniFile ini("[Main]\r\n");
    Fake().userLanguage = 1049;
    SelectLanguageTransform(g_Settings);
    EXPECT_EQ(g_Settings.LangId, 1049u);
    EXPECT_EQ(g_Settings.Transform, L"");
    EXPECT_EQ(Log(), Line(L"User LangId is 1049") +
                         Line(L"Language transform for LangId 1049 not found, trying primary language") +
                         Line(L"Primary LangId is 1049") + Line(L"Primary LangId transform not found"));
}

TEST_F(LanguageTest, ChineseFallsBackWithinItsScript)
{
    SetupIniFile ini("[Main]\r\n");
    Fake().userLanguage = 4100;  // Chinese (Singapore), simplified script
    AddTransform(L"2052.mst");
    const std::wstring traditional = AddTransform(L"3076.mst");
    SelectLanguageTransform(g_Settings);
    // 2052 | 0x400 is the Hong Kong identifier: the fallback names that file.
    EXPECT_EQ(g_Settings.LangId, 3076u);
    EXPECT_EQ(g_Settings.Transform, traditional);
}

TEST_F(LanguageTest, UserLanguageWithItsOwnTransform)
{
    SetupIniFile ini("[Main]\r\n");
    Fake().userLanguage = 1041;
    const std::wstring japanese = AddTransform(L"1041.mst");
    SelectLanguageTransform(g_Settings);
    EXPECT_EQ(g_Settings.Transform, japanese);
    EXPECT_EQ(Log(), Line(L"User LangId is 1041"));
}
