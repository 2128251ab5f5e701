#pragma once
#include <vector>

#include "distcheck/report.h"

// Detects every prerequisite of the distribution on this machine with the setup's own reader
// and CheckPrerequisite, in the setup's order (running its checking tools), and lists the
// post-requisites the setup would run after the product. Installs nothing and shows no window.
// A checking tool that does not end within a limit is ended and reported as an error finding.
void DryRun(Report& report);
