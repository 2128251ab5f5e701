#include "report/log_mail.h"

#include <windows.h>
#include <mapi.h>

#include <cwchar>

#include "app/settings.h"
#include "config/setup_ini.h"
#include "log/error_text.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "resources/string_ids.h"
#include "win/exception_guard.h"
#include "win/format.h"
#include "win/library.h"
#include "win/text.h"

namespace {

constexpr ULONG kNotInText = 0xFFFFFFFF;  // the attachment is not placed in the note text

// Simple MAPI, looked up on first use. The library is never freed: the mail client behind it
// may still run threads of its own when the program ends.
struct SimpleMapi {
    HMODULE module = nullptr;
    LPMAPILOGON logon = nullptr;
    LPMAPILOGOFF logoff = nullptr;
    LPMAPISENDMAIL sendMail = nullptr;
};

SimpleMapi g_mapi;

// A failed load is tried again at the next call.
bool LoadSimpleMapi()
{
    if (g_mapi.module)
        return true;
    UniqueLibrary module = LoadSystemLibrary(L"MAPI32.DLL");
    SimpleMapi mapi;
    mapi.logon = GetProc<LPMAPILOGON>(module.Get(), "MAPILogon");
    mapi.logoff = GetProc<LPMAPILOGOFF>(module.Get(), "MAPILogoff");
    mapi.sendMail = GetProc<LPMAPISENDMAIL>(module.Get(), "MAPISendMail");
    if (!mapi.logon || !mapi.logoff || !mapi.sendMail)
        return false;
    mapi.module = module.Release();
    g_mapi = mapi;
    return true;
}

std::wstring FileNameOf(const std::wstring& path)
{
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

BOOL CALLBACK RaiseIfTitled(HWND window, LPARAM caption)
{
    wchar_t title[MAX_PATH] = {};
    if (GetWindowTextW(window, title, MAX_PATH) <= 0 ||
        !wcsstr(title, reinterpret_cast<const wchar_t*>(caption)))
        return TRUE;
    SetForegroundWindow(window);
    return FALSE;
}

// The mail client's compose window carries the subject, and so the caption, in its title.
// It may open behind other windows: give it a moment to appear, then bring it forward.
void RaiseComposeWindow(const std::wstring& caption)
{
    Sleep(1000);
    EnumDesktopWindows(nullptr, RaiseIfTitled, reinterpret_cast<LPARAM>(caption.c_str()));
}

}  // namespace

void SendErrorLog(const std::wstring& logPath, const std::wstring& productName,
                  const std::wstring& productVersion)
{
    const std::wstring address = IniReadString(kMainSection, MainKey::SendErrorLogTo, L"");
    if (address.empty()) {
        LogLine(L"Can't read email address from ini file.\r\n");
        return;
    }
    const std::wstring caption = Format(L"%s (%s)", productName.c_str(), productVersion.c_str());
    const std::wstring question = FormatText(IDS_SEND_LOG_QUESTION, logPath.c_str(), address.c_str());
    if (ShowAlways(nullptr, question, caption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // The mail client runs inside this process: a fault of its own must not end the run.
    DWORD exceptionCode = 0;
    const bool completed = RunGuarded(
        [&] {
            if (SendLogFile(logPath, address, productName, productVersion))
                RaiseComposeWindow(caption);
        },
        exceptionCode);
    if (!completed)
        LogPrintf(L"SendLogFile(%s) failure.\r\n", logPath.c_str());
}

bool SendLogFile(const std::wstring& logPath, const std::wstring& address, const std::wstring& productName,
                 const std::wstring& productVersion)
{
    const std::wstring addressText = Format(L"SMTP:%s", address.c_str());
    const std::wstring subject =
        Format(L"Log file for '%s (%s)'", productName.c_str(), productVersion.c_str());
    const std::wstring note = Format(L"See log file '%s' in attachment.", FileNameOf(logPath).c_str());
    const UINT codePage = g_Settings.CodePage;
    std::string ansiAddress = WideToAnsi(addressText, codePage);
    std::string ansiSubject = WideToAnsi(subject, codePage);
    std::string ansiNote = WideToAnsi(note, codePage);
    std::string ansiPath = WideToAnsi(logPath, codePage);

    if (!LoadSimpleMapi()) {
        LogLine(L"Can't load MAPI32.DLL\r\n");
        return false;
    }

    char recipientName[] = "BootStrapper";
    MapiRecipDesc recipient = {};
    recipient.ulRecipClass = MAPI_TO;
    recipient.lpszName = recipientName;
    recipient.lpszAddress = &ansiAddress[0];

    MapiFileDesc attachment = {};
    attachment.nPosition = kNotInText;
    attachment.lpszPathName = &ansiPath[0];

    MapiMessage message = {};
    message.lpszSubject = &ansiSubject[0];
    message.lpszNoteText = &ansiNote[0];
    message.nRecipCount = 1;
    message.lpRecips = &recipient;
    message.nFileCount = 1;
    message.lpFiles = &attachment;

    LogPrintf(L"Send email to '%s' attachment file '%s'\r\n", addressText.c_str(), logPath.c_str());
    const ULONG result = g_mapi.sendMail(0, 0, &message, MAPI_LOGON_UI | MAPI_DIALOG, 0);
    if (result != SUCCESS_SUCCESS) {
        LogPrintf(L"MAPISendMail(%s) failure. %s\r\n", addressText.c_str(), ErrorText(result).c_str());
        return false;
    }
    return true;
}
