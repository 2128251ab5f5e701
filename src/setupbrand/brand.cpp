#include "setupbrand/brand.h"

#include <algorithm>
#include <cwchar>

#include "html_parser.h"
#include "htmlui/htmlayout_host.h"
#include "image.h"
#include "view.h"
#include "win/format.h"
#include "win/handles.h"
#include "win/library.h"

namespace {

constexpr int kStartPageId = 101;
constexpr WORD kHtmlType = 23;
constexpr int kIconGroupId = 128;
constexpr int kVersionId = 1;
const BYTE kUtf8Mark[] = {0xEF, 0xBB, 0xBF};

std::wstring Upper(std::wstring text)
{
    if (!text.empty())
        CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// The bytes of a resource of the module, or none.
std::vector<BYTE> ResourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    HRSRC found = FindResourceW(module, name, type);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    return data ? std::vector<BYTE>(data, data + SizeofResource(module, found)) : std::vector<BYTE>();
}

ResourceId Numbered(WORD number)
{
    return ResourceId{number, std::wstring()};
}

// The resource under which the program looks a page's URL up.
bool ResourceOfUrl(const std::wstring& url, ResourceId& type, ResourceId& name)
{
    htmlayout::PageResource resource;
    if (!htmlayout::ResourceForUrl(url.c_str(), resource))
        return false;
    type = resource.htmlType ? Numbered(kHtmlType) : ResourceId{0, Upper(resource.type)};
    name = ResourceId{0, Upper(resource.name)};
    return true;
}

// Raises *next above a numbered icon.
BOOL CALLBACK AfterIcon(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR next)
{
    WORD& first = *reinterpret_cast<WORD*>(next);
    if (IS_INTRESOURCE(name) && LOWORD(name) >= first)
        first = LOWORD(name) == 0xFFFF ? 0xFFFF : static_cast<WORD>(LOWORD(name) + 1);
    return TRUE;
}

// A common small screen, 1366 x 768, less a taskbar of 40 pixels: the work area a start page's
// window must fit to be seen whole (the program cuts a larger one to the work area, and with it
// the page's buttons).
constexpr LONG kWorkAreaWidth = 1366, kWorkAreaHeight = 768 - 40;

LRESULT CALLBACK MeasureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    BOOL handled = FALSE;
    hl::View* view = hl::View::Of(window, message != WM_NCDESTROY);
    const LRESULT result = view ? view->Proc(message, wParam, lParam, handled) : 0;
    return handled ? result : DefWindowProcW(window, message, wParam, lParam);
}

// The start dialog's window for the page: the engine's smallest size for it, with the frame.
SIZE PageWindowSize(const std::vector<BYTE>& page, const std::wstring& pagePath)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = MeasureProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"SetupBrandPage";
    RegisterClassW(&windowClass);
    UniqueWindow window(CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        windowClass.hInstance, nullptr));
    RECT frame = {};
    hl::View* view = hl::View::Of(window.Get(), true);
    if (view && view->Load(hl::DecodePage(page.data(), page.size()), pagePath, true)) {
        frame.right = view->MinWidth();
        frame.bottom = view->MinHeight(frame.right);
    }
    AdjustWindowRectEx(&frame, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_DLGMODALFRAME);
    return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

std::vector<std::wstring> UrlsOf(const std::vector<BYTE>& page)
{
    return hl::ParseHtml(hl::DecodePage(page.data(), page.size()), L"")->urls;
}

}  // namespace

Refusal PageResources(const std::wstring& folder, std::vector<ResourceUpdate>& resources)
{
    const std::wstring pagePath = folder + L"\\start.html";
    std::vector<BYTE> page;
    if (!hl::ReadLocalFile(pagePath, page))
        return Format(L"%s cannot be read, or is larger than the %u bytes the engine reads", pagePath.c_str(),
                      static_cast<unsigned>(kHtmlLayoutMaxData));
    const size_t mark = page.size() >= 3 && std::equal(kUtf8Mark, kUtf8Mark + 3, page.begin()) ? 3 : 0;
    const int length = static_cast<int>(page.size() - mark);
    if ((page.size() >= 2 && page[0] == 0xFF && page[1] == 0xFE) ||
        (length > 0 && !MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(page.data() + mark),
                                            length, nullptr, 0)))
        return pagePath + L" is not UTF-8 text: save it as UTF-8";

    hl::ImageDecoder decoder;
    for (const std::wstring& url : UrlsOf(page)) {
        ResourceUpdate update;
        if (!ResourceOfUrl(url, update.type, update.name))
            continue;
        std::wstring file = folder + L"\\" + url;
        std::replace(file.begin(), file.end(), L'/', L'\\');
        if (!hl::ReadLocalFile(file, update.data))
            return Format(L"the page names %s, but %s is missing (or larger than the engine reads)", url.c_str(),
                          file.c_str());
        hl::Image image;
        if (update.type.number != kHtmlType && !decoder.Decode(update.data.data(), static_cast<DWORD>(update.data.size()), image))
            return Format(L"%s is no image the system's imaging component reads (at most %u pixels a side)",
                          file.c_str(), hl::kMaxImageSide);
        resources.push_back(std::move(update));
    }
    const SIZE size = PageWindowSize(page, pagePath);
    if (size.cx > kWorkAreaWidth || size.cy > kWorkAreaHeight)
        return Format(L"the page needs a window of %ld x %ld pixels, more than the %ld x %ld work area of a 1366 x 768 "
                      L"screen: it would be cut there",
                      size.cx, size.cy, kWorkAreaWidth, kWorkAreaHeight);
    ResourceUpdate pageUpdate{Numbered(kHtmlType), Numbered(kStartPageId), std::vector<BYTE>(kUtf8Mark, kUtf8Mark + 3)};
    pageUpdate.data.insert(pageUpdate.data.end(), page.begin() + mark, page.end());
    resources.push_back(std::move(pageUpdate));
    return Refusal();
}

const ResourceUpdate* ResourceOfPageUrl(const std::vector<ResourceUpdate>& resources, const std::wstring& url)
{
    ResourceId type, name;
    if (!ResourceOfUrl(url, type, name))
        return nullptr;
    const auto found = std::find_if(resources.begin(), resources.end(), [&](const ResourceUpdate& r) {
        return r.type.number == type.number && r.type.text == type.text && r.name.text == name.text;
    });
    return found == resources.end() ? nullptr : &*found;
}

void OldPageDeletions(HMODULE input, const std::vector<ResourceUpdate>& page, std::vector<ResourceUpdate>& updates)
{
    for (const std::wstring& url : UrlsOf(ResourceBytes(input, MAKEINTRESOURCEW(kStartPageId), MAKEINTRESOURCEW(kHtmlType)))) {
        ResourceUpdate gone;
        if (!ResourceOfPageUrl(page, url) && ResourceOfUrl(url, gone.type, gone.name) &&
            FindResourceW(input, gone.name.Get(), gone.type.Get()))
            updates.push_back(std::move(gone));
    }
}

Refusal IconUpdates(const std::wstring& icoFile, HMODULE input, std::vector<ResourceUpdate>& updates)
{
    std::vector<BYTE> ico;
    const auto word = [&ico](size_t at) { return static_cast<WORD>(ico[at] | ico[at + 1] << 8); };
    const auto dword = [&](size_t at) { return static_cast<DWORD>(word(at) | word(at + 2) << 16); };
    if (!hl::ReadLocalFile(icoFile, ico) || ico.size() < 6 || word(0) != 0 || word(2) != 1 || word(4) == 0 ||
        ico.size() < 6 + 16u * word(4))
        return icoFile + L" is no icon file";
    const WORD count = word(4);
    // New icons are numbered above every icon of the program: other groups (the deployment
    // wizard's) keep theirs.
    WORD first = 1;
    EnumResourceNamesW(input, MAKEINTRESOURCEW(3), AfterIcon, reinterpret_cast<LONG_PTR>(&first));
    if (first > 0xFFFF - count)
        return icoFile + L" has more icons than the program can take";
    // The group: its header, then per icon its directory entry with the resource number in place
    // of the file offset.
    ResourceUpdate group{Numbered(14), Numbered(kIconGroupId), std::vector<BYTE>(ico.begin(), ico.begin() + 6)};
    for (WORD index = 0; index < count; ++index) {
        const size_t entry = 6 + 16u * index;
        const DWORD size = dword(entry + 8), offset = dword(entry + 12);
        if (size == 0 || offset > ico.size() || size > ico.size() - offset)
            return icoFile + L" is no icon file: an image lies beyond its end";
        const WORD id = static_cast<WORD>(first + index);
        updates.push_back(ResourceUpdate{Numbered(3), Numbered(id),
                                         std::vector<BYTE>(ico.begin() + offset, ico.begin() + offset + size)});
        group.data.insert(group.data.end(), ico.begin() + entry, ico.begin() + entry + 12);
        group.data.push_back(static_cast<BYTE>(id));
        group.data.push_back(static_cast<BYTE>(id >> 8));
    }
    // The icons of the program's own group go.
    const std::vector<BYTE> old = ResourceBytes(input, MAKEINTRESOURCEW(kIconGroupId), MAKEINTRESOURCEW(14));
    for (size_t entry = 6; entry + 14 <= old.size(); entry += 14) {
        const WORD id = static_cast<WORD>(old[entry + 12] | old[entry + 13] << 8);
        if (FindResourceW(input, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3)))
            updates.push_back(ResourceUpdate{Numbered(3), Numbered(id), {}});
    }
    updates.push_back(std::move(group));
    return Refusal();
}

namespace {

const wchar_t* const kVersionFieldNames[] = {L"CompanyName",      L"FileDescription",  L"FileVersion",
                                             L"InternalName",     L"LegalCopyright",   L"OriginalFilename",
                                             L"ProductName",      L"ProductVersion"};

// The version library's block of a file: null functions when version.dll or the block is missing.
struct VersionBlock {
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    UniqueLibrary library = LoadSystemLibrary(L"version.dll");
    QueryFn query = nullptr;
    std::vector<BYTE> data;

    explicit VersionBlock(const std::wstring& file)
    {
        using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
        using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
        const auto size = GetProc<SizeFn>(library.Get(), "GetFileVersionInfoSizeW");
        const auto info = GetProc<InfoFn>(library.Get(), "GetFileVersionInfoW");
        DWORD ignored = 0;
        const DWORD length = size ? size(file.c_str(), &ignored) : 0;
        data.resize(length);
        if (length && info && info(file.c_str(), 0, length, data.data()))
            query = GetProc<QueryFn>(library.Get(), "VerQueryValueW");
    }
    // The value at the path, or null.
    const void* Value(const std::wstring& path, UINT& length) const
    {
        void* value = nullptr;
        return query && query(data.data(), path.c_str(), &value, &length) && length ? value : nullptr;
    }
    // The first translation's "llllcccc", 0409 Unicode when there is none.
    std::wstring Translation() const
    {
        UINT length = 0;
        const WORD* pair = static_cast<const WORD*>(Value(L"\\VarFileInfo\\Translation", length));
        if (length < 2 * sizeof(WORD))
            pair = nullptr;
        return Format(L"%04x%04x", pair ? pair[0] : 0x0409, pair ? pair[1] : 1200);
    }
    std::wstring Text(const std::wstring& translation, const wchar_t* field) const
    {
        UINT length = 0;
        const wchar_t* text = static_cast<const wchar_t*>(Value(L"\\StringFileInfo\\" + translation + L"\\" + field, length));
        return text ? std::wstring(text, wcsnlen(text, length)) : std::wstring();
    }
};

// Writes the nodes of a version resource: each begins on a 4-byte boundary with its length,
// its value's length, its type (1 text, 0 binary) and its key, then its value and children.
class VersionWriter {
public:
    size_t Begin(const wchar_t* key, const void* value, size_t valueBytes, bool text)
    {
        Align();
        const size_t start = out_.size();
        const WORD header[3] = {0, static_cast<WORD>(text ? valueBytes / 2 : valueBytes), static_cast<WORD>(text)};
        Append(header, sizeof(header));
        Append(key, (wcslen(key) + 1) * sizeof(wchar_t));
        Align();
        Append(value, valueBytes);
        return start;
    }
    void End(size_t start)
    {
        const WORD length = static_cast<WORD>(out_.size() - start);
        out_[start] = static_cast<BYTE>(length);
        out_[start + 1] = static_cast<BYTE>(length >> 8);
    }
    std::vector<BYTE>& Bytes() { return out_; }

private:
    void Append(const void* data, size_t size)
    {
        out_.insert(out_.end(), static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
    }
    void Align() { out_.resize((out_.size() + 3) & ~size_t(3)); }
    std::vector<BYTE> out_;
};

// Four dot-separated numbers up to 65535.
bool ParseFourPartVersion(const std::wstring& text, DWORD& high, DWORD& low)
{
    unsigned part[4];
    wchar_t end = 0;
    if (swscanf(text.c_str(), L"%5u.%5u.%5u.%5u%lc", &part[0], &part[1], &part[2], &part[3], &end) != 4 ||
        *std::max_element(part, part + 4) > 0xFFFF || text.find_first_not_of(L"0123456789.") != std::wstring::npos)
        return false;
    high = part[0] << 16 | part[1];
    low = part[2] << 16 | part[3];
    return true;
}

}  // namespace

Refusal VersionUpdate(const std::wstring& inputFile, const VersionStrings& strings, std::vector<ResourceUpdate>& updates)
{
    const VersionBlock block(inputFile);
    VS_FIXEDFILEINFO fixed = {0xFEEF04BD, 0x10000, 0, 0, 0, 0, 0x3F, 0, VOS_NT_WINDOWS32, VFT_APP, 0, 0, 0};
    UINT length = 0;
    if (const void* found = block.Value(L"\\", length))
        memcpy(&fixed, found, std::min<size_t>(length, sizeof(fixed)));
    if (!strings.productVersion.empty() &&
        !ParseFourPartVersion(strings.productVersion, fixed.dwProductVersionMS, fixed.dwProductVersionLS))
        return L"--product-version " + strings.productVersion + L" is not X.Y.Z.W with numbers up to 65535";
    if (!strings.fileVersion.empty() &&
        !ParseFourPartVersion(strings.fileVersion, fixed.dwFileVersionMS, fixed.dwFileVersionLS))
        return L"--file-version " + strings.fileVersion + L" is not X.Y.Z.W with numbers up to 65535";

    const std::wstring translation = block.Translation();
    VersionWriter out;
    const size_t root = out.Begin(L"VS_VERSION_INFO", &fixed, sizeof(fixed), false);
    const size_t fileInfo = out.Begin(L"StringFileInfo", nullptr, 0, true);
    const size_t table = out.Begin(translation.c_str(), nullptr, 0, true);
    for (const wchar_t* field : kVersionFieldNames) {
        const std::wstring given = wcscmp(field, L"ProductName") == 0      ? strings.productName
                                   : wcscmp(field, L"CompanyName") == 0    ? strings.companyName
                                   : wcscmp(field, L"ProductVersion") == 0 ? strings.productVersion
                                   : wcscmp(field, L"LegalCopyright") == 0 ? strings.legalCopyright
                                   : wcscmp(field, L"FileDescription") == 0 ? strings.fileDescription
                                   : wcscmp(field, L"FileVersion") == 0    ? strings.fileVersion
                                                                            : std::wstring();
        const std::wstring value = given.empty() ? block.Text(translation, field) : given;
        out.End(out.Begin(field, value.c_str(), (value.size() + 1) * sizeof(wchar_t), true));
    }
    out.End(table);
    out.End(fileInfo);
    const size_t varInfo = out.Begin(L"VarFileInfo", nullptr, 0, true);
    const DWORD pair = wcstoul(translation.substr(0, 4).c_str(), nullptr, 16) |
                       wcstoul(translation.substr(4).c_str(), nullptr, 16) << 16;
    out.End(out.Begin(L"Translation", &pair, sizeof(pair), false));
    out.End(varInfo);
    if (out.Bytes().size() > 0xFFFF)
        return L"the version strings are too long for a version resource (64 KB in all)";
    out.End(root);
    updates.push_back(ResourceUpdate{Numbered(16), Numbered(kVersionId), std::move(out.Bytes())});
    return Refusal();
}

VersionFields ReadVersionFields(const std::wstring& file)
{
    const VersionBlock block(file);
    VersionFields fields;
    if (!block.query)
        return fields;
    const std::wstring translation = block.Translation();
    for (const wchar_t* field : kVersionFieldNames)
        fields.emplace_back(field, block.Text(translation, field));
    return fields;
}

bool StripSignature(const std::wstring& file)
{
    UniqueHandle handle(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    std::vector<BYTE> head(4096);
    DWORD read = 0;
    LARGE_INTEGER fileSize;
    if (!handle || !GetFileSizeEx(handle.Get(), &fileSize) ||
        !ReadFile(handle.Get(), head.data(), static_cast<DWORD>(head.size()), &read, nullptr) || read < 64)
        return false;
    const DWORD pe = *reinterpret_cast<const DWORD*>(&head[0x3C]);
    if (pe > read - 24 - 2)
        return false;
    const DWORD optional = pe + 24;
    const bool wide = *reinterpret_cast<const WORD*>(&head[optional]) == 0x20B;
    // The security directory: the file offset and size of the certificate table, which lies at
    // the end of the file, after everything the image holds.
    const DWORD entry = optional + (wide ? 112 : 96) + IMAGE_DIRECTORY_ENTRY_SECURITY * 8;
    if (entry + 8 > read)
        return false;
    const DWORD offset = *reinterpret_cast<const DWORD*>(&head[entry]);
    const DWORD size = *reinterpret_cast<const DWORD*>(&head[entry + 4]);
    if (offset < entry + 8 || static_cast<LONGLONG>(offset) + size != fileSize.QuadPart)
        return false;
    const DWORD cleared[2] = {0, 0};
    LARGE_INTEGER at;
    at.QuadPart = entry;
    DWORD written = 0;
    if (!SetFilePointerEx(handle.Get(), at, nullptr, FILE_BEGIN) ||
        !WriteFile(handle.Get(), cleared, sizeof(cleared), &written, nullptr) || written != sizeof(cleared))
        return false;
    at.QuadPart = offset;
    return SetFilePointerEx(handle.Get(), at, nullptr, FILE_BEGIN) && SetEndOfFile(handle.Get());
}
