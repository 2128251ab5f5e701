#include "prereq/prerequisite_flow.h"

#include <algorithm>
#include <vector>

#include "app/settings.h"
#include "guards/process_guards.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "msi/installer.h"
#include "prereq/prerequisite_dialogs.h"
#include "prereq/process_runner.h"
#include "prereq/system_checks.h"
#include "resources/string_ids.h"
#include "win/format.h"

namespace {

constexpr DWORD kRestartRequired = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED

// Runs one component whose package is at hand. A failure is logged and, with a window, shown;
// the caller goes on with the next record either way.
void RunComponent(CMainDlg& dialog, PrerequisiteInfo& record, bool passive, const std::wstring& caption,
                  std::wstring& errorText, std::vector<std::wstring>& installed)
{
    const HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    const DWORD code = InstallComponent(record, errorText);
    SetCursor(previous);
    if (code == ERROR_SUCCESS || code == kRestartRequired) {
        if (code == kRestartRequired)
            dialog.RebootRequired = 1;
        installed.push_back(record.Name);
        return;
    }
    LogLine(errorText);
    if (!passive)
        ShowAlways(dialog.Handle(), errorText, caption, MB_ICONERROR);
}

}  // namespace

int CheckAndInstallPrerequisites(CInstaller& installer, const wchar_t* format, int& restartNeeded)
{
    restartNeeded = 0;
    int result = kPrereqGoOn;
    PrerequisiteList records;
    ReadPrerequisites(format, records);
    if (records.empty())
        return result;

    CMainDlg dialog(records, installer.GetProductName(), installer.Title);
    if (g_Settings.UILevel == kUILevelFull) {
        const INT_PTR code = dialog.Show(GetActiveWindow());
        if (code == -1)
            SetLastError(ERROR_OUTOFMEMORY);
        result = static_cast<int>(code);
    } else {
        LogLine(L"Installing prerequisites passively:\r\n");
        for (const PrerequisiteInfo& record : records)
            LogPrintf(L"  %s\r\n", record.Name.c_str());
        // Without a window nobody could be asked: the product goes on whatever happened here.
        InstallPrerequisites(dialog, true);
    }
    restartNeeded = dialog.RebootRequired;
    return result;
}

int InstallPrerequisites(CMainDlg& dialog, bool passive)
{
    const std::wstring caption = LoadText(IDS_INSTALLATION_ERROR);
    PrerequisiteList& records = dialog.Records();
    if (std::any_of(records.begin(), records.end(), [](const PrerequisiteInfo& record) { return record.Selected; })) {
        LogLine(L"Try install prerequisites:\r\n");
        for (const PrerequisiteInfo& record : records) {
            if (record.Selected)
                LogPrintf(L" '%s'\r\n", record.Name.c_str());
        }
    }

    std::vector<std::wstring> installed;
    for (PrerequisiteInfo& record : records) {
        if (!record.Selected)
            continue;
        if (!passive)
            dialog.ShowProgress(FormatText(IDS_INSTALLING_COMPONENT, record.Name.c_str()));
        std::wstring errorText = Format(L"Prerequisite '%s' not installed.\r\n", record.Name.c_str());

        if (record.AdminNeed != 0 && !IsUserAdmin()) {
            if (!passive)
                ShowAlways(dialog.Handle(), LoadText(IDS_ADMIN_REQUIRED), caption, MB_ICONERROR);
            LogPrintf(L"%sNeed admistrative privilege\r\n", errorText.c_str());
            return 0;
        }

        if (record.Url.empty() || record.InstPath.empty() || FileExists(record.InstPath)) {
            RunComponent(dialog, record, passive, caption, errorText, installed);
            continue;
        }
        // The package has a download page and is not on the disk: it is never run from here.
        const bool fetched = !passive && CDownloadDlg(dialog, record).Show() == 1;
        if (!fetched)
            LogLine(errorText);
    }

    if (!installed.empty()) {
        LogLine(L"Installed prerequisites:\r\n");
        for (const std::wstring& name : installed)
            LogPrintf(L" '%s'\r\n", name.c_str());
    }
    return 1;
}
