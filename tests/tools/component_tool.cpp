// component_tool: a console program the tests use in place of a component installer (it writes
// what makes a prerequisite count as present, records how it was called, exits with a chosen
// code) and of a checking tool (prints a text, exits with a code).
//
//   component_tool [option...]
//
// Options act in the order given:
//   --print TEXT          TEXT as UTF-8 to standard output in one write. Escapes: \n \r \t \\,
//                         \0 (a zero byte) and \xHH (the byte HH); any other backslash is kept.
//   --print-err TEXT      the same to standard error
//   --print-bytes N       N bytes of filler to standard output in one write: the k-th block of
//                         4096 bytes is all the letter 'A' + k % 26
//   --exit N              the exit code when everything has been done (decimal, may be
//                         negative; default 0)
//   --view 64|32          registry view of the --reg-* options that follow (default 64)
//   --reg-sz ROOT\Key\Name=DATA    creates the key and sets the REG_SZ value. ROOT is HKLM,
//                         HKCU, HKCR, HKU or their HKEY_ names; the first "=" ends the name;
//                         ROOT\Key\=DATA sets the key's default value
//   --reg-dword ROOT\Key\Name=N    the same with a REG_DWORD (decimal)
//   --file PATH           creates the file (empty), and any folders it lacks
//   --copy SRC DST        copies SRC over DST, creating the folders DST lacks
//   --record FILE         appends the command line the tool got, as one UTF-8 line with CRLF
//   --sleep MS            sleeps
//   --spawn ARGS          starts this program again with ARGS (one argument holding the
//                         options), passing its standard handles on, and does not wait
//   --wait-event NAME     waits for the named event to be set, at most 60 seconds
//
// A failed option (bad value, unwritable file or key) prints "component_tool: ..." to standard
// error and ends the tool with 255 at once; printing to a missing or closed output is not a
// failure. Unknown options fail the same way.
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <string>

#include "win/handles.h"

namespace {

constexpr int kFailure = 255;
constexpr size_t kFillerBlock = 4096;

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                            nullptr);
    return bytes;
}

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// The bytes of a --print text: UTF-8, with the escapes expanded.
std::string Unescape(const std::wstring& text)
{
    std::string bytes;
    std::wstring run;  // plain characters not yet encoded
    for (size_t i = 0; i < text.size(); ++i) {
        char byte = 0;
        size_t length = 0;  // characters of the escape after its backslash
        if (text[i] == L'\\' && i + 1 < text.size()) {
            switch (text[i + 1]) {
            case L'n': byte = '\n'; length = 1; break;
            case L'r': byte = '\r'; length = 1; break;
            case L't': byte = '\t'; length = 1; break;
            case L'\\': byte = '\\'; length = 1; break;
            case L'0': byte = '\0'; length = 1; break;
            case L'x':
                if (i + 3 < text.size() && HexDigit(text[i + 2]) >= 0 && HexDigit(text[i + 3]) >= 0) {
                    byte = static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
                    length = 3;
                }
                break;
            default:
                break;
            }
        }
        if (length == 0) {
            run += text[i];
            continue;
        }
        bytes += ToUtf8(run);
        run.clear();
        bytes += byte;
        i += length;
    }
    return bytes + ToUtf8(run);
}

void WriteAll(DWORD which, const std::string& bytes)
{
    HANDLE output = GetStdHandle(which);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(output, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return;
        done += written;
    }
}

int Fail(const std::wstring& what)
{
    WriteAll(STD_ERROR_HANDLE, ToUtf8(L"component_tool: " + what + L"\r\n"));
    return kFailure;
}

bool ParseNumber(const std::wstring& text, long long& value)
{
    if (text.empty())
        return false;
    wchar_t* end = nullptr;
    value = _wcstoi64(text.c_str(), &end, 10);
    return end && *end == L'\0';
}

bool RootKey(const std::wstring& name, HKEY& root)
{
    struct Root {
        const wchar_t* shortName;
        const wchar_t* longName;
        HKEY key;
    };
    const Root roots[] = {
        {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {L"HKU", L"HKEY_USERS", HKEY_USERS},
    };
    for (const Root& r : roots) {
        if (_wcsicmp(name.c_str(), r.shortName) == 0 || _wcsicmp(name.c_str(), r.longName) == 0) {
            root = r.key;
            return true;
        }
    }
    return false;
}

// "ROOT\Key\Name=DATA" written as a value of the given type in the given view.
bool WriteRegistryValue(const std::wstring& spec, DWORD type, REGSAM view, std::wstring& error)
{
    const size_t equals = spec.find(L'=');
    const std::wstring path = spec.substr(0, equals);
    const size_t firstSlash = path.find(L'\\');
    const size_t lastSlash = path.rfind(L'\\');
    HKEY root = nullptr;
    if (equals == std::wstring::npos || firstSlash == std::wstring::npos || firstSlash == lastSlash ||
        !RootKey(path.substr(0, firstSlash), root)) {
        error = L"not ROOT\\Key\\Name=DATA: " + spec;
        return false;
    }
    const std::wstring subKey = path.substr(firstSlash + 1, lastSlash - firstSlash - 1);
    const std::wstring name = path.substr(lastSlash + 1);
    const std::wstring data = spec.substr(equals + 1);

    UniqueRegKey key;
    LONG result = RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                                  key.Receive(), nullptr);
    if (result == ERROR_SUCCESS) {
        if (type == REG_DWORD) {
            long long number = 0;
            if (!ParseNumber(data, number)) {
                error = L"not a number: " + data;
                return false;
            }
            const DWORD value = static_cast<DWORD>(number);
            result = RegSetValueExW(key.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                    sizeof(value));
        } else {
            result = RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                    static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        }
    }
    if (result != ERROR_SUCCESS) {
        error = L"registry write failed (" + std::to_wstring(result) + L"): " + spec;
        return false;
    }
    return true;
}

void CreateParentFolders(const std::wstring& path)
{
    for (size_t at = path.find_first_of(L"\\/", 3); at != std::wstring::npos; at = path.find_first_of(L"\\/", at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
}

std::wstring OwnPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool Spawn(const std::wstring& arguments)
{
    std::wstring line = L"\"" + OwnPath() + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

// How many values follow the option; 0 for an option the tool does not know.
int ValueCount(const std::wstring& option)
{
    if (option == L"--copy")
        return 2;
    const wchar_t* const oneValue[] = {L"--print", L"--print-err", L"--print-bytes", L"--exit", L"--view",
                                       L"--reg-sz", L"--reg-dword", L"--file", L"--record", L"--sleep",
                                       L"--spawn", L"--wait-event"};
    for (const wchar_t* known : oneValue) {
        if (option == known)
            return 1;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    long long exitCode = 0;
    REGSAM view = KEY_WOW64_64KEY;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        const int values = ValueCount(option);
        if (values == 0)
            return Fail(L"unknown option " + option);
        if (i + values >= argc)
            return Fail(L"missing value of " + option);
        const std::wstring value = argv[i + 1];
        i += values;
        std::wstring error;
        long long number = 0;
        if (option == L"--print") {
            WriteAll(STD_OUTPUT_HANDLE, Unescape(value));
        } else if (option == L"--print-err") {
            WriteAll(STD_ERROR_HANDLE, Unescape(value));
        } else if (option == L"--print-bytes") {
            if (!ParseNumber(value, number) || number < 0 || number > 64 * 1024 * 1024)
                return Fail(L"bad byte count: " + value);
            std::string filler(static_cast<size_t>(number), '\0');
            for (size_t at = 0; at < filler.size(); ++at)
                filler[at] = static_cast<char>('A' + (at / kFillerBlock) % 26);
            WriteAll(STD_OUTPUT_HANDLE, filler);
        } else if (option == L"--exit") {
            if (!ParseNumber(value, exitCode))
                return Fail(L"bad exit code: " + value);
        } else if (option == L"--view") {
            if (value != L"64" && value != L"32")
                return Fail(L"view is 64 or 32: " + value);
            view = value == L"64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
        } else if (option == L"--reg-sz" || option == L"--reg-dword") {
            if (!WriteRegistryValue(value, option == L"--reg-sz" ? REG_SZ : REG_DWORD, view, error))
                return Fail(error);
        } else if (option == L"--file") {
            CreateParentFolders(value);
            UniqueHandle file(CreateFileW(value.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file)
                return Fail(L"cannot create " + value);
        } else if (option == L"--copy") {
            const std::wstring target = argv[i];
            CreateParentFolders(target);
            if (!CopyFileW(value.c_str(), target.c_str(), FALSE))
                return Fail(L"cannot copy " + value + L" to " + target);
        } else if (option == L"--record") {
            CreateParentFolders(value);
            UniqueHandle file(CreateFileW(value.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            const std::string line = ToUtf8(GetCommandLineW()) + "\r\n";
            DWORD written = 0;
            if (!file || !WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
                return Fail(L"cannot record to " + value);
        } else if (option == L"--sleep") {
            if (!ParseNumber(value, number) || number < 0 || number > MAXDWORD)
                return Fail(L"bad sleep time: " + value);
            Sleep(static_cast<DWORD>(number));
        } else if (option == L"--spawn") {
            if (!Spawn(value))
                return Fail(L"cannot start " + value);
        } else {  // --wait-event
            UniqueHandle event(OpenEventW(SYNCHRONIZE, FALSE, value.c_str()));
            if (!event)
                return Fail(L"no event " + value);
            WaitForSingleObject(event.Get(), 60 * 1000);
        }
    }
    return static_cast<int>(static_cast<DWORD>(exitCode));
}
