// msi_author: writes a language transform (.mst) of a test package that sets Property values.
// Wine's msi.dll applies transforms but cannot generate them, so this console program, run under
// Wine, lays one out as OLE structured storage.
//
//   msi_author <out.mst> <base.msi> <changes.txt>
//
// changes.txt is UTF-8 (Wine decodes a command line in the locale's character set), one
// "Name=Value" a line, each naming a Property row the base has. The transform's strings are in
// the ANSI code page of the ProductLanguage after the changes. Exit code 0 written, 1 failed.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <objbase.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

void Put16(Bytes& b, unsigned v) { b.push_back(BYTE(v)); b.push_back(BYTE(v >> 8)); }
void Put32(Bytes& b, uint32_t v) { Put16(b, v & 0xFFFF); Put16(b, v >> 16); }

std::string Narrow(const std::wstring& w, UINT codepage) {
    std::string s(w.size() * 4, '\0');
    s.resize(WideCharToMultiByte(codepage, 0, w.data(), (int)w.size(), &s[0], (int)s.size(), nullptr, nullptr));
    return s;
}

// A table's stream name: the characters [0-9A-Za-z._] two to a code unit (0x3800 + a + b*64),
// a lone one as 0x4800 + a, after the table mark 0x4840.
std::wstring StreamName(const std::wstring& table) {
    auto digit = [](wchar_t c) {
        return c >= L'0' && c <= L'9' ? c - L'0' : c >= L'A' && c <= L'Z' ? c - L'A' + 10
             : c >= L'a' && c <= L'z' ? c - L'a' + 36 : c == L'.' ? 62 : 63;
    };
    std::wstring out(1, wchar_t(0x4840));
    for (size_t i = 0; i < table.size(); i += 2)
        out += i + 1 < table.size() ? wchar_t(0x3800 + digit(table[i]) + (digit(table[i + 1]) << 6))
                                    : wchar_t(0x4800 + digit(table[i]));
    return out;
}

bool WriteStream(IStorage* storage, const std::wstring& name, const Bytes& data) {
    IStream* stream = nullptr;
    if (FAILED(storage->CreateStream(name.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream)))
        return false;
    HRESULT hr = data.empty() ? S_OK : stream->Write(data.data(), (ULONG)data.size(), nullptr);
    stream->Release();
    return SUCCEEDED(hr);
}

// The summary information: one property set of typed values, by property id.
Bytes Summary(const std::map<unsigned, std::string>& texts, UINT codepage) {
    std::map<unsigned, Bytes> values;
    Put32(values[1], 2);                 // PID_CODEPAGE: VT_I2
    Put32(values[1], codepage);
    Put32(values[16], 3);                // PID_CHARCOUNT: VT_I4, the validation: product and
    Put32(values[16], 0x0002 | 0x0800);  // upgrade code must match the base
    for (const auto& [pid, text] : texts) {
        std::string padded = text;
        padded.resize((text.size() + 4) & ~size_t(3), '\0');
        Put32(values[pid], 30);          // VT_LPSTR
        Put32(values[pid], (uint32_t)padded.size());
        values[pid].insert(values[pid].end(), padded.begin(), padded.end());
    }
    static const BYTE fmtid[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                   0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
    Bytes b, body;
    Put16(b, 0xFFFE);
    Put16(b, 0);
    Put32(b, 0x00020005);
    b.insert(b.end(), 16, 0);
    Put32(b, 1);
    b.insert(b.end(), fmtid, fmtid + 16);
    Put32(b, 48);
    uint32_t offset = 8 + 8 * (uint32_t)values.size();
    for (const auto& [pid, value] : values) {
        Put32(body, pid);
        Put32(body, offset);
        offset += (uint32_t)value.size();
    }
    for (const auto& entry : values) body.insert(body.end(), entry.second.begin(), entry.second.end());
    Put32(b, offset);
    Put32(b, (uint32_t)values.size());
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

std::wstring Property(MSIHANDLE db, const std::wstring& name) {
    MSIHANDLE view = 0, record = 0;
    std::wstring query = L"SELECT `Value` FROM `Property` WHERE `Property`='" + name + L"'";
    wchar_t value[512] = {};
    DWORD size = 512;
    if (MsiDatabaseOpenViewW(db, query.c_str(), &view) == ERROR_SUCCESS && MsiViewExecute(view, 0) == ERROR_SUCCESS &&
        MsiViewFetch(view, &record) == ERROR_SUCCESS)
        MsiRecordGetStringW(record, 1, value, &size);
    MsiCloseHandle(record);
    MsiCloseHandle(view);
    return value;
}

int Author(const wchar_t* out, const wchar_t* base, const wchar_t* changesFile) {
    HANDLE file = CreateFileW(changesFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD got = 0;
    ReadFile(file, &bytes[0], (DWORD)bytes.size(), &got, nullptr);
    CloseHandle(file);
    std::wstring text(bytes.size(), L'\0');
    text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), (int)bytes.size(), &text[0], (int)text.size()));

    MSIHANDLE db = 0, info = 0;
    if (MsiOpenDatabaseW(base, MSIDBOPEN_READONLY, &db) != ERROR_SUCCESS) return 1;
    std::map<std::wstring, std::wstring> before, after;
    for (const wchar_t* name : {L"ProductCode", L"ProductVersion", L"UpgradeCode", L"ProductLanguage",
                                L"ProductName", L"Manufacturer"})
        before[name] = after[name] = Property(db, name);
    std::vector<std::pair<std::wstring, std::wstring>> changes;
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find(L'\n', start);
        std::wstring line = text.substr(start, end - start);
        size_t eq = line.find(L'=');
        if (eq == std::wstring::npos) continue;
        changes.emplace_back(line.substr(0, eq), line.substr(eq + 1, line.find_last_not_of(L"\r") - eq));
        if (Property(db, changes.back().first).empty()) return 1;
        after[changes.back().first] = changes.back().second;
    }
    wchar_t templ[64] = {};
    DWORD size = 64;
    UINT type = 0;
    INT number = 0;
    FILETIME time = {};
    MsiGetSummaryInformationW(db, nullptr, 0, &info);
    MsiSummaryInfoGetPropertyW(info, 7 /*PID_TEMPLATE*/, &type, &number, &time, templ, &size);
    MsiCloseHandle(info);
    MsiCloseHandle(db);
    std::wstring platform(templ, wcscspn(templ, L";"));

    DWORD codepage = 1252;
    GetLocaleInfoW(MAKELCID(_wtoi(after[L"ProductLanguage"].c_str()), SORT_DEFAULT),
                   LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER, (LPWSTR)&codepage, 2);
    // Each change updates the Value column (bit 1) of its row, named by its key's string id.
    std::vector<std::string> strings;
    Bytes table, pool, data;
    for (const auto& [name, value] : changes) {
        Put16(table, 1u << 1);
        for (const std::wstring* s : {&name, &value}) {
            strings.push_back(Narrow(*s, codepage));
            Put16(table, (unsigned)strings.size());
        }
    }
    Put32(pool, codepage);
    for (const std::string& s : strings) {
        Put16(pool, (unsigned)s.size());
        Put16(pool, 1);
        data.insert(data.end(), s.begin(), s.end());
    }
    std::map<unsigned, std::string> summary = {
        {2, "Transform"}, {3, Narrow(after[L"ProductName"], codepage)},
        {4, Narrow(after[L"Manufacturer"], codepage)},
        {7, Narrow(platform + L";" + before[L"ProductLanguage"], codepage)},
        {8, Narrow(platform + L";" + after[L"ProductLanguage"], codepage)},
        {9, Narrow(before[L"ProductCode"] + before[L"ProductVersion"] + L";" + after[L"ProductCode"] +
                   after[L"ProductVersion"] + L";" + before[L"UpgradeCode"], codepage)}};

    static const CLSID transformClass = {0x000C1082, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    IStorage* root = nullptr;
    bool ok = SUCCEEDED(StgCreateDocfile(out, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &root)) &&
              SUCCEEDED(root->SetClass(transformClass)) && WriteStream(root, StreamName(L"Property"), table) &&
              WriteStream(root, StreamName(L"_StringPool"), pool) &&
              WriteStream(root, StreamName(L"_StringData"), data) &&
              WriteStream(root, L"\005SummaryInformation", Summary(summary, codepage)) &&
              SUCCEEDED(root->Commit(STGC_DEFAULT));
    if (root) root->Release();
    return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 1;
    CoInitialize(nullptr);
    int result = Author(argv[1], argv[2], argv[3]);
    CoUninitialize();
    return result;
}
