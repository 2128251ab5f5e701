#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

#include <windows.h>
#include <commctrl.h>

#include "app/settings.h"
#include "config/setup_ini.h"
#include "log/error_text.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "log/version.h"
#include "msi/installer_msi.h"
#include "msi/package_info.h"
#include "report/log_mail.h"
#include "support.h"
#include "win/format.h"
#include "win/handles.h"
#include "win/hyperlink.h"

TEST(Format, FollowsMicrosoftConventionsAndCutsAt4095Characters)
{
    const std::pair<std::wstring, std::wstring> rows[] = {
        {Format(L"'%s' and '%S'", L"wide", "narrow"), L"'wide' and 'narrow'"},
        {Format(L"%#x|%08X|%I64u", 255u, 0x4D2u, 18446744073709551615ull), L"0xff|000004D2|18446744073709551615"},
        {Format(L"%04d.%02d", 7, 3), L"0007.03"},
        {Format(L"<%s>", std::wstring(5000, L'x').c_str()), L"<" + std::wstring(4094, L'x')},
        {Format(L"%s", std::wstring(4095, L'y').c_str()), std::wstring(4095, L'y')},
        {SystemErrorText(0x2FFFFFFF), L"Unknown error 0x2FFFFFFF"},
        // The system's text without its line end, in the log's and the message's forms.
        {ErrorText(ERROR_ACCESS_DENIED), L"Error(5) '" + SystemErrorText(ERROR_ACCESS_DENIED) + L"'"},
        {ErrorTextCaptioned(ERROR_ACCESS_DENIED), ErrorText(ERROR_ACCESS_DENIED)},
        {SystemErrorText(ERROR_ACCESS_DENIED).find_first_of(L"\r\n") == std::wstring::npos ? L"one line" : L"", L"one line"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.first, row.second);
}

TEST(Version, ParsedToFourSixteenBitPartsAndComparedUnsigned)
{
    const struct {
        const wchar_t *text, *parsed, *other;
        int order;  // of text against other
    } rows[] = {
        {L"10.0.19041", L"10.0.19041.0", L"10.0.19041.0", 0}, {L"1.2", L"1.2.0.0", L"1.10", -1},
        {L"", L"0.0.0.0", L"0", 0},                           {L"3beta.x.7.8.9", L"3.0.7.8", L"3.0.7.9", -1},
        {L"65537.65535", L"1.65535.0.0", L"1.65534.9", 1},    {L"2.0.0.1", L"2.0.0.1", L"2.0", 1},
        {L"40000", L"40000.0.0.0", L"30000.9", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "version " << testing::PrintToString(std::wstring(row.text)));
        EXPECT_EQ(VersionText(ParseVersion(row.text)), row.parsed);
        EXPECT_EQ(CompareVersion(ParseVersion(row.text), ParseVersion(row.other)), row.order);
        EXPECT_EQ(CompareVersion(ParseVersion(row.other), ParseVersion(row.text)), -row.order);
    }
}

// Every text of the neutral table is in every translation (Japanese and Russian ones never read
// like the English), with as many printf directives: one too many reads an argument not passed.
TEST(Texts, EveryTranslationHasEveryTextAndItsDirectives)
{
    unsigned texts = 0;
    for (unsigned id = 100; id < 300; ++id) {
        const std::wstring english = LoadTextIn(id, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
        int letters = 0;
        for (size_t i = 0; i < english.size(); ++i)
            letters += iswalpha(english[i]) && (i == 0 || english[i - 1] != L'%');
        for (LANGID language : {0x0410, 0x0411, 0x0419}) {
            const std::wstring text = LoadTextIn(id, language);
            EXPECT_EQ(text.empty(), english.empty()) << "text " << id << " in " << language;
            EXPECT_TRUE(language == 0x0410 || letters < 2 || text != english) << "text " << id << " in " << language;
            EXPECT_EQ(std::count(text.begin(), text.end(), L'%'), std::count(english.begin(), english.end(), L'%'))
                << "text " << id << " in " << language;
        }
        texts += !english.empty();
    }
    EXPECT_GE(texts, 80u);
}

// Every text a template's button or label shows fits it in every language, measured with the
// dialog's font: a button's text within its edges and focus mark, a check box's beside its box, a
// label's lines, wrapped as the control wraps them, within its height.
TEST(Texts, FitTheirControlsInEveryLanguage)
{
    enum Kind { Label, Title, Push, Check };  // Title: a label in the 12-point header font
    const struct { int dialog, control; Kind kind; unsigned text; } rows[] = {
        {129, IDOK, Push, 130}, {129, IDOK, Push, 257}, {129, IDCANCEL, Push, 131}, {129, 1001, Label, 129},
        {129, 1001, Label, 254}, {201, IDOK, Push, 148}, {201, IDCANCEL, Push, 131}, {201, 1004, Label, 150},
        {201, 1004, Label, 164}, {201, 1005, Label, 151}, {215, 10015, Title, 170}, {215, 10016, Label, 171},
        {223, 10031, Check, 181}, {221, 10018, Label, 174}, {221, 10020, Push, 175}, {219, 10028, Push, 189},
        {225, 10044, Label, 260}, {225, 10043, Label, 261}, {220, 10029, Label, 192}, {224, 10035, Label, 193},
        {224, 10036, Label, 194}, {224, 10036, Label, 206}, {224, 10034, Label, 195}, {224, 10034, Label, 207},
        {216, 10038, Title, 197}, {216, 10038, Title, 196}, {216, 10039, Label, 198}};
    UniqueLibrary richEdit(LoadLibraryW(L"riched20.dll"));  // the licence page's control class
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    const HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    for (const auto& row : rows) {
        const HWND dialog = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(row.dialog), owner, nullptr, 0);
        const HWND control = GetDlgItem(dialog, row.control);
        ASSERT_TRUE(control) << "dialog " << row.dialog << " control " << row.control;
        RECT box;
        GetClientRect(control, &box);
        const HDC dc = GetDC(control);
        LOGFONTW description = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(description), &description);
        if (row.kind == Title)
            description.lfHeight = -MulDiv(12, GetDeviceCaps(dc, LOGPIXELSY), 72);
        UniqueFont font(CreateFontIndirectW(&description));
        SelectObject(dc, font.Get());
        const int own = row.kind == Push ? 2 * GetSystemMetrics(SM_CXEDGE) + 2
                        : row.kind == Check ? GetSystemMetrics(SM_CXMENUCHECK) + 2 * GetSystemMetrics(SM_CXEDGE) : 0;
        for (LANGID language : {MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), 0x0410, 0x0411, 0x0419}) {
            const wchar_t* product = L"Sample Product";
            const std::wstring text = Format(LoadTextIn(row.text, language).c_str(), product, product, product);
            RECT need = {0, 0, box.right - own, 0};
            DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | (row.kind <= Title ? DT_WORDBREAK | DT_EXPANDTABS : DT_SINGLELINE));
            EXPECT_TRUE(need.right <= box.right - own && need.bottom <= box.bottom)
                << "dialog " << row.dialog << " control " << row.control << " in " << language << ": "
                << testing::PrintToString(text) << " needs " << need.right + own << " x " << need.bottom;
        }
        ReleaseDC(control, dc);
        DestroyWindow(dialog);
    }
    DestroyWindow(owner);
}

// On a high-contrast scheme the link has the system's link colour, visited or not.
TEST(HyperLinkColors, AreTheSystemsLinkColourInHighContrast)
{
    for (bool high : {false, true}) {
        Fake().highContrast = high;
        CHyperLink link;
        ASSERT_TRUE(link.Subclass(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr)));
        EXPECT_EQ(link.LinkColor() == GetSysColor(COLOR_HOTLIGHT) && link.VisitedColor() == link.LinkColor(), high);
        DestroyWindow(link.Handle());
    }
    Fake().highContrast = false;
}

using Report = RunTest;

// The log's name: product name, kind of run and minute, directly in the temporary folder; a name
// that cannot be a file name gives way to the language-neutral name, then "?" becomes "$" and the
// other characters a file name cannot hold "_", path separators included.
TEST_F(Report, LogNameFallsBackToTheNeutralNameThenToDollarSigns)
{
    wchar_t temp[MAX_PATH];
    const std::wstring folder(temp, GetTempPathW(MAX_PATH, temp));
    const std::wstring longName(235, L'P');  // fits alone, not with the rest of the log's name
    const struct {
        const wchar_t *name, *neutral;
        int mode;
        const wchar_t* expected;  // empty: no usable name
    } rows[] = {
        {L"Sample Product", L"Neutral", ModeInstall, L"Sample Product Setup (2026.12.04 16.44).log"},
        {L"Sample Product", L"Neutral", ModeDeploy, L"Sample Product Deployment (2026.12.04 16.44).log"},
        {L"What?Product", L"Neutral Name", ModeInstall, L"Neutral Name Setup (2026.12.04 16.44).log"},
        {L"What?Product", L"", ModeInstall, L"What$Product Setup (2026.12.04 16.44).log"},
        {L"a|b", L"", ModeInstall, L"a_b Setup (2026.12.04 16.44).log"},
        {L"..\\..\\..\\windows\\evil", L"", ModeInstall, L".._.._.._windows_evil Setup (2026.12.04 16.44).log"},
        {L"C:\\Windows\\evil", L"Neutral", ModeInstall, L"Neutral Setup (2026.12.04 16.44).log"},
        {L"x/y", L"..\\z", ModeInstall, L"x_y Setup (2026.12.04 16.44).log"},
        {L"*", L"", ModeInstall, L"BootStrapper Setup (2026.12.04 16.44).log"},
        {L"\\..", L"", ModeInstall, L"BootStrapper Setup (2026.12.04 16.44).log"},
        {longName.c_str(), L"Neutral", ModeInstall, L"Neutral Setup (2026.12.04 16.44).log"},
        {longName.c_str(), L"", ModeInstall, L"BootStrapper Setup (2026.12.04 16.44).log"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "product " << testing::PrintToString(std::wstring(row.name)));
        g_Settings.Mode = row.mode;
        g_PackageInfo.ProductName = row.name, g_PackageInfo.ProductNameLangNeutral = row.neutral;
        CInstallerMsi installer;
        const std::wstring path = ComputeLogPath(installer);
        EXPECT_EQ(path, *row.expected ? folder + row.expected : L"");
        // The probe is gone again; a log already there (a run in the same minute) stays.
        EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
        CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        EXPECT_EQ(ComputeLogPath(installer), path);
        EXPECT_TRUE(DeleteFileW(path.c_str()));
    }
    g_PackageInfo = PackageInfo();
}

// The mail client gets the texts in the run's code page: the product in the subject, the log's
// name in the note and its path as the attachment. The MAPI32.DLL double records what it gets.
TEST_F(Report, MailIsHandedTheAnsiTextsOfTheRunsCodePage)
{
    // Loaded from the build folder first, the double answers the program's system-folder lookup.
    HMODULE mapi = LoadLibraryW((GetModulePath(false, true) + L"fixtures\\mapi_double\\mapi32.dll").c_str());
    ASSERT_TRUE(mapi && GetProcAddress(mapi, "ComposeWindow")) << "no MAPI32.DLL double (Wine needs mapi32=n)";
    const std::wstring record = TempPath(L"mapi.txt");
    SetEnvironmentVariableW(L"MAPI_DOUBLE_RECORD", record.c_str());
    const struct {
        unsigned codePage;
        const wchar_t* name;
        std::string ansi;
    } rows[] = {{1251, L"\x041E\x0442\x0447\x0451\x0442", "\xCE\xF2\xF7\xB8\xF2"}, {1252, L"Gr\xFC\xDF" L"e", "Gr\xFC\xDF" "e"}};
    for (const auto& row : rows) {
        DeleteFileW(record.c_str());
        g_Settings.CodePage = row.codePage;
        EXPECT_TRUE(SendLogFile(L"C:\\Temp\\" + std::wstring(row.name) + L".log", L"a@b.c", row.name, L"1"));
        const std::string sent = ReadBytes(record);
        for (const std::string& line : {"message.subject=Log file for '" + row.ansi + " (1)'\r\n",
                                        "message.note=See log file '" + row.ansi + ".log' in attachment.\r\n",
                                        "file0.path=C:\\Temp\\" + row.ansi + ".log\r\n"})
            EXPECT_NE(sent.find(line), std::string::npos) << line << " not in:\n" << sent;
    }
    SetEnvironmentVariableW(L"MAPI_DOUBLE_RECORD", nullptr);
    DeleteFileW(record.c_str());
}
