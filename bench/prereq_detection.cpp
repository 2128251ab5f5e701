// Prerequisite detection of 100 "PreReq%d" sections, each with a name, a command and all 33
// registry conditions, none of which holds (so every condition is read and compared): the whole
// detection through the program's ini reader (ReadPrerequisites) against the same key reads
// through GetPrivateProfileStringA followed by the same evaluation, and against the floor the
// registry sets: the bare calls the conditions imply (each key opened and, where it exists, its
// value queried and the key closed), nothing else. Once writing the setup log as a run does,
// once without a log file. Prints the medians and the medians of the runs' ratios; asserts nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/settings.h"
#include "config/ini_file.h"
#include "config/setup_ini.h"
#include "log/setup_log.h"
#include "prereq/prerequisite.h"
#include "prereq/system_checks.h"
#include "win/text.h"

namespace {

constexpr int kSections = 100;
constexpr int kNumberedConditions = 32;
const wchar_t kBenchKey[] = L"Software\\SetupLauncherBench";

// Conditions that read an existing value and do not hold, and one whose value is missing.
const char* const kConditions[][2] = {
    {"HKEY_CURRENT_USER\\Software\\SetupLauncherBench\\Version", "VERSION>=2.0"},
    {"HKEY_CURRENT_USER\\Software\\SetupLauncherBench\\Flag", "DWORD=1"},
    {"HKEY_CURRENT_USER\\Software\\SetupLauncherBench\\Edition", "STRING=Professional"},
    {"HKEY_CURRENT_USER\\Software\\SetupLauncherBench\\Absent", "DWORD>=1"},
};

std::string BenchIni()
{
    std::string ini = "[Main]\r\nMsiPath=product.msi\r\n";
    char line[256];
    for (int section = 0; section < kSections; ++section) {
        snprintf(line, sizeof line, "\r\n[PreReq%d]\r\nName=Component %d\r\nInstPath=#Root#\\components\\c%d.exe\r\n",
                 section, section, section);
        ini += line;
        for (int condition = -1; condition < kNumberedConditions; ++condition) {
            const char* const* pair = kConditions[(section + condition + 1) % 4];
            char number[16] = "";
            if (condition >= 0)
                snprintf(number, sizeof number, "%d", condition);
            snprintf(line, sizeof line, "RegPath%s=%s\r\nRegCond%s=%s\r\n", number, pair[0], number, pair[1]);
            ini += line;
        }
    }
    return ini;
}

// The reads of ReadPrerequisites, key by key, through the system's profile function.
class ProfileReader {
public:
    explicit ProfileReader(std::string iniPath) : iniPath_(std::move(iniPath)) {}

    std::wstring String(const char* section, const char* key) const
    {
        char buffer[2048];
        const DWORD length = GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, iniPath_.c_str());
        return AnsiToWide(buffer, length, CP_ACP);
    }
    int Int(const char* section, const char* key, int defaultValue) const
    {
        const std::wstring text = String(section, key);
        return text.empty() ? defaultValue : static_cast<int>(ProfileInteger(text));
    }

    void ReadPrerequisites(PrerequisiteList& list) const
    {
        const CLogBurst burst;  // the log is written as the program writes it
        list.clear();
        for (int index = 0; index < kSections; ++index) {
            char section[32];
            snprintf(section, sizeof section, "PreReq%d", index);
            PrerequisiteInfo record;
            record.Name = String(section, "Name");
            if (record.Name.empty())
                continue;
            record.Url = String(section, "Url");
            record.InstPath = String(section, "InstPath");
            if (record.InstPath.empty())
                continue;
            ExpandPathMacros(record.InstPath);
            record.InstParams = String(section, "InstParams");
            record.UpdateParams = String(section, "UpdateParams");
            record.IsUninstall = Int(section, "IsUninstall", 0);
            record.AdminNeed = Int(section, "AdminNeed", 1);
            record.RunAs = Int(section, "RunAs", 0);
            record.OSbit = Int(section, "OSbit", 0);
            record.OSver = wcstol(String(section, "OSver").c_str(), nullptr, 10);
            record.Key64 = Int(section, "Key64", 0);
            record.FilePath = String(section, "FilePath");
            ExpandPathMacros(record.FilePath);
            record.FileVer = ParseVersion(String(section, "FileVer"));
            record.FileTryLoad = Int(section, "FileTryLoad", 0);
            record.MsiProd = String(section, "MsiProd");
            ReadCondition(section, "RegPath", "RegCond", record.RegConditions);
            for (int number = 0; number < kNumberedConditions; ++number) {
                char path[16];
                char condition[16];
                snprintf(path, sizeof path, "RegPath%d", number);
                snprintf(condition, sizeof condition, "RegCond%d", number);
                ReadCondition(section, path, condition, record.RegConditions);
            }
            record.ChooseDownload = String(section, "ChooseDownload");
            record.RunExeCond = String(section, "RunExeCond");
            record.SkipIfFoundInPath = String(section, "SkipIfFoundInPath");
            const int optional = Int(section, "Optional", -1);
            record.OptionalState = optional == -1 ? 2 : optional == 0 ? 1 : 0;
            if (CheckPrerequisite(record) || record.IsUninstall != 0)
                list.push_back(std::move(record));
        }
    }

private:
    void ReadCondition(const char* section, const char* pathKey, const char* conditionKey,
                       std::vector<RegCondition>& list) const
    {
        RegCondition condition{String(section, pathKey), String(section, conditionKey)};
        if (!condition.RegPath.empty() && !condition.RegCond.empty())
            list.push_back(std::move(condition));
    }

    std::string iniPath_;
};

// The registry calls of the conditions, parsed beforehand: what detection cannot do without.
class RegistryFloor {
public:
    RegistryFloor()
    {
        for (int section = 0; section < kSections; ++section) {
            for (int condition = -1; condition < kNumberedConditions; ++condition) {
                const char* const* pair = kConditions[(section + condition + 1) % 4];
                const std::wstring path = AnsiToWide(pair[0], strlen(pair[0]), CP_ACP);
                const size_t keyStart = path.find(L'\\') + 1;
                const size_t valueStart = path.rfind(L'\\');
                // All the bench's paths are under HKEY_CURRENT_USER; DWORD conditions read 4 bytes.
                calls_.push_back({path.substr(keyStart, valueStart - keyStart), path.substr(valueStart + 1),
                                  strncmp(pair[1], "DWORD", 5) == 0 ? DWORD{4} : DWORD{520}});
            }
        }
    }

    void Read() const
    {
        wchar_t buffer[261];
        for (const Call& call : calls_) {
            HKEY key;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, call.keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
                continue;
            DWORD size = call.size;
            RegQueryValueExW(key, call.valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
            RegCloseKey(key);
        }
    }

private:
    struct Call {
        std::wstring keyPath;
        std::wstring valueName;
        DWORD size;
    };
    std::vector<Call> calls_;
};

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One detection, starting from an empty log as a run does.
template <class Detect>
double Timed(Detect detect)
{
    if (!g_Settings.LogPath.empty())
        DeleteFileW(g_Settings.LogPath.c_str());
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    detect();
    QueryPerformanceCounter(&end);
    return Milliseconds(start, end);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The median of the runs' ratios: the two times of a run are taken back to back, so a slower
// spell of the machine (other builds, a wineserver that waits for a core) weighs on both.
double MedianRatio(const std::vector<double>& times, const std::vector<double>& references)
{
    std::vector<double> ratios;
    for (size_t index = 0; index < times.size(); ++index)
        ratios.push_back(times[index] / references[index]);
    return Median(ratios);
}

void PrintTimes(const char* label, const std::vector<double>& times)
{
    printf("%-26s median %8.1f ms  (", label, Median(times));
    for (size_t index = 0; index < times.size(); ++index)
        printf(index ? " %.1f" : "%.1f", times[index]);
    printf(")\n");
}

bool WriteRegistryValues()
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kBenchKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const DWORD flag = 0;
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1.5"), 8);
    RegSetValueExW(key, L"Flag", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flag), sizeof flag);
    RegSetValueExW(key, L"Edition", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"Basic"), 12);
    RegCloseKey(key);
    return true;
}

}  // namespace

int wmain()
{
    const char* runsText = getenv("BENCH_RUNS");
    const int runs = runsText && atoi(runsText) > 0 ? atoi(runsText) : 15;

    const std::wstring iniPath = GetIniPath();
    const std::string ini = BenchIni();
    HANDLE file = CreateFileW(iniPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE || !WriteFile(file, ini.data(), static_cast<DWORD>(ini.size()), &written, nullptr) ||
        !WriteRegistryValues()) {
        fprintf(stderr, "cannot write the bench's ini or registry values\n");
        return 1;
    }
    CloseHandle(file);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring logPath = std::wstring(temp) + L"prereq_bench.log";

    printf("prerequisite detection: %d sections x 33 registry conditions (none holds), %d runs after one "
           "warm-up each\n",
           kSections, runs);
    const ProfileReader profile(WideToAnsi(iniPath, CP_ACP));
    const RegistryFloor floor;
    // As a run does it (a log line per unmet condition), then without a log to show the readers
    // apart from the log's cost.
    for (const bool logged : {true, false}) {
        g_Settings.LogPath = logged ? logPath : std::wstring();
        PrerequisiteList ours;
        PrerequisiteList theirs;
        std::vector<double> ourTimes;
        std::vector<double> profileTimes;
        std::vector<double> floorTimes;
        // One warm-up of each, not counted.
        for (int run = -1; run < runs; ++run) {
            const double ourTime = Timed([&] { ReadPrerequisites(L"PreReq%d", ours); });
            const double profileTime = Timed([&] { profile.ReadPrerequisites(theirs); });
            const double floorTime = Timed([&] { floor.Read(); });
            if (run >= 0) {
                ourTimes.push_back(ourTime);
                profileTimes.push_back(profileTime);
                floorTimes.push_back(floorTime);
            }
        }
        printf("\n%s (components listed: %u through our reader, %u through GetPrivateProfileStringA)\n",
               logged ? "with the setup log" : "without a log file", static_cast<unsigned>(ours.size()),
               static_cast<unsigned>(theirs.size()));
        PrintTimes("our ini reader", ourTimes);
        PrintTimes("GetPrivateProfileStringA", profileTimes);
        PrintTimes("registry calls alone", floorTimes);
        printf("ratio ours/GetPrivateProfileStringA: %.3f\n", MedianRatio(ourTimes, profileTimes));
        printf("ratio ours/registry calls alone:     %.3f\n", MedianRatio(ourTimes, floorTimes));
    }

    DeleteFileW(logPath.c_str());
    DeleteFileW(iniPath.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, kBenchKey);
    return 0;
}
