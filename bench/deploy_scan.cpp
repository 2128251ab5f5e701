// The deployment's scan of a generated distribution of 10,000 files in 200 folders (with two
// exclusion entries that match nothing, so that every path is compared) against a plain
// FindFirstFileW walk of the same tree in the same run. Prints the medians and their ratio, the
// scan's own cost on top of listing the files; asserts nothing. The scan lists the folder of the
// running program, so the bench copies itself into the generated distribution and measures there.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "deploy/deployment_scan.h"

namespace {

constexpr int kFolders = 200;
constexpr int kFilesPerFolder = 50;

bool WriteFileText(const std::wstring& path, const char* text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool done = WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr) != 0;
    CloseHandle(file);
    return done;
}

void PlainWalk(const std::wstring& folder, size_t& files, uint64_t& bytes)
{
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ++files;
            bytes += (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        } else if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0) {
            PlainWalk(folder + L"\\" + entry.cFileName, files, bytes);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

template <class Work>
double Milliseconds(Work work)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*.*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring path = folder + L"\\" + entry.cFileName;
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW(path.c_str());
            else if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0)
                RemoveTree(path);
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

int Measure(const std::wstring& root, int runs)
{
    std::vector<double> scanTimes;
    std::vector<double> walkTimes;
    size_t scanned = 0;
    size_t walked = 0;
    for (int run = -1; run < runs; ++run) {  // one warm-up, not counted
        DeploymentState state;
        const double scanTime = Milliseconds([&] { ScanDistribution(state); });
        size_t files = 0;
        uint64_t bytes = 0;
        const double walkTime = Milliseconds([&] { PlainWalk(root, files, bytes); });
        scanned = state.SourceFiles.size();
        walked = files;
        if (run >= 0) {
            scanTimes.push_back(scanTime);
            walkTimes.push_back(walkTime);
        }
    }
    printf("deployment scan: %d folders x %d files, %d runs after one warm-up (files listed: %u by the scan, "
           "%u by the plain walk)\n",
           kFolders, kFilesPerFolder, runs, static_cast<unsigned>(scanned), static_cast<unsigned>(walked));
    printf("%-26s median %8.1f ms\n", "ScanDistribution", Median(scanTimes));
    printf("%-26s median %8.1f ms\n", "plain FindFirstFileW walk", Median(walkTimes));
    printf("ratio scan/plain walk: %.3f\n", Median(scanTimes) / Median(walkTimes));
    fflush(stdout);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const char* runsText = getenv("BENCH_RUNS");
    const int runs = runsText && atoi(runsText) > 0 ? atoi(runsText) : 9;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"deploy_scan_bench";
    if (argc == 2 && wcscmp(argv[1], L"--inside") == 0)
        return Measure(root, runs);

    RemoveTree(root);
    CreateDirectoryW(root.c_str(), nullptr);
    bool made = WriteFileText(root + L"\\deploy_scan.ini",
                              "[DeploymentExcludeFolders]\r\nFolder0=#Root#\\absent\r\n"
                              "[DeploymentExcludeFiles]\r\nFile0=#Root#\\absent.txt\r\n");
    for (int folder = 0; folder < kFolders && made; ++folder) {
        const std::wstring path = root + L"\\folder" + std::to_wstring(folder);
        made = CreateDirectoryW(path.c_str(), nullptr) != 0;
        for (int file = 0; file < kFilesPerFolder && made; ++file)
            made = WriteFileText(path + L"\\file" + std::to_wstring(file) + L".dat", "content");
    }
    const std::wstring inside = root + L"\\deploy_scan.exe";
    if (!made || !CopyFileW(argv[0], inside.c_str(), FALSE)) {
        fprintf(stderr, "cannot write the bench's distribution\n");
        return 1;
    }
    std::wstring command = L"\"" + inside + L"\" --inside";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    DWORD code = 1;
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    RemoveTree(root);
    return static_cast<int>(code);
}
