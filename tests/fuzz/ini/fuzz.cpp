// The ini reader against a slow reading of the same bytes: line by line, and every look-up a scan
// for the first name that matches.
#include <algorithm>
#include <cassert>
#include <cstdint>

#include "config/ini_file.h"
#include "win/text.h"

namespace {

std::wstring Trimmed(const std::wstring& text)
{
    static const std::wstring blanks = L"\t\n\v\f\r\x1A ";  // ^Z too
    const size_t first = text.find_first_not_of(blanks);
    return first == std::wstring::npos ? L"" : text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool Same(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return FoldAsciiLetter(x) == FoldAsciiLetter(y);
           });
}

struct Line {
    std::wstring section, name, value;
    bool header, hasValue;
};

// The lines that count, in file order.
std::vector<Line> SlowRead(const std::wstring& text)
{
    std::vector<Line> lines;
    std::wstring section;
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = std::min(text.find(L'\r', start), text.find(L'\n', start));
        end = end == std::wstring::npos ? text.size() : end;
        const std::wstring line = Trimmed(text.substr(start, end - start));
        const size_t close = line.rfind(L']');
        if (!line.empty() && line[0] == L'[' && close != std::wstring::npos && close > 0) {
            section = Trimmed(line.substr(1, close - 1));
            lines.push_back({section, L"", L"", true, false});
        } else if (!line.empty()) {
            const size_t equals = line.find(L'=');
            const std::wstring name = Trimmed(line.substr(0, equals));
            if (name.empty() && !lines.empty() && !lines.back().header && lines.back().name.empty() &&
                lines.back().section == section)
                continue;
            lines.push_back({section, name, equals == std::wstring::npos ? L"" : Trimmed(line.substr(equals + 1)),
                             false, equals != std::wstring::npos});
        }
    }
    return lines;
}

const Line* SlowFind(const std::vector<Line>& lines, const std::wstring& section, const std::wstring* key)
{
    const Line* header = nullptr;
    for (const Line& line : lines)
        if (line.header && Same(line.section, section) && (header = &line))
            break;
    if (!header || !key)
        return header;
    for (const Line* line = header + 1; line < lines.data() + lines.size() && !line->header; ++line)
        if (Same(line->name, *key))
            return line;
    return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    IniFile ini;
    ini.Parse(bytes, 1252);
    const bool unicode = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
    assert(ini.Unicode() == unicode);
    const std::wstring text = unicode ? std::wstring(reinterpret_cast<const wchar_t*>(data + 2), (size - 2) / 2)
                                      : AnsiToWide(bytes, 1252);
    const std::vector<Line> lines = SlowRead(text);
    for (const Line& line : lines) {
        // Names are asked as C strings; which section the nameless one is, is not the reader's to say.
        if (line.section.empty() || (line.section + line.name).find(L'\0') != std::wstring::npos)
            continue;
        std::wstring section = line.section, name = line.name;
        for (wchar_t* c : {&section[0], name.empty() ? &section[0] : &name[0]})  // case of A to Z is ignored
            *c = *c >= L'a' && *c <= L'z' ? *c - 32 : *c;
        const Line* expected = SlowFind(lines, section, line.header ? nullptr : &name);
        if (line.header) {
            assert(ini.FindSection(section.c_str()) && ini.FindSection(section.c_str())->name == expected->section);
            continue;
        }
        const std::wstring* value = ini.Find(section.c_str(), name.c_str());
        assert(value ? expected && expected->hasValue && *value == expected->value : !expected || !expected->hasValue);
    }
    return 0;
}
