// setupbrand: writes a branded copy of setup.exe (its start page and images, its icon, its version
// strings) through the system's resource-update functions; the input is never changed.
//   setupbrand.exe [--page FOLDER] [--icon FILE.ico] [--product-name TEXT] [--company TEXT]
//                  [--product-version X.Y.Z.W] [--file-version X.Y.Z.W] [--copyright TEXT] [--description TEXT]
//                  INPUT.exe OUTPUT.exe
//   setupbrand.exe --show FILE     the version fields of a file, as Explorer's Details tab shows them
//   setupbrand.exe --preview FOLDER  the folder's start page in a window as the start screen shows it
// A page's warnings (what the engine ignores, a missing install or cancel link) go to standard
// error with --page and --preview alike and change nothing.
// Exit code: 0 written (or shown), 2 refused or a command line it does not understand; nothing is
// written on a refusal.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <iterator>

#include "setupbrand/brand.h"
#include "win/format.h"
#include "win/library.h"
#include "win/text.h"

namespace {

const wchar_t kUsage[] =
    L"usage: setupbrand.exe [--page FOLDER] [--icon FILE.ico] [--product-name TEXT] [--company TEXT]\r\n"
    L"                      [--product-version X.Y.Z.W] [--file-version X.Y.Z.W] [--copyright TEXT]\r\n"
    L"                      [--description TEXT] INPUT.exe OUTPUT.exe\r\n"
    L"       setupbrand.exe --show FILE\r\n"
    L"       setupbrand.exe --preview FOLDER\r\n";

std::wstring FullPath(const wchar_t* path)
{
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW(path, MAX_PATH, full, nullptr);
    return length && length < MAX_PATH ? std::wstring(full, length) : std::wstring();
}

int Refuse(const std::wstring& reason, const wchar_t* outcome = L"nothing written")
{
    WriteStandard(STD_ERROR_HANDLE, L"setupbrand: " + reason + L"; " + outcome + L"\r\n");
    return 2;
}

// The page of a folder as resources, its warnings printed.
Refusal ReadPage(const std::wstring& folder, std::vector<ResourceUpdate>& page)
{
    const Refusal refusal = PageResources(folder, page);
    if (refusal.empty())
        for (const std::wstring& warning : PageWarnings(folder + L"\\start.html", page.back().data))
            WriteStandard(STD_ERROR_HANDLE, warning + L"\r\n");
    return refusal;
}

int Preview(const std::wstring& folder)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<ResourceUpdate> page;
    Refusal refusal = folder.empty() ? L"the path of --preview is too long" : ReadPage(folder, page);
    if (refusal.empty() && !PreviewPage(page))
        refusal = L"htmlayout.dll, the engine setup.exe ships, is not beside setupbrand.exe or cannot be loaded";
    return refusal.empty() ? 0 : Refuse(refusal, L"nothing shown");
}

int Show(const std::wstring& file)
{
    const VersionFields fields = ReadVersionFields(file);
    if (fields.empty())
        return Refuse(file + L" has no version resource");
    for (const auto& field : fields)
        WriteStandard(STD_OUTPUT_HANDLE, field.first + L": " + field.second + L"\r\n");
    return 0;
}

// Writes the resources into a copy beside the output, then puts the copy in the output's place.
int Write(const std::wstring& input, const std::wstring& output, const std::vector<ResourceUpdate>& updates)
{
    const std::wstring work = output + L".branding";
    // The copy would keep a read-only attribute of the input, and could then be neither updated
    // nor removed.
    if (!CopyFileW(input.c_str(), work.c_str(), FALSE) || !SetFileAttributesW(work.c_str(), FILE_ATTRIBUTE_NORMAL))
        return Refuse(Format(L"%s cannot be written (error %lu)", work.c_str(), GetLastError()));
    const bool signedInput = StripSignature(work);
    HANDLE update = BeginUpdateResourceW(work.c_str(), FALSE);
    bool done = update != nullptr;
    for (auto change = updates.begin(); done && change != updates.end(); ++change)
        done = UpdateResourceW(update, change->type.Get(), change->name.Get(), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                               change->data.empty() ? nullptr : const_cast<BYTE*>(change->data.data()),
                               static_cast<DWORD>(change->data.size()));
    DWORD error = done ? ERROR_SUCCESS : GetLastError();
    if (update && !EndUpdateResourceW(update, !done) && done) {
        done = false;
        error = GetLastError();
    }
    // Windows will not replace a program that runs, or a file another program (an antivirus) holds.
    const bool replaced = done && MoveFileExW(work.c_str(), output.c_str(), MOVEFILE_REPLACE_EXISTING);
    if (!replaced) {
        const Refusal reason = done ? Format(L"%s cannot be replaced: is it running or held open? (error %lu)",
                                             output.c_str(), GetLastError())
                                    : Format(L"the system could not write the resources of %s (error %lu)",
                                             output.c_str(), error);
        DeleteFileW(work.c_str());
        return Refuse(reason);
    }
    WriteStandard(STD_OUTPUT_HANDLE, L"setupbrand: wrote " + output + L"\r\n");
    if (signedInput)
        WriteStandard(STD_OUTPUT_HANDLE, L"setupbrand: " + input + L" was signed; " + output +
                                             L" is not: sign it again (scripts/sign)\r\n");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    RestrictDllSearchToSystemFolder();
    if (argc == 3 && wcscmp(argv[1], L"--show") == 0)
        return Show(FullPath(argv[2]));
    if (argc == 3 && wcscmp(argv[1], L"--preview") == 0)
        return Preview(FullPath(argv[2]));
    std::wstring page, icon;
    VersionStrings strings;
    std::vector<std::wstring> files;
    const struct {
        const wchar_t* option;
        std::wstring* value;
    } kOptions[] = {{L"--page", &page},
                    {L"--icon", &icon},
                    {L"--product-name", &strings.productName},
                    {L"--company", &strings.companyName},
                    {L"--product-version", &strings.productVersion},
                    {L"--file-version", &strings.fileVersion},
                    {L"--copyright", &strings.legalCopyright},
                    {L"--description", &strings.fileDescription}};
    bool understood = true;
    for (int index = 1; index < argc && understood; ++index) {
        const auto option = std::find_if(std::begin(kOptions), std::end(kOptions),
                                         [&](const auto& o) { return wcscmp(argv[index], o.option) == 0; });
        if (option != std::end(kOptions))
            understood = ++index < argc && (*option->value = argv[index], !option->value->empty());
        else if (wcsncmp(argv[index], L"--", 2) != 0)
            files.push_back(FullPath(argv[index]));
        else
            understood = false;
    }
    if (!understood || files.size() != 2 || files[0].empty() || files[1].empty()) {
        WriteStandard(STD_ERROR_HANDLE, kUsage);
        return 2;
    }
    const std::wstring &input = files[0], &output = files[1];
    if (EqualsNoCase(input, output.c_str()))
        return Refuse(L"OUTPUT must be another file than INPUT, which is never changed");
    UniqueLibrary program(LoadLibraryExW(input.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!program)
        return Refuse(input + L" is no program that can be read");

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<ResourceUpdate> updates;
    Refusal refusal;
    const std::wstring pageFolder = page.empty() ? page : FullPath(page.c_str());
    const std::wstring iconFile = icon.empty() ? icon : FullPath(icon.c_str());
    if ((!page.empty() && pageFolder.empty()) || (!icon.empty() && iconFile.empty()))
        refusal = L"a path of --page or --icon is too long";
    std::vector<ResourceUpdate> pageResources;
    if (refusal.empty() && !page.empty() && (refusal = ReadPage(pageFolder, pageResources)).empty()) {
        OldPageDeletions(program.Get(), pageResources, updates);
        updates.insert(updates.end(), pageResources.begin(), pageResources.end());
    }
    if (refusal.empty() && !icon.empty())
        refusal = IconUpdates(iconFile, program.Get(), updates);
    if (refusal.empty())
        refusal = VersionUpdate(input, strings, updates);
    program.Reset();
    return refusal.empty() ? Write(input, output, updates) : Refuse(refusal);
}
