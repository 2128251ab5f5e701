#include "msi/installer_msi.h"

#include <windows.h>

#include "app/settings.h"
#include "config/setup_ini.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "msi/msi_api.h"
#include "msi/package_info.h"
#include "prereq/prerequisite_flow.h"
#include "prereq/process_runner.h"
#include "resources/string_ids.h"
#include "win/text.h"

namespace {

const wchar_t kDefaultReinstall[] = L"REINSTALL=ALL REINSTALLMODE=vomus";

struct InstalledState {
    bool installed = false;
    bool advertised = false;
    int comparison = 0;
};

InstalledState QueryState()
{
    InstalledState state;
    state.installed = QueryInstalledProduct(g_Settings.PackagePath, &state.advertised, &state.comparison);
    return state;
}

// Components run after a first installation: each is tried once, in order, and only a restart
// it asks for is kept; the runner has logged everything else.
void InstallPostRequisites(bool& restartNeeded)
{
    PrerequisiteList components;
    ReadPostRequisites(kPostRequisiteFormat, components);
    for (const PrerequisiteInfo& component : components) {
        std::wstring errorText;
        if (InstallComponent(component, errorText) == ERROR_SUCCESS_REBOOT_REQUIRED)
            restartNeeded = true;
    }
}

// The components the product needs; false unless the installation may go on.
bool BringUpPrerequisites(CInstaller& installer, bool& restartNeeded)
{
    int restart = 0;
    const int answer = CheckAndInstallPrerequisites(installer, kPrerequisiteFormat, restart);
    if (restart)
        restartNeeded = true;
    return answer == kPrereqGoOn;
}

}  // namespace

unsigned ProductCodePage()
{
    return AnsiCodePageOf(wcstoul(g_PackageInfo.ProductLanguage.c_str(), nullptr, 10));
}

bool CInstallerMsi::Prepare()
{
    const std::wstring path = ConfiguredPackagePath();
    if (!ReadPackageInfo(path)) {
        ShowAlways(nullptr, FormatText(IDS_CANT_READ_PACKAGE, path.c_str()), Title, MB_ICONERROR);
        return false;
    }
    g_Settings.CodePage = ProductCodePage();
    return true;
}

std::wstring CInstallerMsi::GetProductName()
{
    return g_PackageInfo.ProductName;
}

std::wstring CInstallerMsi::GetProductNameLangNeutral()
{
    return g_PackageInfo.ProductNameLangNeutral;
}

std::wstring CInstallerMsi::GetProductVersion()
{
    return g_PackageInfo.ProductVersion;
}

std::wstring CInstallerMsi::GetTitle()
{
    return FormatText(IDS_PRODUCT_TITLE, GetProductName().c_str(), GetProductVersion().c_str());
}

bool IsProductOperationType(const std::wstring& type)
{
    return EqualsNoCase(type, L"Install") || EqualsNoCase(type, L"InstallUpgrade");
}

bool CInstallerMsi::CheckOperationType()
{
    g_Settings.MsiType = IniReadString(kMainSection, MainKey::MsiType, L"Install");
    return IsProductOperationType(g_Settings.MsiType);
}

bool CInstallerMsi::Install(bool& restartNeeded)
{
    if (!g_Settings.Transform.empty()) {
        g_Settings.Properties += L" TRANSFORMS=\"" + g_Settings.Transform + L"\"";
        LogPrintf(L"LangId transform is %s\r\n", g_Settings.Transform.c_str());
    }
    const InstalledState state = QueryState();
    const bool firstInstallation = !state.installed && !state.advertised && state.comparison >= 0 &&
                                   g_Settings.Mode != ModeAdminInstall && g_Settings.Mode != ModeDeploy;
    if (firstInstallation && !BringUpPrerequisites(*this, restartNeeded))
        return false;
    if (!ConcludeInstallation(*this, RunProductInstall(restartNeeded)))
        return false;
    if (firstInstallation)
        InstallPostRequisites(restartNeeded);
    return true;
}

unsigned CInstallerMsi::RunProductInstall(bool& restartNeeded)
{
    MsiApi api = LoadMsiApi();
    if (!api.IsComplete())
        return kMsiInstallFailure;
    SetEngineUILevel(api, g_Settings.UILevel);

    std::wstring commandLine;
    if (g_Settings.Mode == ModeAdminInstall) {
        commandLine = L" TARGETDIR=\"" + g_Settings.AdminTargetDir + L"\" ACTION=ADMIN";
    } else {
        const InstalledState state = QueryState();
        commandLine = g_Settings.Properties;
        if (state.installed || state.advertised) {
            const int updateDisable = IniReadInt(kMainSection, MainKey::UpdateDisable, 0);
            if (state.installed && state.comparison > 0)
                return kNewerVersionInstalled;
            if (state.installed && state.comparison < 0) {
                if (updateDisable == 1)
                    return kUpdatesDisabled;
                int answer = ReportMessage(g_Settings, nullptr, LoadText(IDS_UPGRADE_QUESTION), Title,
                                           MB_YESNO | MB_ICONQUESTION);
                if (g_Settings.UILevel != kUILevelFull)
                    LogLine(L"Auto-upgrading in passive mode\r\n");
                else if (answer != IDYES)
                    return ERROR_SUCCESS;
                if (!BringUpPrerequisites(*this, restartNeeded))
                    return ERROR_SUCCESS;
                g_Settings.ReinstallMode = IniReadString(kMainSection, MainKey::DefaultReinstallmode, L"");
                commandLine = g_Settings.ReinstallMode.empty() ? kDefaultReinstall : g_Settings.ReinstallMode;
            }
        }
    }

    LogPrintf(L"Calling MsiInstallProduct with command line: '%s'\r\n", commandLine.c_str());
    LogLine(L"\r\n\r\n", false);
    EnableEngineLog(api);
    unsigned code = CallMsiInstallProduct(api, commandLine);
    switch (code) {
    case ERROR_SUCCESS:
        LogLine(L"Setup complete\r\n");
        break;
    case ERROR_INSTALL_USEREXIT:
        LogLine(L"Installation canceled\r\n");
        break;
    case ERROR_FILE_NOT_FOUND:
        ReportMessage(g_Settings, nullptr, FormatText(IDS_FILE_NOT_FOUND, g_Settings.PackagePath.c_str()),
                      Title, MB_ICONERROR);
        code = ERROR_SUCCESS;
        break;
    default:
        LogPrintf(L"MsiInstallProduct returned %d\r\n", static_cast<int>(code));
        break;
    }
    return code;
}
