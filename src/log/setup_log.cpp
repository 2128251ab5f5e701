#include "log/setup_log.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

#include "app/settings.h"
#include "msi/installer.h"
#include "platform/platform.h"
#include "win/format.h"
#include "win/handles.h"

namespace {

// Longest time stamp: five-digit fields, as a 16-bit field can have.
constexpr size_t kMaxTimeStampChars = 49;

// The formatter at out, on the caller's buffer rather than in a string of its own.
size_t FormatAt(wchar_t* out, size_t capacity, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const size_t length = FormatInto(out, capacity, format, args);
    va_end(args);
    return length;
}

// Writes "Setup.exe [yyyy.mm.dd hh:mm:ss]: " with the local time at out; answers its end.
wchar_t* PutTimeStamp(wchar_t* out)
{
    const SYSTEMTIME now = platform::LocalTime();
    return out + FormatAt(out, kMaxTimeStampChars + 1, L"Setup.exe [%04d.%02d.%02d %02d:%02d:%02d]: ", now.wYear,
                          now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

std::wstring TempFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length > MAX_PATH)
        return std::wstring();
    return std::wstring(folder, length);
}

// A candidate is tried only as a plain file name: a separator in a product name must never take
// the log out of the temporary folder. It is tried as the log's whole name, which may pass the
// length a file name can have where the name alone does not.
bool ProbeCandidate(const std::wstring& folder, const std::wstring& name, const std::wstring& suffix)
{
    return std::none_of(name.begin(), name.end(), IsForbiddenInFileName) &&
           ProbeFileName(folder + name + suffix);
}

// The first name a file can carry: the product name, the language-neutral name, the product
// name as a file name can hold it, then the program's own.
bool ChooseLogName(CInstaller& installer, const std::wstring& folder, const std::wstring& suffix, std::wstring& name)
{
    name = installer.GetProductName();
    if (ProbeCandidate(folder, name, suffix))
        return true;
    const std::wstring neutral = installer.GetProductNameLangNeutral();
    if (!neutral.empty() && ProbeCandidate(folder, neutral, suffix)) {
        name = neutral;
        return true;
    }
    name = LogFileNamePart(name);
    if (ProbeCandidate(folder, name, suffix))
        return true;
    name = kDefaultLogName;
    return ProbeCandidate(folder, name, suffix);
}

// The file a burst keeps open: the first one written to while the burst lives.
struct HeldLog {
    int bursts = 0;
    std::wstring path;
    UniqueHandle file;
};

HeldLog& Held()
{
    static HeldLog held;
    return held;
}

// Appends the text (a byte-order mark first in a new file, the time stamp when asked) with one
// write. False when the file could not be opened.
bool WriteRecord(const std::wstring& path, const wchar_t* text, size_t length, bool timeStamp)
{
    if (path.empty())
        return false;
    HeldLog& held = Held();
    const bool wasHeld = held.file && held.path == path;
    UniqueHandle opened;
    bool existed = true;
    if (!wasHeld) {
        opened.Reset(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!opened)
            return false;
        // The open tells whether the file was there, so a line costs no separate look at the file.
        existed = GetLastError() == ERROR_ALREADY_EXISTS;
    }
    const HANDLE file = wasHeld ? held.file.Get() : opened.Get();
    // A line of the log printf form is composed on the stack; only a longer text takes the heap.
    wchar_t local[1 + kMaxTimeStampChars + kMaxFormatted];
    std::wstring large;
    const size_t capacity = 1 + kMaxTimeStampChars + length;
    if (capacity > std::size(local))
        large.resize(capacity);
    wchar_t* const record = capacity > std::size(local) ? &large[0] : local;
    wchar_t* end = record;
    if (!existed)
        *end++ = L'\xFEFF';
    if (timeStamp)
        end = PutTimeStamp(end);
    end = std::copy(text, text + length, end);
    DWORD written = 0;
    WriteFile(file, record, static_cast<DWORD>((end - record) * sizeof(wchar_t)), &written, nullptr);
    if (held.bursts > 0 && !held.file) {
        held.path = path;
        held.file = std::move(opened);
    }
    return true;
}

}  // namespace

CLogBurst::CLogBurst()
{
    ++Held().bursts;
}

CLogBurst::~CLogBurst()
{
    HeldLog& held = Held();
    if (--held.bursts == 0) {
        held.file.Reset();
        held.path.clear();
    }
}

bool WriteLog(const std::wstring& path, const std::wstring& text, bool timeStamp)
{
    return WriteRecord(path, text.data(), text.size(), timeStamp);
}

bool LogLine(const std::wstring& text, bool timeStamp)
{
    return WriteLog(g_Settings.LogPath, text, timeStamp);
}

void LogPrintf(const wchar_t* format, ...)
{
    // A line that goes nowhere is not formatted either.
    if (g_Settings.LogPath.empty())
        return;
    wchar_t text[kMaxFormatted + 1];
    va_list args;
    va_start(args, format);
    const size_t length = FormatInto(text, kMaxFormatted + 1, format, args);
    va_end(args);
    WriteRecord(g_Settings.LogPath, text, length, true);
}

void LogFormat(const std::wstring& path, const wchar_t* format, ...)
{
    wchar_t text[kMaxFormatted + 1];
    va_list args;
    va_start(args, format);
    const size_t length = FormatInto(text, kMaxFormatted + 1, format, args);
    va_end(args);
    WriteRecord(path, text, length, true);
}

bool ProbeFileName(const std::wstring& path)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    // The log of an earlier run in the same minute is this run's too.
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    file.Reset();
    if (!existed)
        DeleteFileW(path.c_str());
    return true;
}

std::wstring ComputeLogPath(CInstaller& installer)
{
    const std::wstring folder = TempFolder();
    const wchar_t* kind = g_Settings.Mode == ModeDeploy ? L"Deployment" : L"Setup";
    SYSTEMTIME now = platform::LocalTime();
    const std::wstring suffix = Format(L" %s (%04d.%02d.%02d %02d.%02d).log", kind, now.wYear, now.wMonth, now.wDay,
                                       now.wHour, now.wMinute);
    std::wstring name;
    if (!ChooseLogName(installer, folder, suffix, name))
        return std::wstring();
    return folder + name + suffix;
}
