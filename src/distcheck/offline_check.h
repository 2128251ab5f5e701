#pragma once
#include <string>
#include <vector>

#include "distcheck/report.h"

// Reads the distribution of the program SetProgramFile named, through the setup's own ini reader,
// prerequisite reader, condition parsers and package reading, and lists what the setup would
// ignore, read differently from what was written, or refuse. Sets the code page the setup would
// read the ini with. Runs nothing.
void CheckDistribution(const std::wstring& program, std::vector<Finding>& findings);

// The names of the files (not folders) of the folder (ending in "\\") that match the pattern.
std::vector<std::wstring> NamesIn(const std::wstring& folder, const wchar_t* pattern);
