#include "msi/installer.h"

#include <windows.h>

#include "app/settings.h"
#include "log/error_text.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "report/log_mail.h"
#include "resources/string_ids.h"

namespace {

unsigned FailureTextId(unsigned code)
{
    switch (code) {
    case kNewerVersionInstalled:
        return IDS_NEWER_VERSION_INSTALLED;
    case kUpdatesDisabled:
        return IDS_UPDATE_DISABLED;
    case kPatchTargetNotFound:
        return IDS_PATCH_TARGET_NOT_FOUND;
    default:
        return IDS_INTERNAL_ERROR;
    }
}

}  // namespace

int EvaluateInstallResult(const std::wstring& title, unsigned code)
{
    if (code == ERROR_INSTALL_USEREXIT)
        return kInstallCancelled;
    if (code == ERROR_SUCCESS || code == ERROR_SUCCESS_REBOOT_INITIATED ||
        code == ERROR_SUCCESS_REBOOT_REQUIRED)
        return kInstallSucceeded;
    const std::wstring text = LoadText(FailureTextId(code)) + L"\r\n";
    LogLine(text);
    if (g_Settings.UILevel == kUILevelFull)
        ShowAlways(nullptr, text + LogFileNotice(), title, MB_ICONERROR);
    LogPrintf(L"Install() failed. %s\r\n", ErrorText(code).c_str());
    return kInstallFailed;
}

bool ConcludeInstallation(CInstaller& installer, unsigned code)
{
    const int outcome = EvaluateInstallResult(installer.Title, code);
    if (outcome == kInstallFailed)
        SendErrorLog(g_Settings.LogPath, installer.GetProductName(), installer.GetProductVersion());
    return outcome == kInstallSucceeded;
}

unsigned AnsiCodePageOf(unsigned long languageId)
{
    wchar_t buffer[16] = {};
    if (!GetLocaleInfoW(static_cast<LCID>(languageId), LOCALE_IDEFAULTANSICODEPAGE, buffer, 16))
        return 0;
    return static_cast<unsigned>(wcstoul(buffer, nullptr, 10));
}
