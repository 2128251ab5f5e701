// From starting setup.exe to its first window shown and painted: the start page (no arguments,
// the window captioned with the page's title) against the usage box (a bad first option, shown
// before anything is read), alternately, in the same run. A window counts as painted once it is visible and its program waits for input.
// Prints the medians and their ratio; asserts nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Search {
    DWORD process;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t caption[128] = {};
    GetWindowTextW(window, caption, 128);
    if (process != search->process || !IsWindowVisible(window) || wcscmp(caption, search->title) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

// Seconds from CreateProcessW to the window painted, or a negative number when it never came.
double TimeToWindow(const std::wstring& program, const wchar_t* args, const wchar_t* title)
{
    std::wstring commandLine = L"\"" + program + L"\" " + args;
    std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER frequency, began, shown;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&began);
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process))
        return -1;
    Search search = {process.dwProcessId, title, nullptr};
    while (EnumWindows(Visit, reinterpret_cast<LPARAM>(&search)) && !search.found)
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0)
            break;
    if (search.found)
        WaitForInputIdle(process.hProcess, 10000);
    QueryPerformanceCounter(&shown);
    if (search.found)
        PostMessageW(search.found, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return search.found ? double(shown.QuadPart - began.QuadPart) / double(frequency.QuadPart) : -1;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2 && argc != 3) {
        fwprintf(stderr, L"usage: start_screen_bench.exe <path of setup.exe beside htmlayout.dll> [<its page's title>]\n");
        return 1;
    }
    const wchar_t* title = argc == 3 ? argv[2] : L"Платформа Orvanta 21.0";
    const char* runsText = getenv("BENCH_RUNS");
    const int runs = runsText && atoi(runsText) > 0 ? atoi(runsText) : 15;
    std::vector<double> page, usage;
    for (int run = -1; run < runs; ++run) {  // one warm-up of each, not counted
        const double pageTime = TimeToWindow(argv[1], L"", title);
        const double usageTime = TimeToWindow(argv[1], L"/I", L"Usage Info");
        if (pageTime < 0 || usageTime < 0) {
            fwprintf(stderr, L"a window did not come: start page %s, usage box %s\n", pageTime < 0 ? L"no" : L"yes",
                     usageTime < 0 ? L"no" : L"yes");
            return 2;
        }
        if (run >= 0) {
            page.push_back(pageTime);
            usage.push_back(usageTime);
        }
    }
    printf("runs: %d (after one warm-up each)\n", runs);
    printf("start page shown and painted   median %.1f ms\n", Median(page) * 1000);
    printf("usage box shown and painted    median %.1f ms\n", Median(usage) * 1000);
    printf("ratio start page/usage box: %.2f\n", Median(page) / Median(usage));
    return 0;
}
