#include "deploy/deployment_scan.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>

#include "config/setup_ini.h"
#include "deploy/deploy_paths.h"
#include "log/error_text.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "prereq/system_checks.h"
#include "resources/string_ids.h"
#include "win/format.h"
#include "win/text.h"

namespace {

void ReadExclusionSection(const wchar_t* section, const wchar_t* key, const wchar_t* logFormat,
                          std::vector<std::wstring>& list)
{
    for (ExclusionEntry& entry : ReadExclusionEntries(section, key)) {
        LogPrintf(logFormat, entry.Path.c_str());
        list.push_back(std::move(entry.Path));
    }
}

// The drive or share root (C:\ or \\server\share); empty when the path has none.
std::wstring StripToRoot(const std::wstring& path)
{
    std::wstring root = path;
    root.resize(root.size() < MAX_PATH ? MAX_PATH : root.size() + 1);
    if (!PathStripToRootW(&root[0]))
        return std::wstring();
    root.resize(wcslen(root.c_str()));
    return root;
}

std::wstring WithoutOuterBlanks(const std::wstring& text)
{
    std::wstring trimmed = text;
    trimmed.resize(trimmed.size() + 1);
    PathRemoveBlanksW(&trimmed[0]);
    trimmed.resize(wcslen(trimmed.c_str()));
    return trimmed;
}

// The destination itself is made with the shell's plain-length call: a folder beyond its limit
// is refused as that call refuses it, so that the copy's setup ini always has a plain path.
int CreateDestinationFolder(const std::wstring& folder)
{
    if (folder.size() >= kPlainPathLimit)
        return ERROR_FILENAME_EXCED_RANGE;
    return SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
}

// Never into a link or a reparse point, and never twice into one folder: a link to a folder
// above it would make the walk endless, and one to a folder elsewhere would copy what is not
// the distribution's.
void Walk(DeploymentState& state, const std::wstring& folder, DWORD attributes, std::vector<std::wstring>& visited)
{
    const std::wstring id = FolderIdentity(folder);
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        (!id.empty() && std::find(visited.begin(), visited.end(), id) != visited.end())) {
        LogPrintf(L"Folder '%s' left out of deployment: a link or a loop.\r\n", folder.c_str());
        state.LeftOutFolders.push_back(folder);
        return;
    }
    visited.push_back(id);
    const DWORD error = ForEachEntry(folder, [&](const WIN32_FIND_DATAW& entry, const std::wstring& path) {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!IsExcluded(state.ExcludedFolders, path))
                Walk(state, path, entry.dwFileAttributes, visited);
        } else if (!IsExcluded(state.ExcludedFiles, path)) {
            const uint64_t size = (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            state.TotalSize += EstimatedFileSize(size, state.ClusterSize);
            state.SourceFiles.push_back(path);
        }
    });
    // Its files cannot be copied: the copy fails where they would have been, with this error.
    if (error != 0) {
        state.SourceFiles.push_back(folder + L"\\");
        if (state.ListError == 0)
            state.ListError = error;
    }
}

}  // namespace

const wchar_t kExcludeFoldersSection[] = L"DeploymentExcludeFolders", kExcludeFolderKey[] = L"Folder";
const wchar_t kExcludeFilesSection[] = L"DeploymentExcludeFiles", kExcludeFileKey[] = L"File";

std::vector<ExclusionEntry> ReadExclusionEntries(const wchar_t* section, const wchar_t* key)
{
    std::vector<ExclusionEntry> entries;
    for (int n = 0; n < kExclusionKeys; ++n) {
        ExclusionEntry entry{Format(L"%s%d", key, n), std::wstring()};
        entry.Path = IniReadString(section, entry.Key.c_str(), L"");
        if (entry.Path.empty())
            continue;
        ExpandPathMacros(entry.Path);
        entries.push_back(std::move(entry));
    }
    return entries;
}

uint64_t EstimatedFileSize(uint64_t size, uint32_t clusterSize)
{
    const uint64_t cluster = clusterSize ? clusterSize : kFallbackClusterSize;
    return size + cluster - size % cluster;
}

bool IsExcluded(const std::vector<std::wstring>& list, const std::wstring& path)
{
    for (const std::wstring& entry : list) {
        if (EqualsAsciiNoCase(entry, path))
            return true;
    }
    return false;
}

std::wstring FormatSize(uint64_t bytes)
{
    static const wchar_t* const kUnits[] = {L"Bytes", L"KB", L"MB", L"GB", L"TB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        value = static_cast<double>(bytes) / 1024;
        bytes >>= 10;
        ++unit;
    }
    return Format(L"%.2f %s", value, kUnits[unit]);
}

std::wstring VolumeRootOf(const std::wstring& path)
{
    std::wstring root = StripToRoot(path);
    if (!root.empty() && root.back() != L'\\')
        root += L'\\';
    return root;
}

void ReadExclusions(DeploymentState& state)
{
    const SetupIniSnapshot snapshot;
    ReadExclusionSection(kExcludeFoldersSection, kExcludeFolderKey, L"Folder '%s' excluded from deployment.\r\n",
                         state.ExcludedFolders);
    ReadExclusionSection(kExcludeFilesSection, kExcludeFileKey, L"File '%s' excluded from deployment.\r\n",
                         state.ExcludedFiles);
}

void ScanDistribution(DeploymentState& state)
{
    state.SourceFiles.clear();
    state.TotalSize = 0;
    state.ClusterSize = 0;
    const std::wstring folder = GetModulePath(false, false);
    const std::wstring root = VolumeRootOf(folder);
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD clusters = 0;
    if (!root.empty() &&
        GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) == 1)
        state.ClusterSize = sectorsPerCluster * bytesPerSector;
    ReadExclusions(state);
    WalkFolder(state, folder);
    state.Scanned = true;
}

void WalkFolder(DeploymentState& state, const std::wstring& folder)
{
    std::vector<std::wstring> visited;
    Walk(state, folder, 0, visited);
}

bool CheckDestination(DeploymentState& state, const std::wstring& text)
{
    state.DestinationFolder.clear();
    std::wstring folder = WithoutOuterBlanks(text);
    const int created = CreateDestinationFolder(folder);
    if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS) {
        LogPrintf(L"Can't create folder for deployment '%s'. %s\r\n", folder.c_str(), ErrorText(created).c_str());
        ShowDeploymentMessage(FormatText(IDS_CANT_CREATE_FOLDER, folder.c_str(), ErrorTextCaptioned(created).c_str()),
                              MB_ICONERROR);
        return false;
    }
    if (folder.empty() || folder.back() != L'\\')
        folder += L'\\';

    // A copy of the setup ini shows that files can be written there; it is removed again.
    const std::wstring iniPath = GetIniPath();
    const std::wstring probe = folder + SetupIniFileName();
    MakeWritable(probe);
    if (!CopyFileW(iniPath.c_str(), probe.c_str(), FALSE)) {
        const DWORD error = GetLastError();
        LogPrintf(L"Can't copy file to folder for deployment '%s'. %s\r\n", folder.c_str(), ErrorText(error).c_str());
        ShowDeploymentMessage(
            FormatText(IDS_DEPLOY_FOLDER_NOT_AVAILABLE, folder.c_str(), ErrorTextCaptioned(error).c_str()),
            MB_ICONERROR);
        return false;
    }
    // The copy keeps a read-only attribute of the setup ini, which would keep the probe there.
    MakeWritable(probe);
    DeleteFileW(probe.c_str());

    if (!state.Scanned)
        ScanDistribution(state);
    if (!CheckFreeSpace(folder, state.TotalSize))
        return false;
    state.DestinationFolder = folder;
    return true;
}

bool CheckFreeSpace(const std::wstring& folder, uint64_t required)
{
    ULARGE_INTEGER available = {};
    ULARGE_INTEGER total = {};
    ULARGE_INTEGER free = {};
    SHGetDiskFreeSpaceExW(VolumeRootOf(folder).c_str(), &available, &total, &free);
    if (available.QuadPart >= required)
        return true;
    const std::wstring disk = StripToRoot(folder);
    const std::wstring availableText = FormatSize(available.QuadPart);
    const std::wstring requiredText = FormatSize(required);
    LogPrintf(L"There is not enough free disk space to deployment. Disk: %s, available volume:'%s', required "
              L"volume:'%s'\r\n",
              disk.c_str(), availableText.c_str(), requiredText.c_str());
    ShowDeploymentMessage(
        FormatText(IDS_DEPLOY_NOT_ENOUGH_SPACE, disk.c_str(), availableText.c_str(), requiredText.c_str()),
        MB_ICONERROR);
    return false;
}
