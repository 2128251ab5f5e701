#include "deploy/deploy_paths.h"

#include <windows.h>
#include <shlobj.h>

std::wstring FullPathOf(const std::wstring& path)
{
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (length >= full.size()) {
        full.assign(length, L'\0');
        length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (length >= full.size())
            length = 0;
    }
    full.resize(length);
    return full;
}

std::wstring LongPathForm(const std::wstring& path)
{
    if (path.size() < kPlainPathLimit || path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    // The extended form is passed on as it is: it must be full and normalised already.
    const std::wstring full = FullPathOf(path);
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\')
        return L"\\\\?\\" + full;
    return path;
}

std::wstring ParentFolder(const std::wstring& path)
{
    const size_t cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos)
        return std::wstring();
    if (cut == 2 && path[1] == L':')
        return path.substr(0, 3);
    return path.substr(0, cut);
}

std::wstring SearchPattern(const std::wstring& folder)
{
    if (!folder.empty() && folder.back() == L'\\')
        return folder + L"*.*";
    return folder + L"\\*.*";
}

std::wstring EntryBase(const std::wstring& pattern)
{
    const std::wstring full = FullPathOf(pattern);
    const size_t cut = full.find_last_of(L"\\/");
    if (cut != std::wstring::npos)
        return full.substr(0, cut + 1);
    const size_t own = pattern.find_last_of(L"\\/");
    return own == std::wstring::npos ? std::wstring() : pattern.substr(0, own + 1);
}

bool PathExists(const std::wstring& path)
{
    return GetFileAttributesW(LongPathForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeWritable(const std::wstring& path)
{
    const std::wstring file = LongPathForm(path);
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(file.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

int CreateFolderTree(const std::wstring& folder)
{
    if (folder.size() < kPlainPathLimit)
        return SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (PathExists(folder))
        return ERROR_ALREADY_EXISTS;
    const std::wstring parent = ParentFolder(folder);
    if (!parent.empty() && !PathExists(parent)) {
        const int result = CreateFolderTree(parent);
        if (result != ERROR_SUCCESS && result != ERROR_ALREADY_EXISTS)
            return result;
    }
    if (CreateDirectoryW(LongPathForm(folder).c_str(), nullptr))
        return ERROR_SUCCESS;
    return static_cast<int>(GetLastError());
}

std::wstring FolderIdentity(const std::wstring& folder)
{
    UniqueHandle handle(CreateFileW(LongPathForm(folder).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle || !GetFileInformationByHandle(handle.Get(), &info))
        return std::wstring();
    const DWORD id[] = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    constexpr size_t kUnits = sizeof(DWORD) * 3 / sizeof(wchar_t);
    return std::wstring(reinterpret_cast<const wchar_t*>(id), kUnits);
}
