#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "log/version.h"
#include "prereq/prerequisite.h"

// "X:\..." or "\\server\...": a full path, the only kind the loader accepts with a search of
// the library's folder.
bool IsFullyQualified(const std::wstring& path);
// Replaces every occurrence of macro (case-sensitive) by the replacement.
void ReplaceMacro(std::wstring& text, const wchar_t* macro, const std::wstring& replacement);
// The setup program's folder without a trailing backslash: what "#Root#" stands for.
std::wstring RootFolder();
// Replaces "#System#", "#CommonProgramFiles#" and "#Root#" in a path from the ini. Nothing is
// replaced when the system folder cannot be had.
void ExpandPathMacros(std::wstring& path);

// The file is there (and loads as a library, when asked) with at least the lowest version.
// Every refusal is logged.
bool IsValidFileVersion(const std::wstring& path, const Version& lowest, int tryLoad);
// The file version's two halves (major·minor, build·revision). A version resource without
// fixed information reads as all bits set.
DWORD ReadFileVersion(const std::wstring& path, DWORD& versionMS, DWORD& versionLS);
// True when FindFirstFileW finds the path (wildcards allowed; a folder counts).
bool FileExists(const std::wstring& path);
// True when one of the ";"-separated file names is in a folder of the "Path" variable.
bool FindInPath(const std::wstring& names);
// Appends the items between separators (trimmed of white space when asked), skipping empty ones.
void SplitList(const std::wstring& text, wchar_t separator, bool trim, std::vector<std::wstring>& list);
// Five dotted integers; false (all zero) for an empty text.
bool ParseVersion5(const std::wstring& text, long parts[5]);
// Both texts parse to the same first four components; false when both are empty.
bool VersionTextEquals(const std::wstring& a, const std::wstring& b);

// Whether the checking tool's answer counts for the record: only for the "Stavora" family.
bool UsesCheckingToolAnswer(const PrerequisiteInfo& record);
// The checking-tool rule of a record with RunExeCond: runs the tool and, for the "Stavora"
// family, acts on its exit code. Answers as CheckPrerequisite does.
bool CheckRunExeCondition(PrerequisiteInfo& record);
