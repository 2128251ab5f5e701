#include "app/driver.h"

#include <windows.h>

#include "app/command_line.h"
#include "app/settings.h"
#include "config/setup_ini.h"
#include "htmlui/start_screen.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "msi/installer.h"
#include "resources/string_ids.h"
#include "win/handles.h"

namespace {

bool IniFileIsPresent(const std::wstring& path)
{
    if (path.size() >= MAX_PATH)
        return false;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW(path.c_str(), &data));
    if (!find)
        return false;
    wchar_t fullPath[MAX_PATH];
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, fullPath, nullptr);
    return length != 0 && length < MAX_PATH;
}

}  // namespace

unsigned long RunInstallation(CInstaller& installer, wchar_t* commandLine)
{
    SetupSettings& settings = g_Settings;
    settings.UILevel = ParseUILevel(commandLine);

    if (settings.Mode == ModeStartScreen) {
        switch (ShowStartScreen()) {
        case kStartCancel:
            return kExitClosed;
        case kStartInstall:
            settings.Mode = ModeInstall;
            break;
        case kStartDeploy:
            settings.Mode = ModeDeploy;
            break;
        default:
            return kExitRefused;
        }
    }

    if (!installer.Prepare())
        return kExitRefused;

    settings.LogPath = ComputeLogPath(installer);
    LogPrintf(L"UILevel is set to %d\r\n", settings.UILevel);

    const std::wstring iniPath = GetIniPath();
    if (!IniFileIsPresent(iniPath)) {
        ShowAlways(nullptr, FormatText(IDS_INI_NOT_FOUND, iniPath.c_str()),
                   LoadText(IDS_INSTALLATION_ERROR), MB_ICONERROR);
        return kExitClosed;
    }

    installer.Title = installer.GetTitle();

    if (!installer.CheckOperationType()) {
        ReportMessage(settings, nullptr, FormatText(IDS_BAD_OPERATION_TYPE, settings.MsiType.c_str()),
                      installer.Title, MB_ICONERROR);
        return kExitRefused;
    }

    if (settings.Mode == ModeAdminInstall) {
        if (ParseAdminTarget(commandLine, settings.AdminTargetDir) == kBadArguments) {
            ShowUsage();
            return kExitRefused;
        }
        settings.UILevel = kUILevelBasicProgress;
    }

    settings.PackagePath = GetModulePath(false, true) + IniReadString(kMainSection, L"MsiPath", L"");
    if (GetFileAttributesW(settings.PackagePath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ReportMessage(settings, nullptr, FormatText(IDS_FILE_NOT_FOUND, settings.PackagePath.c_str()),
                      installer.Title, MB_ICONERROR);
        return kExitRefused;
    }

    CollectPublicProperties(commandLine, settings.Properties);
    if (settings.Properties.empty())
        settings.Properties = IniReadString(kMainSection, L"MsiProp", L"");

    bool restartNeeded = false;
    if (!installer.Install(restartNeeded))
        return kExitRefused;
    return kExitSuccess;
}
