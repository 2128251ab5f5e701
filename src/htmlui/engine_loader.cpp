// htmlayout.dll is a delay-loaded import: the one library the program takes from its own
// folder. The loader's hook names it by full path, with the system folder as the only place
// for the libraries it imports, so that nothing planted beside setup.exe comes along with it.
#include <windows.h>
#include <delayimp.h>

#include <cstring>

#include "config/setup_ini.h"
#include "htmlui/htmlayout_host.h"
#include "log/setup_log.h"
#include "win/exception_guard.h"
#include "win/text.h"

const wchar_t kHtmlEngineFile[] = L"htmlayout.dll";

namespace {

constexpr DWORD kModuleNotFound = 0xC06D007E;     // the delay-load helper's codes
constexpr DWORD kProcedureNotFound = 0xC06D007F;

FARPROC WINAPI LoadEngineFromProgramFolder(unsigned notification, PDelayLoadInfo info)
{
    if (notification != dliNotePreLoadLibrary || !info || !info->szDll ||
        lstrcmpiW(AnsiToWide(info->szDll, strlen(info->szDll), CP_ACP).c_str(), kHtmlEngineFile) != 0)
        return nullptr;  // every other library: the helper's own search, restricted at start-up
    const std::wstring path = GetModulePath(false, true) + kHtmlEngineFile;
    HMODULE engine = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Systems without the search flags: the engine imports only libraries Windows protects.
    if (!engine && GetLastError() == ERROR_INVALID_PARAMETER)
        engine = LoadLibraryExW(path.c_str(), nullptr, 0);
    return reinterpret_cast<FARPROC>(engine);
}

// The engine's functions the program calls besides the probe. The delay-load helper resolves
// each on its first call only; they are looked up at once so that a library without one of
// them is refused before the start screen instead of failing in the middle of it.
const char* const kEngineFunctions[] = {
    "HTMLayoutProcND", "HTMLayoutSetCallback", "HTMLayoutWindowAttachEventHandler",
    "HTMLayoutWindowDetachEventHandler", "HTMLayoutLoadHtmlEx", "HTMLayoutLoadFile", "HTMLayoutDataReady",
    "HTMLayoutGetRootElement", "HTMLayoutSelectElements", "HTMLayoutGetElementInnerTextCB",
    "HTMLayoutGetMinWidth", "HTMLayoutGetMinHeight", "HTMLayoutGetAttributeByName", "HTMLayoutGetElementHwnd",
    "HTMLayoutCallBehaviorMethod", "HTMLayout_UseElement", "HTMLayout_UnuseElement"};

std::wstring Text(const char* text)
{
    return text ? AnsiToWide(text, strlen(text), CP_ACP) : std::wstring();
}

void LogFunctionNotFound(const char* function, const std::wstring& library)
{
    LogPrintf(L"Function '%s' was not found in file '%s'.\r\n", Text(function).c_str(), library.c_str());
}

// Where the exception was raised: a failed delay load is logged and taken by the guard.
bool TakeDelayLoadFailure(const EXCEPTION_RECORD& record)
{
    const auto* info = record.NumberParameters >= 1
                           ? reinterpret_cast<const DelayLoadInfo*>(record.ExceptionInformation[0])
                           : nullptr;
    const std::wstring library = info ? Text(info->szDll) : std::wstring(kHtmlEngineFile);
    if (record.ExceptionCode == kModuleNotFound) {
        LogPrintf(L"Can't find file: '%s'\r\n", library.c_str());
        return true;
    }
    if (record.ExceptionCode == kProcedureNotFound) {
        if (info && info->dlp.fImportByName)
            LogFunctionNotFound(info->dlp.szProcName, library);
        else
            LogPrintf(L"Function ordinal %d was not found in '%s'.\r\n",
                      info ? static_cast<int>(info->dlp.dwOrdinal) : 0, library.c_str());
        return true;
    }
    LogPrintf(L"Unknown exception buring load file '%s'.\r\n", kHtmlEngineFile);
    return false;
}

}  // namespace

// The helper asks this hook before it loads any delay-loaded library.
PfnDliHook __pfnDliNotifyHook2 = LoadEngineFromProgramFolder;

bool IsHtmlLayoutAvailable()
{
    DWORD exceptionCode = 0;
    if (!RunGuarded([] { HTMLayoutClassNameA(); }, exceptionCode, TakeDelayLoadFailure))
        return false;
    HMODULE engine = GetModuleHandleW((GetModulePath(false, true) + kHtmlEngineFile).c_str());
    for (const char* function : kEngineFunctions) {
        if (!engine || !GetProcAddress(engine, function)) {
            LogFunctionNotFound(function, kHtmlEngineFile);
            return false;
        }
    }
    return true;
}
