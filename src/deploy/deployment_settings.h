#pragma once
#include "deploy/deployment_state.h"

// Writes the administrator's choices into the copy's setup ini (DestinationFolder + the setup
// ini's file name): removes the two exclusion sections, sets Main/ShowStartDialog to 0, and
// writes AFTER_DEPLOYMENT, COMMON_FOLDER and UPLOAD_CMDLOG_TO_BRIXWELL_SERVER into
// InstallProperties, in that order. Every write is logged; the first that fails shows message
// 208 and ends the writing with false.
bool WriteDeploymentSettings(const DeploymentState& state);

// The section of public properties a deployed copy carries.
extern const wchar_t kInstallPropertiesSection[];
