#pragma once
#include <string>
#include <vector>

#include "deploy/deployment_state.h"

// Starts the copy on a worker thread once the Deploy page is up (the scan is made first when the
// destination check has not made it). The worker shows progress on the page, lets Cancel in
// between two files, writes the settings after a full copy, rolls back on failure or cancel,
// and then presses the sheet's Next button.
void StartDeployment(DeploymentState& state, DeploymentDeployPage& page);

// The worker thread's whole run; answers the thread's result, 0.
unsigned DeploymentWorker(DeploymentState& state);
// Copies every listed file below DestinationFolder, appending each copy's path to copied.
// False after a failure (shown and logged) or a confirmed cancel.
bool CopyFiles(DeploymentState& state, std::vector<std::wstring>& copied);
// Asks whether to cancel the deployment; on Yes logs it, sets Cancelled and answers true.
bool ConfirmCancel(DeploymentState& state);
// Deletes the copied files, newest first, then every folder below the destination that is empty
// and the destination itself when it is. Failures are logged and passed over.
void Rollback(DeploymentState& state, const std::vector<std::wstring>& copied);
// Removes, depth first, every subfolder of the folder that is empty once its own subfolders are
// gone. Files are not touched.
void RemoveSubfolders(const std::wstring& folder);
