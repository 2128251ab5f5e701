#include "config/ini_file.h"

#include <algorithm>
#include <cstring>

#include "win/text.h"

namespace {

bool IsProfileSpace(wchar_t c)
{
    // ^Z (DOS end of file) counts as a blank, as it does for the profile functions.
    return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20;
}

void Trim(const wchar_t*& start, const wchar_t*& end)
{
    while (start < end && IsProfileSpace(*start))
        ++start;
    while (end > start && IsProfileSpace(end[-1]))
        --end;
}

bool IsAsciiLetterOrDigit(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

bool IsAsciiLettersAndDigits(const wchar_t* start, const wchar_t* end)
{
    for (; start < end; ++start) {
        if (!IsAsciiLetterOrDigit(*start))
            return false;
    }
    return true;
}

// FNV-1a over the name with the letters A to Z folded to a to z.
unsigned FoldedHash(const wchar_t* start, const wchar_t* end)
{
    unsigned hash = 2166136261u;
    for (; start < end; ++start)
        hash = (hash ^ FoldAsciiLetter(*start)) * 16777619u;
    return hash;
}

bool EqualsFolded(const std::wstring& folded, const wchar_t* start, const wchar_t* end)
{
    if (folded.size() != static_cast<size_t>(end - start))
        return false;
    for (size_t index = 0; index < folded.size(); ++index) {
        if (folded[index] != FoldAsciiLetter(start[index]))
            return false;
    }
    return true;
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    // Over ASCII letters and digits the linguistic comparison without regard to case answers
    // what folding the letters answers, at a fraction of its cost: a difference within such a
    // beginning is a difference, and names made of nothing else (nearly all) compare that way.
    // At any other character the linguistic comparison decides.
    for (size_t index = 0; index < a.size(); ++index) {
        if (!IsAsciiLetterOrDigit(a[index]) || !IsAsciiLetterOrDigit(b[index]))
            return EqualsNoCase(a, b.c_str());
        if (FoldAsciiLetter(a[index]) != FoldAsciiLetter(b[index]))
            return false;
    }
    return true;
}

}  // namespace

template <class Item>
void IniFile::NameIndex::Build(const std::vector<Item>& items)
{
    folded_.clear();
    others_.clear();
    for (size_t position = 0; position < items.size(); ++position) {
        const std::wstring& name = items[position].name;
        if (!IsAsciiLettersAndDigits(name.data(), name.data() + name.size())) {
            others_.push_back(position);
            continue;
        }
        Entry entry{FoldedHash(name.data(), name.data() + name.size()), name, position};
        for (wchar_t& c : entry.folded)
            c = FoldAsciiLetter(c);
        folded_.push_back(std::move(entry));
    }
    // Equal names stay in file order, and only the first of them can be found. The position
    // keeps them so without a stable sort, whose buffer would bring the exception machinery
    // (and its 150 KB) into the program.
    std::sort(folded_.begin(), folded_.end(), [](const Entry& a, const Entry& b) {
        if (a.hash != b.hash)
            return a.hash < b.hash;
        const int order = a.folded.compare(b.folded);
        return order != 0 ? order < 0 : a.position < b.position;
    });
    folded_.erase(std::unique(folded_.begin(), folded_.end(),
                              [](const Entry& a, const Entry& b) { return a.folded == b.folded; }),
                  folded_.end());
}

template <class Item>
size_t IniFile::NameIndex::Find(const std::vector<Item>& items, const wchar_t* start, const wchar_t* end) const
{
    if (!IsAsciiLettersAndDigits(start, end)) {
        // Such a name may equal another only by the linguistic comparison: one by one.
        const std::wstring name(start, end);
        for (size_t position = 0; position < items.size(); ++position) {
            if (SameName(items[position].name, name))
                return position;
        }
        return items.size();
    }
    // Between two names of ASCII letters and digits, equality is equality of the folded names.
    const unsigned hash = FoldedHash(start, end);
    auto entry = std::lower_bound(folded_.begin(), folded_.end(), hash,
                                  [](const Entry& candidate, unsigned wanted) { return candidate.hash < wanted; });
    while (entry != folded_.end() && entry->hash == hash && !EqualsFolded(entry->folded, start, end))
        ++entry;
    const size_t first = entry != folded_.end() && entry->hash == hash ? entry->position : items.size();
    // A name of other characters before it may still equal this one by the linguistic comparison.
    if (!others_.empty() && others_.front() < first) {
        const std::wstring name(start, end);
        for (const size_t position : others_) {
            if (position > first)
                break;
            if (SameName(items[position].name, name))
                return position;
        }
    }
    return first;
}

IniEncoding DetectIniEncoding(const std::string& head)
{
    if (head.size() < 2)
        return IniEncoding::Ansi;
    if (head[0] == '\xFF' && head[1] == '\xFE')
        return IniEncoding::Utf16Le;
    if (head[0] == '\xFE' && head[1] == '\xFF')
        return IniEncoding::Utf16Be;
    if (head.size() >= 3 && head.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return IniEncoding::Utf8WithMark;
    // Without a mark, text of ASCII characters shows a zero byte beside each.
    if (head[0] != '\0' && head[1] == '\0')
        return IniEncoding::Utf16LeWithoutMark;
    if (head[0] == '\0' && head[1] != '\0')
        return IniEncoding::Utf16BeWithoutMark;
    return IniEncoding::Ansi;
}

void IniFile::Parse(const std::string& text, unsigned codePage)
{
    sections_.clear();
    unicode_ = DetectIniEncoding(text) == IniEncoding::Utf16Le;
    std::wstring wide;
    if (unicode_) {
        wide.resize((text.size() - 2) / sizeof(wchar_t));
        memcpy(&wide[0], text.data() + 2, wide.size() * sizeof(wchar_t));
    } else {
        wide = AnsiToWide(text, codePage);
    }
    // Keys before the first header belong to a nameless section, as with the profile functions.
    sections_.push_back(Section());
    const wchar_t* next = wide.data();
    const wchar_t* const fileEnd = next + wide.size();
    while (next < fileEnd) {
        const wchar_t* start = next;
        while (next < fileEnd && *next != L'\n' && *next != L'\r')
            ++next;
        while (next < fileEnd && (*next == L'\n' || *next == L'\r'))
            ++next;
        const wchar_t* end = next;
        Trim(start, end);
        if (start >= end)
            continue;
        if (*start == L'[') {
            const wchar_t* close = end;
            while (close > start && close[-1] != L']')
                --close;
            // Without a closing bracket the line is read as a key.
            if (close > start + 1) {
                const wchar_t* nameStart = start + 1;
                const wchar_t* nameEnd = close - 1;
                Trim(nameStart, nameEnd);
                sections_.push_back(Section{std::wstring(nameStart, nameEnd), {}, {}});
                continue;
            }
        }
        Key key;
        const wchar_t* equals = start;
        while (equals < end && *equals != L'=')
            ++equals;
        const wchar_t* nameEnd = end;
        if (equals < end) {
            nameEnd = equals;
            while (nameEnd > start && IsProfileSpace(nameEnd[-1]))
                --nameEnd;
            const wchar_t* valueStart = equals + 1;
            while (valueStart < end && IsProfileSpace(*valueStart))
                ++valueStart;
            key.value.assign(valueStart, end);
            key.hasValue = true;
        }
        key.name.assign(start, nameEnd);
        std::vector<Key>& keys = sections_.back().keys;
        // Runs of nameless keys collapse into one, as the profile functions read them.
        if (key.name.empty() && !keys.empty() && keys.back().name.empty())
            continue;
        keys.push_back(std::move(key));
    }
    for (Section& section : sections_)
        section.index.Build(section.keys);
    index_.Build(sections_);
}

const IniFile::Section* IniFile::FindSection(const wchar_t* section) const
{
    const wchar_t* end = section + wcslen(section);
    Trim(section, end);
    const size_t position = index_.Find(sections_, section, end);
    return position < sections_.size() ? &sections_[position] : nullptr;
}

const std::wstring* IniFile::Find(const wchar_t* section, const wchar_t* key) const
{
    const Section* found = FindSection(section);
    if (!found)
        return nullptr;
    const wchar_t* end = key + wcslen(key);
    Trim(key, end);
    const size_t position = found->index.Find(found->keys, key, end);
    if (position == found->keys.size() || !found->keys[position].hasValue)
        return nullptr;
    return &found->keys[position].value;
}

std::wstring StripQuotes(const std::wstring& value)
{
    if (value.size() >= 2 && (value[0] == L'\'' || value[0] == L'"') && value.back() == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}

unsigned long ProfileInteger(const std::wstring& text, bool* wholeNumber)
{
    size_t position = 0;
    while (position < text.size() && (text[position] == L' ' || text[position] == L'\t' ||
                                      text[position] == L'\n' || text[position] == L'\r'))
        ++position;
    bool negative = false;
    if (position < text.size() && (text[position] == L'+' || text[position] == L'-'))
        negative = text[position++] == L'-';
    unsigned base = 10;
    if (position + 1 < text.size() && text[position] == L'0') {
        // Only lower-case prefixes count, as for the profile functions.
        const wchar_t prefix = text[position + 1];
        if (prefix == L'x')
            base = 16;
        else if (prefix == L'o')
            base = 8;
        else if (prefix == L'b')
            base = 2;
        if (base != 10)
            position += 2;
    }
    unsigned long value = 0;
    const size_t digits = position;
    for (; position < text.size(); ++position) {
        const wchar_t c = text[position];
        unsigned digit;
        if (c >= L'0' && c <= L'9')
            digit = c - L'0';
        else if (c >= L'a' && c <= L'f')
            digit = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F')
            digit = c - L'A' + 10;
        else
            break;
        if (digit >= base)
            break;
        value = value * base + digit;
    }
    if (wholeNumber)
        *wholeNumber = position > digits && position == text.size();
    return negative ? 0ul - value : value;
}
