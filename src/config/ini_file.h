#pragma once
#include <string>
#include <vector>

// A profile (ini) file parsed by the rules of the Windows profile functions: lines end at CR or
// LF, blanks around lines, names and values are trimmed, a section header runs from "[" to the
// last "]", names compare without regard to case, the first section and the first key of a
// name win, a line without "=" is a key without value.
class IniFile {
public:
    // Where the first of a list of names that equals a given name sits, found without comparing
    // the name with each of them: names made of ASCII letters and digits alone (nearly all) are
    // kept folded to lower case and sorted by a hash of that, so that a look-up compares numbers
    // and then one name (names of a section share long beginnings such as "RegPath"); the few
    // others are compared one by one.
    class NameIndex {
    public:
        template <class Item>
        void Build(const std::vector<Item>& items);
        // The position of the first item whose name equals [start, end); items.size() for none.
        template <class Item>
        size_t Find(const std::vector<Item>& items, const wchar_t* start, const wchar_t* end) const;

    private:
        struct Entry {
            unsigned hash;
            std::wstring folded;
            size_t position;
        };
        std::vector<Entry> folded_;   // by hash and name, one entry per name: its first position
        std::vector<size_t> others_;  // in file order
    };

    struct Key {
        std::wstring name;
        std::wstring value;
        bool hasValue = false;
    };
    struct Section {
        std::wstring name;
        std::vector<Key> keys;
        NameIndex index;
    };

    // Parses the bytes of a file: UTF-16LE text after its byte-order mark (what editors save as
    // "Unicode", and the profile functions read as such), otherwise ANSI text in the code page.
    void Parse(const std::string& text, unsigned codePage);
    // Whether the bytes parsed were UTF-16LE text.
    bool Unicode() const { return unicode_; }

    // The key's value with one pair of enclosing quotes removed; null when the section or key
    // is absent or the key has no "=".
    const std::wstring* Find(const wchar_t* section, const wchar_t* key) const;
    // The section's entries as GetPrivateProfileSection lists them ("name=value", or "name" for
    // a line without "="; comments and empty lines left out); null when the section is absent.
    const Section* FindSection(const wchar_t* section) const;
    // Every section in file order, the nameless one of keys before the first header first.
    const std::vector<Section>& Sections() const { return sections_; }

private:
    std::vector<Section> sections_;
    NameIndex index_;
    bool unicode_ = false;
};

// How an ini file's text is encoded, told by its first bytes. The setup reads ANSI text and
// UTF-16LE after its byte-order mark; the others it reads as ANSI text, which loses them.
enum class IniEncoding { Ansi, Utf16Le, Utf8WithMark, Utf16Be, Utf16LeWithoutMark, Utf16BeWithoutMark };
IniEncoding DetectIniEncoding(const std::string& head);
// The first bytes of a file (fewer when it is shorter, none when it cannot be read).
std::string ReadFileHead(const std::wstring& path, size_t count);
bool IsUnicodeIniFile(const std::wstring& path);

// Profile rules for values: one pair of enclosing ' or " quotes is removed.
std::wstring StripQuotes(const std::wstring& value);
// The integer reading of a profile value: blanks, a sign, a 0x/0o/0b prefix, then digits;
// the value wraps around like an unsigned 32-bit number.
// wholeNumber (optional) tells whether digits were read and nothing but them followed.
unsigned long ProfileInteger(const std::wstring& text, bool* wholeNumber = nullptr);

// The setup ini, parsed once and parsed again only when its time stamp, size or the code page
// in use changes. Null when the file cannot be read.
const IniFile* CachedIni(const std::wstring& path, unsigned codePage);
