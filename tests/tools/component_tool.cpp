// component_tool: stands in for a component installer (writes what makes its prerequisite count
// as present, records how it was called, exits with a chosen code) and for a checking tool
// (prints a text, exits with a code). Options act in the order given:
//   --print TEXT          TEXT as UTF-8 to standard output in one write; escapes \n \r \t \\,
//                         \0 (a zero byte) and \xHH (the byte HH)
//   --print-err TEXT      the same to standard error
//   --print-bytes N       N bytes in one write: the k-th block of 4096 is all 'A' + k % 26
//   --exit N              the exit code once everything is done (default 0)
//   --reg-dword HKCU\Key\Name=N    sets a REG_DWORD under HKEY_CURRENT_USER
//   --copy SRC DST        copies a file
//   --record FILE         appends the tool's command line as one UTF-8 line with CRLF
//   --spawn ARGS          starts the tool again with ARGS and its standard handles, not waiting
//   --wait-event NAME     waits at most 60 s for the named event
//   --sleep MS            sleeps MS milliseconds
// A failed option ends the tool with 255 at once.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string Utf8(const std::wstring& text)
{
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &bytes[0], (int)bytes.size(),
                                     nullptr, nullptr));
    return bytes;
}

std::string Unescape(const std::wstring& text)
{
    std::wstring run;
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        char byte = 0;
        bool escaped = text[i] == L'\\' && i + 1 < text.size();
        switch (escaped ? text[i + 1] : 0) {
        case L'n': byte = '\n'; break;
        case L'r': byte = '\r'; break;
        case L't': byte = '\t'; break;
        case L'\\': byte = '\\'; break;
        case L'0': break;
        case L'x':
            byte = (char)wcstoul(text.substr(i + 2, 2).c_str(), nullptr, 16);
            i += 2;
            break;
        default: escaped = false;
        }
        if (!escaped) {
            run += text[i];
            continue;
        }
        bytes += Utf8(run) + byte;
        run.clear();
        ++i;
    }
    return bytes + Utf8(run);
}

void Write(DWORD which, const std::string& bytes)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(which), bytes.data(), (DWORD)bytes.size(), &written, nullptr);
}

bool SetDword(const std::wstring& spec)
{
    const size_t equals = spec.find(L'='), slash = spec.rfind(L'\\', equals);
    if (spec.compare(0, 5, L"HKCU\\") != 0 || equals == std::wstring::npos || slash < 5)
        return false;
    HKEY key = nullptr;
    const DWORD value = wcstoul(spec.c_str() + equals + 1, nullptr, 10);
    const bool done = RegCreateKeyExW(HKEY_CURRENT_USER, spec.substr(5, slash - 5).c_str(), 0, nullptr, 0,
                                      KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS &&
                      RegSetValueExW(key, spec.substr(slash + 1, equals - slash - 1).c_str(), 0, REG_DWORD,
                                     (const BYTE*)&value, sizeof value) == ERROR_SUCCESS;
    RegCloseKey(key);
    return done;
}

bool Spawn(const std::wstring& arguments)
{
    wchar_t self[MAX_PATH];
    std::wstring line = L"\"" + std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH)) + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
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

bool Record(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::string line = Utf8(GetCommandLineW()) + "\r\n";
    DWORD written = 0;
    const bool done = WriteFile(file, line.data(), (DWORD)line.size(), &written, nullptr);
    CloseHandle(file);
    return done;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int exitCode = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i], value = argv[i + 1];
        bool done = true;
        if (option == L"--print" || option == L"--print-err") {
            Write(option == L"--print" ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, Unescape(value));
        } else if (option == L"--print-bytes") {
            std::string filler(wcstoul(value.c_str(), nullptr, 10), '\0');
            for (size_t at = 0; at < filler.size(); ++at)
                filler[at] = (char)('A' + at / 4096 % 26);
            Write(STD_OUTPUT_HANDLE, filler);
        } else if (option == L"--exit") {
            exitCode = wcstol(value.c_str(), nullptr, 10);
        } else if (option == L"--sleep") {
            Sleep(wcstoul(value.c_str(), nullptr, 10));
        } else if (option == L"--reg-dword") {
            done = SetDword(value);
        } else if (option == L"--copy" && i + 2 < argc) {
            done = CopyFileW(value.c_str(), argv[++i + 1], FALSE);
        } else if (option == L"--record") {
            done = Record(value);
        } else if (option == L"--spawn") {
            done = Spawn(value);
        } else if (option == L"--wait-event") {
            HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, value.c_str());
            done = event && WaitForSingleObject(event, 60000) == WAIT_OBJECT_0;
            CloseHandle(event);
        } else {
            done = false;
        }
        if (!done) {
            Write(STD_ERROR_HANDLE, "component_tool: " + Utf8(option + L" " + value) + " failed\r\n");
            return 255;
        }
    }
    return exitCode;
}
