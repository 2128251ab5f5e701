#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "deploy/deployment_state.h"

// The cluster size assumed when the distribution's volume does not tell its own: the usual
// allocation unit of NTFS and of most network shares.
constexpr uint32_t kFallbackClusterSize = 4096;

// The bytes a file of that size is counted with: s + c - (s mod c) for cluster size c, so a
// file that fills its last cluster exactly (0 bytes too) counts one cluster more. A cluster
// size of 0 (unknown) counts as kFallbackClusterSize.
uint64_t EstimatedFileSize(uint64_t size, uint32_t clusterSize);

// True when an entry equals the path as a whole, the letters A to Z compared without regard to
// case and every other character exactly.
bool IsExcluded(const std::vector<std::wstring>& list, const std::wstring& path);

// "%.2f %s" in Bytes, KB, MB, GB or TB (powers of 1024); the fraction comes from the last
// division only.
std::wstring FormatSize(uint64_t bytes);

// The drive or share root of the path with one trailing backslash; empty when it has none.
std::wstring VolumeRootOf(const std::wstring& path);

// One exclusion entry: its key and its value with the path macros expanded.
struct ExclusionEntry {
    std::wstring Key;
    std::wstring Path;
};
// The exclusion sections and their keys: the key name followed by 0 … kExclusionKeys - 1.
constexpr int kExclusionKeys = 100;
extern const wchar_t kExcludeFoldersSection[], kExcludeFolderKey[];
extern const wchar_t kExcludeFilesSection[], kExcludeFileKey[];
// The expanded, non-empty entries of an exclusion section, in key order.
std::vector<ExclusionEntry> ReadExclusionEntries(const wchar_t* section, const wchar_t* key);

// Appends the expanded, non-empty Folder0..Folder99 and File0..File99 entries of the setup ini's
// exclusion sections to the state's lists, logging each.
void ReadExclusions(DeploymentState& state);
// Lists the distribution's files (the program's folder and everything below it) without the
// exclusions, with their estimated size. Made once per run.
void ScanDistribution(DeploymentState& state);
// The recursive part of the scan: depth first, in the order the file system lists entries. Links
// and folders met before by another path are left out (and listed in LeftOutFolders); a folder
// that cannot be listed is put among the files with a trailing "\".
void WalkFolder(DeploymentState& state, const std::wstring& folder);

// Checks the destination folder the administrator gave: blanks trimmed, folder created, a probe
// copy of the setup ini written and removed, the scan made, free space compared. Shows its own
// messages; on success DestinationFolder holds the folder with a trailing backslash.
bool CheckDestination(DeploymentState& state, const std::wstring& text);
// Whether the folder's volume has at least the required bytes for the calling user; shows
// message 202 when not.
bool CheckFreeSpace(const std::wstring& folder, uint64_t required);
