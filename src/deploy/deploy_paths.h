#pragma once
#include <windows.h>

#include <cwchar>
#include <string>

#include "win/handles.h"

// Path helpers of the deployment. Below the destination folder and inside the distribution,
// paths may grow beyond MAX_PATH. The plain file calls stop there; their extended-length form
// ("\\?\") does not. Logs and messages always show the plain form.

// Plain paths at least this long go to the file calls in the extended form (the limit of a
// folder path, 12 characters below MAX_PATH, so that every file call is covered).
constexpr size_t kPlainPathLimit = 248;

// The extended-length form of a path that is too long for the plain calls; a shorter path, or
// one that is not a full drive or UNC path, comes back unchanged.
std::wstring LongPathForm(const std::wstring& path);
// The full, normalised form of a path of any length; empty when the system cannot form it.
std::wstring FullPathOf(const std::wstring& path);
// The path without its last component; a drive root keeps its backslash ("C:\").
std::wstring ParentFolder(const std::wstring& path);
bool PathExists(const std::wstring& path);
// Clears a file's read-only attribute, which every file copied from a CD or DVD carries: a copy
// keeps it, and a read-only file can be neither rewritten nor deleted.
void MakeWritable(const std::wstring& path);
// "<folder>\*.*", the pattern that lists every entry of a folder (a trailing backslash of the
// folder is not doubled).
std::wstring SearchPattern(const std::wstring& folder);
// What a listed entry's name is appended to: the folder part of the pattern's full path, with
// its separator.
std::wstring EntryBase(const std::wstring& pattern);
// Calls visit(entry, path) for every entry of the folder but "." and "..", in the order the file
// system lists them, path being the entry's full path. Answers 0, or the error that kept the
// folder from being listed (an empty drive root, which lists nothing at all, is no error).
template <class Visit>
DWORD ForEachEntry(const std::wstring& folder, Visit visit)
{
    const std::wstring pattern = SearchPattern(folder);
    WIN32_FIND_DATAW entry;
    UniqueFindHandle find(FindFirstFileW(LongPathForm(pattern).c_str(), &entry));
    if (!find) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : error;
    }
    const std::wstring base = EntryBase(pattern);
    do {
        if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0)
            visit(entry, base + entry.cFileName);
    } while (FindNextFileW(find.Get(), &entry));
    return 0;
}

// What tells one folder from every other whatever path reaches it: its volume's serial number
// and its file index, held in a string's code units; empty when the folder cannot be opened.
std::wstring FolderIdentity(const std::wstring& folder);

// Creates the folder and its missing parents. Answers as SHCreateDirectoryExW does: 0, 183
// (ERROR_ALREADY_EXISTS) or the error; beyond the plain limit the folders are made one by one.
int CreateFolderTree(const std::wstring& folder);
