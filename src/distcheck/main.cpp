// distcheck: checks a setup distribution as the setup itself reads it, and dry-runs its detection.
//   distcheck.exe [--dry-run] [--json] <distribution folder or setup.exe path>
// Exit code: 0 clean (notes only), 1 warnings, 2 errors (or a bad command line).
#include <windows.h>

#include "config/setup_ini.h"
#include "distcheck/dry_run.h"
#include "distcheck/offline_check.h"
#include "distcheck/report.h"
#include "win/library.h"
#include "win/text.h"

namespace {

const wchar_t kUsage[] = L"usage: distcheck.exe [--dry-run] [--json] <distribution folder or setup.exe path>\r\n";

// The setup program a folder or a path stands for: a folder's setup.exe, or where there is none a
// renamed program beside the ini of its name. A path that names nothing stands for a folder
// unless it names a program.
std::wstring ProgramOf(const wchar_t* argument)
{
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW(argument, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    std::wstring path(full, length);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool program = path.size() > 4 && EqualsNoCase(path.substr(path.size() - 4), L".exe");
    if (attributes == INVALID_FILE_ATTRIBUTES ? !program : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        if (path.back() != L'\\')
            path += L'\\';
        const std::wstring folder = path;
        path += L"setup.exe";
        for (const std::wstring& name : NamesIn(folder, L"*.exe")) {
            if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
                GetFileAttributesW((folder + name.substr(0, name.size() - 4) + L".ini").c_str()) != INVALID_FILE_ATTRIBUTES)
                path = folder + name;
        }
    }
    return path;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    RestrictDllSearchToSystemFolder();
    Report report;
    bool json = false;
    const wchar_t* target = nullptr;
    bool understood = true;
    for (int index = 1; index < argc; ++index) {
        const std::wstring argument = argv[index];
        if (argument == L"--dry-run")
            report.dryRun = true;
        else if (argument == L"--json")
            json = true;
        else if (!target && argument.compare(0, 2, L"--") != 0)
            target = argv[index];
        else
            understood = false;
    }
    report.distribution = target && understood ? ProgramOf(target) : std::wstring();
    if (report.distribution.empty()) {
        WriteStandard(STD_ERROR_HANDLE, kUsage);
        return 2;
    }
    SetProgramFile(report.distribution);
    CheckDistribution(report.distribution, report.findings);
    if (report.dryRun)
        DryRun(report);
    WriteStandard(STD_OUTPUT_HANDLE, json ? ReportJson(report) : ReportTable(report));
    return ExitCodeOf(report);
}
