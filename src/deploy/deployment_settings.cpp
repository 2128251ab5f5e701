#include "deploy/deployment_settings.h"

#include <string>
#include <utility>
#include <vector>

#include "config/setup_ini.h"
#include "deploy/deployment_scan.h"
#include "win/format.h"

const wchar_t kInstallPropertiesSection[] = L"InstallProperties";

bool WriteDeploymentSettings(const DeploymentState& state)
{
    const std::wstring ini = state.DestinationFolder + SetupIniFileName();
    // The exclusions served the deployment only.
    IniDeleteSection(kExcludeFoldersSection, ini);
    IniDeleteSection(kExcludeFilesSection, ini);
    // Installations started from the copy go straight to the installation.
    if (!IniWriteStringLogged(kMainSection, MainKey::ShowStartDialog, L"0", ini, true))
        return false;
    const std::vector<std::pair<const wchar_t*, std::wstring>> properties = {
        {L"AFTER_DEPLOYMENT", L"1"},
        {L"COMMON_FOLDER", state.CommonFolder},
        {L"UPLOAD_CMDLOG_TO_BRIXWELL_SERVER", Format(L"%d", state.UploadChoice)},
    };
    for (const auto& property : properties) {
        if (!IniWriteStringLogged(kInstallPropertiesSection, property.first, property.second.c_str(), ini, true))
            return false;
    }
    return true;
}
