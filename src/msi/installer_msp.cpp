#include "msi/installer_msp.h"

#include <windows.h>

#include "app/settings.h"
#include "config/setup_ini.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "msi/msi_api.h"
#include "resources/string_ids.h"
#include "win/text.h"

unsigned PatchCodePage()
{
    return AnsiCodePageOf(static_cast<unsigned long>(IniReadInt(kMainSection, MainKey::ProductLangID, 0)));
}

bool CInstallerMsp::Prepare()
{
    g_Settings.CodePage = PatchCodePage();
    return true;
}

std::wstring CInstallerMsp::GetProductName()
{
    return IniReadString(kMainSection, MainKey::Name, L"");
}

std::wstring CInstallerMsp::GetProductNameLangNeutral()
{
    return IniReadString(kMainSection, MainKey::ProductNameLangNeutral, L"");
}

std::wstring CInstallerMsp::GetProductVersion()
{
    return IniReadString(kMainSection, MainKey::VersionTarget, L"");
}

std::wstring CInstallerMsp::GetTitle()
{
    return FormatText(IDS_PATCH_TITLE, GetProductName().c_str());
}

bool IsPatchOperationType(const std::wstring& type)
{
    return EqualsNoCase(type, L"Minor") || EqualsNoCase(type, L"Major");
}

bool CInstallerMsp::CheckOperationType()
{
    g_Settings.MsiType = IniReadString(kMainSection, MainKey::MsiType, L"Major");
    return IsPatchOperationType(g_Settings.MsiType);
}

bool CInstallerMsp::Install(bool& /*restartNeeded*/)
{
    return ConcludeInstallation(*this, RunPatchInstall());
}

unsigned CInstallerMsp::RunPatchInstall()
{
    MsiApi api = LoadMsiApi();
    if (!api.IsComplete())
        return kMsiInstallFailure;
    SetEngineUILevel(api, g_Settings.UILevel);

    const std::wstring question =
        FormatText(IDS_APPLY_PATCH_QUESTION, GetProductVersion().c_str(), GetProductName().c_str());
    const int answer = ReportMessage(g_Settings, nullptr, question, Title, MB_YESNO | MB_ICONQUESTION);
    if (g_Settings.UILevel != kUILevelFull)
        LogLine(L"Auto-upgrading in passive mode\r\n");
    else if (answer != IDYES)
        return ERROR_SUCCESS;

    const std::wstring& commandLine = g_Settings.Properties;
    LogPrintf(L"Calling MsiApplyPatch with command line: '%s'\r\n", commandLine.c_str());
    LogLine(L"\r\n\r\n", false);
    EnableEngineLog(api);
    // The patch itself always shows the engine's basic progress, whatever the run's level.
    SetEngineUILevel(api, INSTALLUILEVEL_BASIC);

    const bool adminImage = g_Settings.Mode == ModeAdminInstall;
    const wchar_t* installPackage = adminImage ? g_Settings.AdminTargetDir.c_str() : nullptr;
    const unsigned code = CallMsiApplyPatch(api, g_Settings.PackagePath, installPackage,
                                            adminImage ? INSTALLTYPE_NETWORK_IMAGE : INSTALLTYPE_DEFAULT,
                                            commandLine);
    if (code == ERROR_SUCCESS)
        LogLine(L"Setup complete\r\n");
    else if (code == ERROR_INSTALL_USEREXIT)
        LogLine(L"Installation canceled\r\n");
    return code;
}
