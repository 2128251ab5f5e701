// msi_author: writes Windows Installer transforms (.mst) and patches (.msp) for the test
// packages. Wine's msi.dll applies both but cannot generate them, so this console program,
// run under Wine, lays them out itself as OLE structured storage.
//
//   msi_author transform <out.mst> <base.msi> CHANGE...
//   msi_author patch <out.msp> <target.msi> <{patch code}> CHANGE...
//
// CHANGE is Table:Key:Column=Value and sets one column of one row: the row whose primary key
// is Key (several key columns joined by '|') is updated when the base has it, else inserted
// with its other columns null. An empty Value is null. "@file" reads one CHANGE per line from
// a UTF-8 file (locale-proof for non-ASCII text).
//
// The base package is read through msi.dll (from the system folder) for column types, rows,
// product code, version, upgrade code, platform and language. The transform's strings are
// stored in the ANSI code page of its language: the ProductLanguage after the changes.
//
// transform: a storage of class MsiTransform with the changed tables, its own string pool and
//   summary information (base and new platform;language, product codes and versions, product
//   validation). It is applied with TRANSFORMS=path.
// patch: a storage of class MsiPatch targeting the base's product code, holding that transform
//   as the substorage "Update"; it changes table data only (no files). It is applied with
//   msiexec /p or MsiApplyPatchW.
//
// Exit codes: 0 written, 1 bad usage or failure (reason on stderr).
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <objbase.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

using Bytes = std::vector<BYTE>;

struct Failure : std::runtime_error {
    explicit Failure(const std::wstring& what) : std::runtime_error(""), text(what) {}
    std::wstring text;
};

std::wstring Num(unsigned long long n) { return std::to_wstring(n); }

std::string ToCodePage(const std::wstring& w, UINT codepage) {
    if (w.empty()) return {};
    BOOL lossy = FALSE;
    bool utf = codepage == CP_UTF8;
    int n = WideCharToMultiByte(codepage, utf ? 0 : WC_NO_BEST_FIT_CHARS, w.data(), (int)w.size(),
                                nullptr, 0, nullptr, utf ? nullptr : &lossy);
    std::string s(n, '\0');
    WideCharToMultiByte(codepage, utf ? 0 : WC_NO_BEST_FIT_CHARS, w.data(), (int)w.size(), &s[0], n,
                        nullptr, nullptr);
    if (n == 0 || lossy) throw Failure(L"\"" + w + L"\" has no form in code page " + Num(codepage));
    return s;
}

void Append16(Bytes& b, unsigned v) { b.push_back(BYTE(v)); b.push_back(BYTE(v >> 8)); }
void Append32(Bytes& b, uint32_t v) { Append16(b, v & 0xFFFF); Append16(b, v >> 16); }

// ---- the Windows Installer's storage conventions --------------------------------------------

const CLSID kTransformClass = {0x000C1082, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const CLSID kPatchClass = {0x000C1086, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Stream names squeeze the 64 characters [0-9A-Za-z._] two to a code unit (0x3800 + a + b*64),
// a lone one into 0x4800 + a; anything else stays as it is. Table streams start with 0x4840.
int NameDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'Z') return c - L'A' + 10;
    if (c >= L'a' && c <= L'z') return c - L'a' + 36;
    if (c == L'.') return 62;
    if (c == L'_') return 63;
    return -1;
}

std::wstring TableStreamName(const std::wstring& table) {
    std::wstring out(1, wchar_t(0x4840));
    for (size_t i = 0; i < table.size();) {
        int a = NameDigit(table[i]);
        int b = i + 1 < table.size() ? NameDigit(table[i + 1]) : -1;
        if (a < 0) {
            out += table[i++];
        } else if (b < 0) {
            out += wchar_t(0x4800 + a);
            i += 1;
        } else {
            out += wchar_t(0x3800 + a + (b << 6));
            i += 2;
        }
    }
    if (out.size() > 31) throw Failure(L"table name too long for a stream: " + table);
    return out;
}

// The string pool of a transform: id 0 is null, every other string once, with its use count.
// _StringPool holds the code page, then (byte length, uses) per id; _StringData the bytes.
class StringPool {
public:
    explicit StringPool(UINT codepage) : codepage_(codepage) {}
    unsigned Id(const std::wstring& s) {
        if (s.empty()) return 0;
        auto found = ids_.find(s);
        if (found != ids_.end()) {
            ++entries_[found->second - 1].uses;
            return found->second;
        }
        entries_.push_back({ToCodePage(s, codepage_), 1});
        if (entries_.size() > 0xFFFF) throw Failure(L"too many strings for two-byte references");
        return ids_[s] = unsigned(entries_.size());
    }
    Bytes Pool() const {
        Bytes b;
        Append32(b, codepage_);
        for (const Entry& e : entries_) {
            if (e.bytes.size() > 0xFFFF) throw Failure(L"string longer than 65535 bytes");
            Append16(b, unsigned(e.bytes.size()));
            Append16(b, std::min(e.uses, 0xFFFFu));
        }
        return b;
    }
    Bytes Data() const {
        Bytes b;
        for (const Entry& e : entries_) b.insert(b.end(), e.bytes.begin(), e.bytes.end());
        return b;
    }
private:
    struct Entry { std::string bytes; unsigned uses; };
    UINT codepage_;
    std::vector<Entry> entries_;
    std::map<std::wstring, unsigned> ids_;
};

// The summary information stream: one property set (FMTID_SummaryInformation) of typed values.
class SummaryInfo {
public:
    explicit SummaryInfo(UINT codepage) : codepage_(codepage) {
        Bytes v;
        Append16(v, 2 /*VT_I2*/); Append16(v, 0); Append16(v, codepage & 0xFFFF); Append16(v, 0);
        values_[1 /*PID_CODEPAGE*/] = v;
    }
    void Text(unsigned pid, const std::wstring& text) {
        std::string s = ToCodePage(text, codepage_);
        s.resize((s.size() + 1 + 3) & ~size_t(3), '\0');   // the terminator, then 4-byte padding
        Bytes v;
        Append32(v, 30 /*VT_LPSTR*/);
        Append32(v, uint32_t(s.size()));
        v.insert(v.end(), s.begin(), s.end());
        values_[pid] = v;
    }
    void Int(unsigned pid, int32_t n) {
        Bytes v;
        Append32(v, 3 /*VT_I4*/);
        Append32(v, uint32_t(n));
        values_[pid] = v;
    }
    Bytes Stream() const {
        static const BYTE fmtid[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                       0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
        Bytes b;
        Append16(b, 0xFFFE);        // byte order
        Append16(b, 0);             // format version
        Append32(b, 0x00020005);    // originating system: Windows NT 5
        b.insert(b.end(), 16, 0);   // class id
        Append32(b, 1);             // one property set
        b.insert(b.end(), fmtid, fmtid + 16);
        Append32(b, 48);            // it starts right after this header
        Bytes body;
        uint32_t offset = 8 + 8 * uint32_t(values_.size());
        for (const auto& [pid, value] : values_) {
            Append32(body, pid);
            Append32(body, offset);
            offset += uint32_t(value.size());
        }
        for (const auto& pv : values_) body.insert(body.end(), pv.second.begin(), pv.second.end());
        Append32(b, offset);
        Append32(b, uint32_t(values_.size()));
        b.insert(b.end(), body.begin(), body.end());
        return b;
    }
private:
    UINT codepage_;
    std::map<unsigned, Bytes> values_;
};

enum : unsigned {
    kPidTitle = 2, kPidSubject = 3, kPidAuthor = 4, kPidTemplate = 7, kPidLastAuthor = 8,
    kPidRevision = 9, kPidCharCount = 16,
};

// ---- COM storage ------------------------------------------------------------------------------

template <class T> class Com {
public:
    Com() = default;
    ~Com() { if (p_) p_->Release(); }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** out() { return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
private:
    T* p_ = nullptr;
};

void Check(HRESULT hr, const std::wstring& what) {
    if (FAILED(hr)) {
        wchar_t hex[16];
        wsprintfW(hex, L"0x%08lx", (unsigned long)hr);
        throw Failure(what + L" failed with " + hex);
    }
}

void WriteStream(IStorage* stg, const std::wstring& name, const Bytes& data) {
    Com<IStream> stream;
    Check(stg->CreateStream(name.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                            stream.out()), L"creating stream");
    ULONG done = 0;
    if (!data.empty()) Check(stream->Write(data.data(), ULONG(data.size()), &done), L"writing stream");
}

// ---- reading the base package through msi.dll -------------------------------------------------

class Msi {
public:
    Msi() : lib_(LoadLibraryExW(L"msi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        if (!lib_) throw Failure(L"msi.dll not found in the system folder");
        Bind(openDatabase, "MsiOpenDatabaseW");
        Bind(openView, "MsiDatabaseOpenViewW");
        Bind(execute, "MsiViewExecute");
        Bind(fetch, "MsiViewFetch");
        Bind(columnInfo, "MsiViewGetColumnInfo");
        Bind(primaryKeys, "MsiDatabaseGetPrimaryKeysW");
        Bind(fieldCount, "MsiRecordGetFieldCount");
        Bind(getString, "MsiRecordGetStringW");
        Bind(summary, "MsiGetSummaryInformationW");
        Bind(summaryGet, "MsiSummaryInfoGetPropertyW");
        Bind(close, "MsiCloseHandle");
    }
    ~Msi() { FreeLibrary(lib_); }
    Msi(const Msi&) = delete;
    Msi& operator=(const Msi&) = delete;

    UINT(WINAPI* openDatabase)(LPCWSTR, LPCWSTR, MSIHANDLE*);
    UINT(WINAPI* openView)(MSIHANDLE, LPCWSTR, MSIHANDLE*);
    UINT(WINAPI* execute)(MSIHANDLE, MSIHANDLE);
    UINT(WINAPI* fetch)(MSIHANDLE, MSIHANDLE*);
    UINT(WINAPI* columnInfo)(MSIHANDLE, MSICOLINFO, MSIHANDLE*);
    UINT(WINAPI* primaryKeys)(MSIHANDLE, LPCWSTR, MSIHANDLE*);
    UINT(WINAPI* fieldCount)(MSIHANDLE);
    UINT(WINAPI* getString)(MSIHANDLE, UINT, LPWSTR, LPDWORD);
    UINT(WINAPI* summary)(MSIHANDLE, LPCWSTR, UINT, MSIHANDLE*);
    UINT(WINAPI* summaryGet)(MSIHANDLE, UINT, UINT*, INT*, FILETIME*, LPWSTR, LPDWORD);
    UINT(WINAPI* close)(MSIHANDLE);

private:
    template <class F> void Bind(F& f, const char* name) {
        f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(lib_, name)));
        if (!f) throw Failure(L"msi.dll has no export " + std::wstring(name, name + strlen(name)));
    }
    HMODULE lib_;
};

class Handle {
public:
    explicit Handle(const Msi& msi) : msi_(msi) {}
    ~Handle() { if (h_) msi_.close(h_); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    MSIHANDLE* out() { if (h_) msi_.close(h_); h_ = 0; return &h_; }
    MSIHANDLE get() const { return h_; }
private:
    const Msi& msi_;
    MSIHANDLE h_ = 0;
};

std::wstring Field(const Msi& msi, MSIHANDLE rec, UINT i) {
    DWORD len = 0;
    wchar_t empty[1] = {};
    if (msi.getString(rec, i, empty, &len) != ERROR_MORE_DATA) return {};
    std::wstring s(++len, L'\0');
    msi.getString(rec, i, &s[0], &len);
    s.resize(len);
    return s;
}

struct Column {
    std::wstring name;
    wchar_t kind;   // 's' string, 'i' integer, 'v' stream, from the type's first letter
    int width;      // bytes of an integer column
    bool key;
};

struct Table {
    std::vector<Column> columns;
    std::vector<std::vector<std::wstring>> rows;   // every row of the base, as text
};

struct Base {
    std::map<std::wstring, Table> tables;          // only the tables a change names
    std::wstring platform;                         // "Intel", "x64", ...
};

Table ReadTable(const Msi& msi, MSIHANDLE db, const std::wstring& name) {
    Handle view(msi), types(msi), names(msi), keys(msi);
    std::wstring query = L"SELECT * FROM `" + name + L"`";
    if (msi.openView(db, query.c_str(), view.out()) != ERROR_SUCCESS ||
        msi.execute(view.get(), 0) != ERROR_SUCCESS)
        throw Failure(L"the base has no table " + name);
    msi.columnInfo(view.get(), MSICOLINFO_NAMES, names.out());
    msi.columnInfo(view.get(), MSICOLINFO_TYPES, types.out());
    msi.primaryKeys(db, name.c_str(), keys.out());
    Table t;
    UINT count = msi.fieldCount(names.get());
    if (count > 16) throw Failure(name + L" has more columns than a 16-bit row mask covers");
    for (UINT i = 1; i <= count; ++i) {
        std::wstring type = Field(msi, types.get(), i);
        Column c{Field(msi, names.get(), i), wchar_t(towlower(type.empty() ? L'?' : type[0])),
                 _wtoi(type.c_str() + (type.empty() ? 0 : 1)), false};
        if (c.kind == L'l' || c.kind == L'g') c.kind = L's';   // localizable / temporary strings
        for (UINT k = 1; k <= msi.fieldCount(keys.get()); ++k)
            c.key |= Field(msi, keys.get(), k) == c.name;
        t.columns.push_back(c);
    }
    Handle rec(msi);
    while (msi.fetch(view.get(), rec.out()) == ERROR_SUCCESS) {
        std::vector<std::wstring> row;
        for (UINT i = 1; i <= count; ++i) row.push_back(Field(msi, rec.get(), i));
        t.rows.push_back(row);
    }
    return t;
}

// ---- changes and the transform ---------------------------------------------------------------

struct Change {
    std::wstring table, key, column, value;
};

Change ParseChange(const std::wstring& text) {
    size_t c1 = text.find(L':'), c2 = c1 == std::wstring::npos ? c1 : text.find(L':', c1 + 1);
    size_t eq = c2 == std::wstring::npos ? c2 : text.find(L'=', c2 + 1);
    if (eq == std::wstring::npos || c1 == 0 || c2 == c1 + 1 || eq == c2 + 1)
        throw Failure(L"a change is Table:Key:Column=Value, not \"" + text + L"\"");
    return {text.substr(0, c1), text.substr(c1 + 1, c2 - c1 - 1), text.substr(c2 + 1, eq - c2 - 1),
            text.substr(eq + 1)};
}

std::vector<Change> ReadChanges(const std::vector<std::wstring>& args) {
    std::vector<Change> changes;
    for (const std::wstring& arg : args) {
        if (arg.empty() || arg[0] != L'@') {
            changes.push_back(ParseChange(arg));
            continue;
        }
        HANDLE f = CreateFileW(arg.c_str() + 1, GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) throw Failure(L"cannot open " + arg.substr(1));
        std::string bytes(GetFileSize(f, nullptr), '\0');
        DWORD got = 0;
        BOOL ok = bytes.empty() || ReadFile(f, &bytes[0], DWORD(bytes.size()), &got, nullptr);
        CloseHandle(f);
        if (!ok || got != bytes.size()) throw Failure(L"cannot read " + arg.substr(1));
        std::wstring text(bytes.size(), L'\0');
        text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()), &text[0],
                                        int(text.size())));
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(L'\n', start);
            if (end == std::wstring::npos) end = text.size();
            std::wstring line = text.substr(start, end - start);
            if (!line.empty() && line.back() == L'\r') line.pop_back();
            if (!line.empty()) changes.push_back(ParseChange(line));
            start = end + 1;
        }
    }
    if (changes.empty()) throw Failure(L"no change given");
    return changes;
}

std::wstring RowKey(const Table& t, const std::vector<std::wstring>& row) {
    std::wstring key;
    for (size_t i = 0; i < t.columns.size(); ++i)
        if (t.columns[i].key) key += (key.empty() ? L"" : L"|") + row[i];
    return key;
}

// One row of a table's transform stream: a 16-bit mask, then the values. An update sets the
// bit of each changed column and carries the keys plus those columns; an insert writes
// 1 | (column count << 8) and every column. Integers are stored offset (2 bytes: +0x8000,
// 4 bytes: ^0x80000000) so that 0 means null; strings as ids of the transform's own pool.
struct RowEdit {
    std::vector<std::wstring> values;   // the whole row after the changes
    unsigned mask = 0;                  // changed non-key columns; 0 with insert
    bool insert = false;
};

void AppendValue(Bytes& b, const Column& c, const std::wstring& value, StringPool& pool) {
    if (c.kind == L's') {
        Append16(b, pool.Id(value));
    } else if (c.kind == L'i') {
        int32_t n = _wtoi(value.c_str());
        if (c.width == 2) Append16(b, value.empty() ? 0 : unsigned(n + 0x8000) & 0xFFFF);
        else Append32(b, value.empty() ? 0 : uint32_t(n) ^ 0x80000000u);
    } else {
        throw Failure(L"column " + c.name + L" holds streams, which this tool cannot write");
    }
}

struct ProductFacts {
    std::wstring code, version, upgrade, language, name, manufacturer;
};

std::wstring PropertyValue(const Base& base, const std::wstring& name) {
    const Table& t = base.tables.at(L"Property");
    for (const auto& row : t.rows) if (row[0] == name) return row[1];
    return {};
}

class Transform {
public:
    Transform(Base& base, const std::vector<Change>& changes) : base_(base) {
        before_ = Facts();
        for (const Change& ch : changes) Apply(ch);
        after_ = Facts();
        int lang = _wtoi(after_.language.c_str());
        DWORD cp = 0;
        if (!GetLocaleInfoW(MAKELCID(lang, SORT_DEFAULT), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                            reinterpret_cast<LPWSTR>(&cp), sizeof(cp) / sizeof(wchar_t)) || cp == 0)
            cp = 1252;
        codepage_ = cp;
    }

    // Writes the transform's streams and class into stg.
    void Write(IStorage* stg, int validation) const {
        Check(stg->SetClass(kTransformClass), L"setting the transform class");
        StringPool pool(codepage_);
        for (const auto& [name, edits] : edits_) {
            const Table& t = base_.tables.at(name);
            Bytes b;
            for (const auto& [key, edit] : edits) {
                Append16(b, edit.insert ? 1 | unsigned(t.columns.size()) << 8 : edit.mask);
                for (size_t i = 0; i < t.columns.size(); ++i)
                    if (edit.insert || t.columns[i].key || edit.mask & (1u << i))
                        AppendValue(b, t.columns[i], edit.values[i], pool);
            }
            WriteStream(stg, TableStreamName(name), b);
        }
        WriteStream(stg, TableStreamName(L"_StringPool"), pool.Pool());
        WriteStream(stg, TableStreamName(L"_StringData"), pool.Data());

        SummaryInfo si(codepage_);
        si.Text(kPidTitle, L"Transform");
        si.Text(kPidSubject, after_.name);
        si.Text(kPidAuthor, after_.manufacturer);
        si.Text(kPidTemplate, base_.platform + L";" + before_.language);
        si.Text(kPidLastAuthor, base_.platform + L";" + after_.language);
        si.Text(kPidRevision, before_.code + before_.version + L";" + after_.code + after_.version +
                                  L";" + before_.upgrade);
        si.Int(kPidCharCount, validation);
        WriteStream(stg, L"\005SummaryInformation", si.Stream());
    }

    const ProductFacts& product() const { return before_; }
    UINT codepage() const { return codepage_; }

private:
    ProductFacts Facts() const {
        return {PropertyValue(base_, L"ProductCode"), PropertyValue(base_, L"ProductVersion"),
                PropertyValue(base_, L"UpgradeCode"), PropertyValue(base_, L"ProductLanguage"),
                PropertyValue(base_, L"ProductName"), PropertyValue(base_, L"Manufacturer")};
    }

    // Records the change and applies it to the base's rows, so that later facts see it.
    void Apply(const Change& ch) {
        Table& t = base_.tables.at(ch.table);
        auto col = std::find_if(t.columns.begin(), t.columns.end(),
                                [&](const Column& c) { return c.name == ch.column; });
        if (col == t.columns.end()) throw Failure(ch.table + L" has no column " + ch.column);
        size_t index = size_t(col - t.columns.begin());
        if (col->key) throw Failure(L"a key column cannot change: " + ch.table + L"." + ch.column);

        auto row = std::find_if(t.rows.begin(), t.rows.end(),
                                [&](const auto& r) { return RowKey(t, r) == ch.key; });
        auto& edits = edits_[ch.table];
        RowEdit& edit = edits[ch.key];
        if (row == t.rows.end()) {
            std::vector<std::wstring> fresh(t.columns.size());
            size_t start = 0;
            for (size_t i = 0; i < t.columns.size(); ++i) {
                if (!t.columns[i].key) continue;
                size_t bar = ch.key.find(L'|', start);
                fresh[i] = ch.key.substr(start, bar == std::wstring::npos ? bar : bar - start);
                start = bar == std::wstring::npos ? ch.key.size() : bar + 1;
            }
            t.rows.push_back(fresh);
            row = t.rows.end() - 1;
            edit.insert = true;
        }
        (*row)[index] = ch.value;
        if (!edit.insert) edit.mask |= 1u << index;
        edit.values = *row;
    }

    Base& base_;
    ProductFacts before_, after_;
    UINT codepage_ = 1252;
    std::map<std::wstring, std::map<std::wstring, RowEdit>> edits_;
};

Base ReadBase(const std::wstring& path, const std::vector<Change>& changes) {
    Msi msi;
    Handle db(msi), si(msi);
    if (msi.openDatabase(path.c_str(), MSIDBOPEN_READONLY, db.out()) != ERROR_SUCCESS)
        throw Failure(L"cannot open " + path);
    Base base;
    base.tables[L"Property"] = ReadTable(msi, db.get(), L"Property");
    for (const Change& ch : changes)
        if (!base.tables.count(ch.table)) base.tables[ch.table] = ReadTable(msi, db.get(), ch.table);
    if (msi.summary(db.get(), nullptr, 0, si.out()) != ERROR_SUCCESS)
        throw Failure(L"cannot read the summary information of " + path);
    wchar_t text[256] = {};
    DWORD len = 256;
    UINT type = 0;
    INT n = 0;
    FILETIME ft{};
    msi.summaryGet(si.get(), kPidTemplate, &type, &n, &ft, text, &len);
    std::wstring tmpl = text;
    base.platform = tmpl.substr(0, tmpl.find(L';'));
    return base;
}

// Validation of the transform: same product code and upgrade code as the base (low word); the
// high word would name error conditions to ignore, none here.
constexpr int kValidateProduct = 0x0002, kValidateUpgradeCode = 0x0800;

int Author(const std::vector<std::wstring>& args) {
    const std::wstring& verb = args[0];
    bool patch = verb == L"patch";
    if ((verb != L"transform" && !patch) || args.size() < (patch ? 5u : 4u))
        throw Failure(L"usage: msi_author transform <out.mst> <base.msi> CHANGE...\n"
                      L"       msi_author patch <out.msp> <target.msi> <{patch code}> CHANGE...");
    const std::wstring& out = args[1];
    std::wstring patchCode = patch ? args[3] : L"";
    std::vector<Change> changes =
        ReadChanges(std::vector<std::wstring>(args.begin() + (patch ? 4 : 3), args.end()));
    Base base = ReadBase(args[2], changes);
    Transform transform(base, changes);

    Com<IStorage> root;
    Check(StgCreateDocfile(out.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                           root.out()), L"creating " + out);
    if (!patch) {
        transform.Write(root.get(), kValidateProduct | kValidateUpgradeCode);
    } else {
        Check(root->SetClass(kPatchClass), L"setting the patch class");
        Com<IStorage> sub;
        Check(root->CreateStorage(L"Update", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                  sub.out()), L"creating the substorage");
        transform.Write(sub.get(), kValidateProduct | kValidateUpgradeCode);
        Check(sub->Commit(STGC_DEFAULT), L"committing the substorage");
        // The patch is a database too: it needs a string pool, here an empty one.
        StringPool none(transform.codepage());
        WriteStream(root.get(), TableStreamName(L"_StringPool"), none.Pool());
        WriteStream(root.get(), TableStreamName(L"_StringData"), none.Data());
        SummaryInfo si(transform.codepage());
        si.Text(kPidTitle, L"Patch");
        si.Text(kPidSubject, transform.product().name);
        si.Text(kPidAuthor, transform.product().manufacturer);
        si.Text(kPidTemplate, transform.product().code);    // the products it applies to
        si.Text(kPidLastAuthor, L":Update");                // its transforms
        si.Text(kPidRevision, patchCode);
        WriteStream(root.get(), L"\005SummaryInformation", si.Stream());
    }
    Check(root->Commit(STGC_DEFAULT), L"committing " + out);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    std::wstring error;
    if (args.empty()) {
        error = L"usage: msi_author transform|patch ...";
    } else {
        CoInitialize(nullptr);
        try {
            Author(args);
        } catch (const Failure& f) {
            error = f.text;
        }
        CoUninitialize();
    }
    if (error.empty()) return 0;
    std::wstring line = L"msi_author: " + error + L"\n";
    DWORD done = 0;
    std::string utf8 = ToCodePage(line, CP_UTF8);
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), utf8.data(), DWORD(utf8.size()), &done, nullptr);
    return 1;
}
