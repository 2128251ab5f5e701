#include "deploy/deployment_settings.h"

#include <string>
#include <utility>
#include <vector>

#include "config/setup_ini.h"
#include "win/format.h"

bool WriteDeploymentSettings(const DeploymentState& state)
{
    const std::wstring ini = state.DestinationFolder + SetupIniFileName();
    // The exclusions served the deployment only.
    IniDeleteSection(L"DeploymentExcludeFolders", ini);
    IniDeleteSection(L"DeploymentExcludeFiles", ini);
    // Installations started from the copy go straight to the installation.
    if (!IniWriteStringLogged(kMainSection, L"ShowStartDialog", L"0", ini, true))
        return false;
    const std::vector<std::pair<const wchar_t*, std::wstring>> properties = {
        {L"AFTER_DEPLOYMENT", L"1"},
        {L"COMMON_FOLDER", state.CommonFolder},
        {L"UPLOAD_CMDLOG_TO_BRIXWELL_SERVER", Format(L"%d", state.UploadChoice)},
    };
    for (const auto& property : properties) {
        if (!IniWriteStringLogged(L"InstallProperties", property.first, property.second.c_str(), ini, true))
            return false;
    }
    return true;
}
