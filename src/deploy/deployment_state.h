#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "win/handles.h"

class DeploymentDeployPage;

// The one record of a deployment run, shared by the wizard, the scan, the copy worker and the
// settings writer. Until the worker starts only the user-interface thread touches it; while the
// worker runs the user-interface thread touches only CancelEvent, and the worker sets Cancelled
// before it presses Next, after which the Complete page reads it.
struct DeploymentState {
    uint64_t TotalSize = 0;        // estimated bytes of the files to copy
    bool Cancelled = false;        // cancelled or failed; never goes back to false
    std::wstring CommonFolder;     // the Settings page's text, as typed
    int UploadChoice = 2;          // the Log page's choice: 0, 1, 2, or -1 for none
    UniqueHandle CancelEvent;      // auto-reset; set by Cancel on the Deploy page
    uint32_t ClusterSize = 0;      // of the volume that holds the distribution; 0 when unknown
    std::wstring DestinationFolder;  // accepted destination, ending in "\"; empty until accepted
    // Full paths, in walk order; a folder the scan could not list is among them with a trailing
    // "\", and the copy fails there with ListError, the error of the first such folder.
    std::vector<std::wstring> SourceFiles;
    DWORD ListError = 0;
    std::vector<std::wstring> LeftOutFolders;   // links, and folders met before by another path
    std::vector<std::wstring> ExcludedFolders;  // expanded entries, in key order
    std::vector<std::wstring> ExcludedFiles;
    DeploymentDeployPage* DeployPage = nullptr;  // shows the copy's progress
    bool Scanned = false;          // the scan is made at most once per run
};

// The run's record, made on first use with its cancel event (null when the system could not
// make one).
DeploymentState& GetDeploymentState();
// Forgets the record once the wizard has closed.
void FreeDeploymentState();

// The file name of the setup ini (the last component of its path): the probe's and the copy's.
std::wstring SetupIniFileName();
// The product name that fills the deployment's texts.
std::wstring DeploymentProductName();
// A message box captioned "Deployment <product>", owned by the foreground window; from either
// thread. Answers the button pressed.
int ShowDeploymentMessage(const std::wstring& text, UINT flags);
