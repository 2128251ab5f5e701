#include "app/driver.h"

#include <windows.h>

#include "app/command_line.h"
#include "app/settings.h"
#include "config/language.h"
#include "config/setup_ini.h"
#include "config/windows_version.h"
#include "deploy/deployment_wizard.h"
#include "guards/process_guards.h"
#include "htmlui/start_screen.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "msi/installer.h"
#include "msi/installer_msi.h"
#include "msi/installer_msp.h"
#include "msi/package_info.h"
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

// Asks for the restart an installation needs: at full level the user decides, below it the
// computer restarts unasked. Answers the exit code.
unsigned long RestartAfterInstallation(const SetupSettings& settings, const std::wstring& title)
{
    const int answer = ReportMessage(settings, nullptr, LoadText(IDS_RESTART_QUESTION), title,
                                     MB_YESNO | MB_ICONQUESTION);
    if (settings.UILevel != kUILevelFull)
        LogLine(L"Auto-reboot in passive mode\r\n");
    else if (answer != IDYES)
        return kExitRestartDeclined;
    RestartComputer();
    return kExitSuccess;
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

    if (settings.Mode == ModeDeploy) {
        RunDeploymentWizard();
        return kExitSuccess;
    }

    if (IsNativeX86() && PackageIs64Bit()) {
        ShowAlways(nullptr, LoadText(IDS_UNSUPPORTED_PROCESSOR), installer.Title, MB_ICONERROR);
        return kExitRefused;
    }

    installer.Title = installer.GetTitle();

    if (!IsWin2000OrLater()) {
        ReportMessage(settings, nullptr,
                      FormatText(IDS_WINDOWS_NOT_SUPPORTED, installer.GetProductName().c_str(),
                                 installer.GetProductVersion().c_str()),
                      installer.Title, MB_ICONERROR);
        return kExitRefused;
    }
    if (IniReadInt(kMainSection, MainKey::Os32Need, 0) != 0 && !IsNativeX86()) {
        ReportMessage(settings, nullptr, LoadText(IDS_REQUIRES_32BIT_WINDOWS), installer.Title, MB_ICONERROR);
        return kExitRefused;
    }
    if (!CheckWinVersion())
        return kExitRefused;
    if (IniReadInt(kMainSection, MainKey::AdminNeed, 1) != 0 && !IsUserAdmin()) {
        ReportMessage(settings, nullptr, LoadText(IDS_ADMIN_REQUIRED), installer.Title, MB_ICONERROR);
        return kExitRefused;
    }

    // Held until the driver returns: its existence marks this product's setup as running.
    UniqueHandle productMutex;
    if (IsAlreadyRunning(productMutex)) {
        const std::wstring& name = g_PackageInfo.ProductName;
        LogPrintf(L"Installation or deployment of product '%s' already run.\r\n", name.c_str());
        ShowMessage(FormatText(IDS_ALREADY_RUNNING, name.c_str()), L"", MB_ICONERROR, nullptr);
        return kExitRefused;
    }

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

    settings.PackagePath = ConfiguredPackagePath();
    if (GetFileAttributesW(settings.PackagePath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ReportMessage(settings, nullptr, FormatText(IDS_FILE_NOT_FOUND, settings.PackagePath.c_str()),
                      installer.Title, MB_ICONERROR);
        return kExitRefused;
    }

    CollectPublicProperties(commandLine, settings.Properties);
    if (settings.Properties.empty())
        settings.Properties = IniReadString(kMainSection, MainKey::MsiProp, L"");

    if (settings.Mode != ModeAdminInstall)
        SelectLanguageTransform(settings);

    bool restartNeeded = false;
    if (!installer.Install(restartNeeded))
        return kExitRefused;
    if (!restartNeeded)
        return kExitSuccess;
    return RestartAfterInstallation(settings, installer.Title);
}

unsigned long RunSetup(wchar_t* commandLine)
{
    if (IniReadInt(kMainSection, MainKey::MsiPatch, 0) == 1) {
        CInstallerMsp patch;
        return RunInstallation(patch, commandLine);
    }
    CInstallerMsi product;
    return RunInstallation(product, commandLine);
}
