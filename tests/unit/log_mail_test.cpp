#include <gtest/gtest.h>

#include "app/settings.h"
#include "config/setup_ini.h"
#include "fake_platform.h"
#include "report/log_mail.h"
#include "test_support.h"
#include "win/library.h"

namespace {

const wchar_t kStamp[] = L"Setup.exe [2026.12.04 16:44:05]: ";

// The mail goes to the MAPI32.DLL test double (tests/fixtures/mapi_double.c), which records
// what it receives. The program looks the library up in the system folder by its bare name;
// a module of that name already loaded answers such a lookup, so the double is loaded first
// from the build folder and stays loaded for the whole test program, as the program keeps it.
class LogMailTest : public RunTest {
protected:
    static void SetUpTestSuite()
    {
        const std::wstring path = GetModulePath(false, true) + L"fixtures\\mapi_double\\mapi32.dll";
        double_ = LoadLibraryW(path.c_str());
    }

    void SetUp() override
    {
        RunTest::SetUp();
        // Never let a test reach the system's own mail client.
        ASSERT_TRUE(double_ && GetProcAddress(double_, "ComposeWindow"))
            << "mapi32.dll double not loaded (Wine needs WINEDLLOVERRIDES=mapi32=n)";
        UniqueLibrary found = LoadSystemLibrary(L"MAPI32.DLL");
        ASSERT_EQ(found.Get(), double_);
        record_ = scratch.File(L"mapi.txt");
        SetEnvironmentVariableW(L"MAPI_DOUBLE_RECORD", record_.c_str());
        SetEnvironmentVariableW(L"MAPI_DOUBLE_RESULT", nullptr);
        g_Settings.LogPath = scratch.File(L"Product Setup (2026.12.04 16.44).log");
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(L"MAPI_DOUBLE_RECORD", nullptr);
        SetEnvironmentVariableW(L"MAPI_DOUBLE_RESULT", nullptr);
        RunTest::TearDown();
    }

    std::string Record() const { return ReadBytes(record_); }
    std::string AnsiLogPath() const
    {
        return std::string(g_Settings.LogPath.begin(), g_Settings.LogPath.end());
    }

    static HMODULE double_;
    std::wstring record_;
};

HMODULE LogMailTest::double_ = nullptr;

const char kAddressIni[] = "[Main]\r\nSendErrorLogTo=support@example.com\r\n";

}  // namespace

TEST_F(LogMailTest, WithoutAnAddressNothingIsAsked)
{
    SetupIniFile ini("[Main]\r\nSendErrorLogTo=\r\n");
    g_Settings.UILevel = kUILevelFull;
    SendErrorLog(g_Settings.LogPath, L"Product", L"1.0");
    EXPECT_TRUE(Fake().boxes.empty());
    EXPECT_EQ(ReadLogText(g_Settings.LogPath),
              std::wstring(kStamp) + L"Can't read email address from ini file.\r\n");
    EXPECT_EQ(Record(), "");
}

TEST_F(LogMailTest, TheQuestionIsShownEvenInQuietModeAndNoSendsNothing)
{
    SetupIniFile ini(kAddressIni);
    g_Settings.UILevel = kUILevelNone;
    Fake().answers = {IDNO};
    SendErrorLog(g_Settings.LogPath, L"Product", L"1.0");
    ASSERT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(Fake().boxes[0].owner, nullptr);
    EXPECT_EQ(Fake().boxes[0].text,
              L"Installation failed. Product not installed.\n\nDo you want to send the log file:\n'" +
                  g_Settings.LogPath + L"'\nto 'support@example.com'?");
    EXPECT_EQ(Fake().boxes[0].caption, L"Product (1.0)");
    EXPECT_EQ(Fake().boxes[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(Record(), "");
    EXPECT_EQ(GetFileAttributesW(g_Settings.LogPath.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LogMailTest, YesHandsTheMailClientTheListedRecords)
{
    SetupIniFile ini(kAddressIni);
    g_Settings.UILevel = kUILevelBasicProgress;
    g_Settings.CodePage = 1251;
    Fake().answers = {IDYES};
    // A Russian product name reaches the mail client in the run's code page.
    SendErrorLog(g_Settings.LogPath, L"\x041F\x0440\x043E\x0434\x0443\x043A\x0442", L"2.0");
    EXPECT_EQ(Record(),
              "call=MAPISendMail\r\nsession=0\r\nuiparam=0\r\nflags=9\r\nreserved=0\r\n"
              "message.reserved=0\r\n"
              "message.subject=Log file for '\xCF\xF0\xEE\xE4\xF3\xEA\xF2 (2.0)'\r\n"
              "message.note=See log file 'Product Setup (2026.12.04 16.44).log' in attachment.\r\n"
              "message.type=(null)\r\nmessage.date=(null)\r\nmessage.conversation=(null)\r\n"
              "message.flags=0\r\nmessage.originator=(null)\r\nmessage.recipients=1\r\n"
              "recipient0.reserved=0\r\nrecipient0.class=1\r\nrecipient0.name=BootStrapper\r\n"
              "recipient0.address=SMTP:support@example.com\r\n"
              "recipient0.eidsize=0\r\nrecipient0.eid=(null)\r\n"
              "message.files=1\r\nfile0.reserved=0\r\nfile0.flags=0\r\nfile0.position=4294967295\r\n"
              "file0.path=" +
                  AnsiLogPath() + "\r\nfile0.name=(null)\r\nfile0.type=(null)\r\n");
    EXPECT_EQ(ReadLogText(g_Settings.LogPath),
              std::wstring(kStamp) + L"Send email to 'SMTP:support@example.com' attachment file '" +
                  g_Settings.LogPath + L"'\r\n");
}

TEST_F(LogMailTest, AFailedSendIsLoggedWithItsNumber)
{
    SetEnvironmentVariableW(L"MAPI_DOUBLE_RESULT", L"1");  // MAPI_USER_ABORT: the user cancelled
    EXPECT_FALSE(SendLogFile(L"C:\\Temp\\x.log", L"a@b.c", L"P", L"1"));
    EXPECT_NE(Record().find("message.note=See log file 'x.log' in attachment.\r\n"), std::string::npos);
    const std::wstring log = ReadLogText(g_Settings.LogPath);
    const std::wstring stamp = kStamp;
    const std::wstring expected = stamp + L"Send email to 'SMTP:a@b.c' attachment file 'C:\\Temp\\x.log'\r\n" +
                                  stamp + L"MAPISendMail(SMTP:a@b.c) failure. Error(1) '";
    EXPECT_EQ(log.substr(0, expected.size()), expected);
    EXPECT_EQ(log.substr(log.size() - 3), L"'\r\n");

    SetEnvironmentVariableW(L"MAPI_DOUBLE_RESULT", L"0");
    EXPECT_TRUE(SendLogFile(L"C:\\Temp\\x.log", L"a@b.c", L"P", L"1"));
}

TEST_F(LogMailTest, TheAttachmentPathIsInTheRunsCodePage)
{
    g_Settings.CodePage = 1251;
    EXPECT_TRUE(SendLogFile(L"C:\\Temp\\\x041E\x0442\x0447\x0451\x0442.log", L"a@b.c", L"P", L"1"));
    const std::string record = Record();
    EXPECT_NE(record.find("message.note=See log file '\xCE\xF2\xF7\xB8\xF2.log' in attachment.\r\n"),
              std::string::npos)
        << record;
    EXPECT_NE(record.find("file0.path=C:\\Temp\\\xCE\xF2\xF7\xB8\xF2.log\r\n"), std::string::npos) << record;
}

TEST_F(LogMailTest, AFaultInTheMailClientEndsTheReportQuietly)
{
    SetupIniFile ini(kAddressIni);
    SetEnvironmentVariableW(L"MAPI_DOUBLE_RESULT", L"fault");
    Fake().answers = {IDYES};
    SendErrorLog(g_Settings.LogPath, L"Product", L"1.0");
    EXPECT_NE(Record().find("call=MAPISendMail\r\n"), std::string::npos);
    const std::wstring stamp = kStamp;
    EXPECT_EQ(ReadLogText(g_Settings.LogPath),
              stamp + L"Send email to 'SMTP:support@example.com' attachment file '" + g_Settings.LogPath +
                  L"'\r\n" + stamp + L"SendLogFile(" + g_Settings.LogPath + L") failure.\r\n");
}
