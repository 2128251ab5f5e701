// Reading the setup ini from disk: its first bytes, and the whole file parsed once and again only
// when it changes.
#include "config/ini_file.h"

#include <windows.h>

#include "win/handles.h"

namespace {

bool ReadWholeFile(const std::wstring& path, std::string& bytes)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > 64 * 1024 * 1024)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr))
        return false;
    bytes.resize(read);
    return true;
}

}  // namespace

std::string ReadFileHead(const std::wstring& path, size_t count)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string head(count, '\0');
    DWORD read = 0;
    if (!file || !ReadFile(file.Get(), &head[0], static_cast<DWORD>(count), &read, nullptr))
        read = 0;
    head.resize(read);
    return head;
}

bool IsUnicodeIniFile(const std::wstring& path)
{
    return DetectIniEncoding(ReadFileHead(path, 2)) == IniEncoding::Utf16Le;
}

const IniFile* CachedIni(const std::wstring& path, unsigned codePage)
{
    struct Cache {
        std::wstring path;
        unsigned codePage = 0;
        FILETIME written = {};
        DWORD sizeLow = 0;
        DWORD sizeHigh = 0;
        bool loaded = false;
        IniFile ini;
    };
    static Cache cache;

    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        cache.loaded = false;
        return nullptr;
    }
    if (cache.loaded && cache.codePage == codePage && cache.path == path &&
        CompareFileTime(&cache.written, &data.ftLastWriteTime) == 0 &&
        cache.sizeLow == data.nFileSizeLow && cache.sizeHigh == data.nFileSizeHigh)
        return &cache.ini;

    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        cache.loaded = false;
        return nullptr;
    }
    cache.ini.Parse(bytes, codePage);
    cache.path = path;
    cache.codePage = codePage;
    cache.written = data.ftLastWriteTime;
    cache.sizeLow = data.nFileSizeLow;
    cache.sizeHigh = data.nFileSizeHigh;
    cache.loaded = true;
    return &cache.ini;
}
