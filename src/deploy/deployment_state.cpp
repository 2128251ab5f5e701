#include "deploy/deployment_state.h"

#include <shlwapi.h>

#include <memory>

#include "config/setup_ini.h"

#include "log/messages.h"
#include "msi/package_info.h"
#include "platform/platform.h"
#include "resources/string_ids.h"

namespace {

std::unique_ptr<DeploymentState>& Current()
{
    static std::unique_ptr<DeploymentState> state;
    return state;
}

}  // namespace

DeploymentState& GetDeploymentState()
{
    std::unique_ptr<DeploymentState>& state = Current();
    if (!state) {
        state.reset(new DeploymentState);
        state->CancelEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    }
    return *state;
}

void FreeDeploymentState()
{
    Current().reset();
}

std::wstring SetupIniFileName()
{
    const std::wstring path = GetIniPath();
    return PathFindFileNameW(path.c_str());
}

std::wstring DeploymentProductName()
{
    return g_PackageInfo.ProductName;
}

int ShowDeploymentMessage(const std::wstring& text, UINT flags)
{
    const std::wstring caption = FormatText(IDS_DEPLOY_CAPTION, DeploymentProductName().c_str());
    return platform::ShowMessageBox(GetForegroundWindow(), text.c_str(), caption.c_str(), flags);
}
