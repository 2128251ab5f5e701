#include "deploy/deployment_worker.h"

#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <algorithm>

#include "config/setup_ini.h"
#include "deploy/deploy_paths.h"
#include "deploy/deployment_scan.h"
#include "deploy/deployment_settings.h"
#include "deploy/deployment_wizard.h"
#include "log/error_text.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "resources/string_ids.h"

namespace {

// The copy is paced on purpose: a wait for Cancel before every file, a pause after the last one
// and after every file the rollback deletes, so that the administrator can follow and stop it.
constexpr DWORD kPaceMilliseconds = 500;

unsigned WINAPI WorkerThread(void* state)
{
    return DeploymentWorker(*static_cast<DeploymentState*>(state));
}

void RemoveFolder(const std::wstring& folder)
{
    if (RemoveDirectoryW(LongPathForm(folder).c_str()))
        LogPrintf(L"Folder '%s' removed.\r\n", folder.c_str());
    else
        LogPrintf(L"Can't remove folder '%s'. %s\r\n", folder.c_str(), ErrorText(GetLastError()).c_str());
}

}  // namespace

void StartDeployment(DeploymentState& state, DeploymentDeployPage& page)
{
    if (!state.Scanned)
        ScanDistribution(state);
    state.DeployPage = &page;
    UniqueHandle thread(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &WorkerThread, &state, 0, nullptr)));
    if (thread)
        return;
    // Without its worker the page would wait for ever: the run ends as a failed one, on the
    // Complete page (posted, since the sheet is still switching to this page).
    LogPrintf(L"Can't start deployment. %s\r\n", ErrorText(GetLastError()).c_str());
    state.Cancelled = true;
    PostMessageW(page.Sheet(), PSM_PRESSBUTTON, PSBTN_NEXT, 0);
}

unsigned DeploymentWorker(DeploymentState& state)
{
    std::vector<std::wstring> copied;
    bool done = CopyFiles(state, copied);
    if (done)
        done = WriteDeploymentSettings(state);
    if (!done) {
        state.Cancelled = true;
        Rollback(state, copied);
    }
    // Synchronous: the Complete page reads Cancelled while this call runs. The state is not
    // touched after it, since the wizard may close and free it.
    SendMessageW(state.DeployPage->Sheet(), PSM_PRESSBUTTON, PSBTN_NEXT, 0);
    return 0;
}

bool CopyFiles(DeploymentState& state, std::vector<std::wstring>& copied)
{
    DeploymentDeployPage& page = *state.DeployPage;
    const std::wstring root = GetModulePath(false, true);
    SendMessageW(page.ProgressBar(), PBM_SETRANGE32, 0, static_cast<LPARAM>(state.SourceFiles.size()));
    SendMessageW(page.ProgressBar(), PBM_SETSTEP, 1, 0);
    LogLine(L"Start files copy:\r\n");
    for (const std::wstring& source : state.SourceFiles) {
        // Cancel is looked at only here, between two files; the wait resets the event.
        if (WaitForSingleObject(state.CancelEvent.Get(), kPaceMilliseconds) != WAIT_TIMEOUT && ConfirmCancel(state))
            return false;
        page.ShowFile(source);
        const std::wstring target = state.DestinationFolder + source.substr(std::min(root.size(), source.size()));
        const std::wstring folder = ParentFolder(target);
        if (!PathExists(folder)) {
            const int created = CreateFolderTree(folder);
            if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS) {
                LogPrintf(L"Can't create folder '%s'. %s\r\n", folder.c_str(), ErrorText(created).c_str());
                ShowDeploymentMessage(
                    FormatText(IDS_CANT_CREATE_FOLDER, folder.c_str(), ErrorTextCaptioned(created).c_str()),
                    MB_ICONERROR);
                return false;
            }
        }
        // Windows' copy refuses to write over a read-only or hidden file (one copied from a DVD
        // by hand, a second deployment to the same share): those attributes go first, and come
        // back when the copy fails.
        const std::wstring longTarget = LongPathForm(target);
        const DWORD found = GetFileAttributesW(longTarget.c_str());
        const bool existed = found != INVALID_FILE_ATTRIBUTES;
        constexpr DWORD kBlocking = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
        const bool cleared = existed && (found & kBlocking) && SetFileAttributesW(longTarget.c_str(), found & ~kBlocking);
        // A folder the scan could not list fails as a file that cannot be read.
        const DWORD error = source.back() == L'\\' ? state.ListError
                            : CopyFileW(LongPathForm(source).c_str(), longTarget.c_str(), FALSE)
                                ? 0
                                : GetLastError();
        if (error != 0) {
            // What the failed copy began (a full disk stops it half way) goes with the rollback.
            if (!existed && PathExists(target))
                copied.push_back(target);
            if (cleared)
                SetFileAttributesW(longTarget.c_str(), found);
            LogPrintf(L"Can't copy file from '%s' to '%s'. %s\r\n", source.c_str(), target.c_str(),
                      ErrorText(error).c_str());
            ShowDeploymentMessage(FormatText(IDS_CANT_COPY_FILE, source.c_str(), target.c_str(),
                                             ErrorTextCaptioned(error).c_str()),
                                  MB_ICONERROR);
            return false;
        }
        // A copy from a CD or DVD would keep its read-only attribute: the copy's setup ini could
        // not take the settings, and no later installation could update the copy.
        MakeWritable(target);
        LogPrintf(L"File '%s' copied.\r\n", target.c_str());
        copied.push_back(target);
        SendMessageW(page.ProgressBar(), PBM_STEPIT, 0, 0);
    }
    Sleep(kPaceMilliseconds);
    LogLine(L"Finish files copy.\r\n");
    return true;
}

bool ConfirmCancel(DeploymentState& state)
{
    const std::wstring product = DeploymentProductName();
    const int answer = ShowDeploymentMessage(FormatText(IDS_DEPLOY_CANCEL_QUESTION, product.c_str()),
                                             MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer != IDYES)
        return false;
    LogPrintf(L"Deployment '%s' canceled by user.\r\n", product.c_str());
    state.Cancelled = true;
    return true;
}

void Rollback(DeploymentState& state, const std::vector<std::wstring>& copied)
{
    DeploymentDeployPage& page = *state.DeployPage;
    EnableWindow(GetDlgItem(page.Sheet(), IDCANCEL), FALSE);
    page.ShowRollback();
    SendMessageW(page.ProgressBar(), PBM_SETSTEP, static_cast<WPARAM>(-1), 0);
    LogLine(L"Start Rollback\r\n");
    for (auto file = copied.rbegin(); file != copied.rend(); ++file) {
        page.ShowFile(*file);
        MakeWritable(*file);
        if (DeleteFileW(LongPathForm(*file).c_str()))
            LogPrintf(L"File '%s' removed.\r\n", file->c_str());
        else
            LogPrintf(L"Can't remove file '%s'. %s\r\n", file->c_str(), ErrorText(GetLastError()).c_str());
        Sleep(kPaceMilliseconds);
        SendMessageW(page.ProgressBar(), PBM_STEPIT, 0, 0);
    }
    Sleep(kPaceMilliseconds);
    RemoveSubfolders(state.DestinationFolder);
    RemoveFolder(state.DestinationFolder);
    LogLine(L"Finish rollback\r\n");
}

void RemoveSubfolders(const std::wstring& folder)
{
    ForEachEntry(folder, [](const WIN32_FIND_DATAW& entry, const std::wstring& path) {
        // A link in the destination is not ours to empty: what it leads to stays untouched.
        if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
            FILE_ATTRIBUTE_DIRECTORY)
            return;
        RemoveSubfolders(path);
        RemoveFolder(path);
    });
}
