#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "app/settings.h"
#include "config/setup_ini.h"
#include "support.h"
#include "win/text.h"

namespace {

// Writes the setup ini with a time stamp of its own (seconds after a fixed day), so that a new
// content is told from the old one by its stamp alone, and drops the system's cached copy.
void WriteIni(const std::string& text, unsigned stamp)
{
    HANDLE file = CreateFileW(GetIniPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    const ULONGLONG time = 132000000000000000ull + stamp * 10000000ull;
    const FILETIME fileTime = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    SetFileTime(file, nullptr, nullptr, &fileTime);
    CloseHandle(file);
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, GetIniPath().c_str());
}

// Random setup ini files in the shape the profile functions read. Names come from a few per file,
// written in other letter cases. Their letters beyond ASCII are capitals in code pages 1251 and
// 1252 alike (0xC0-0xD6) and keep their case: Wine's profile functions fold ASCII letters only,
// where Windows and the reader fold all of them.
class IniGenerator {
public:
    explicit IniGenerator(unsigned seed) : random_(seed) {}
    int Below(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
    template <typename T, size_t N>
    T Pick(const T (&items)[N]) { return items[Below(N)]; }
    std::string Blanks() { return Pick({"", "", " ", "\t", "  \x1A"}); }

    std::string Name()
    {
        static const char kLetters[] = "abcdefgzABCDEFZ0123456789-_. ";
        if (Below(3) == 0)
            return Pick({"Main", "PreReq1", "Optional", "OptionalX", "A", "Name"});
        std::string name;
        for (int length = 1 + Below(8); static_cast<int>(name.size()) < length;) {
            const char c = Below(4) ? kLetters[Below(sizeof(kLetters) - 1)] : static_cast<char>(0xC0 + Below(23));
            if (c != ' ' || (!name.empty() && static_cast<int>(name.size()) + 1 < length))  // no blank at the ends
                name += c;
        }
        return name;
    }

    std::string Spelling(std::string name)
    {
        for (char& c : name)
            c = static_cast<char>(Below(2) && (c | 0x20) >= 'a' && (c | 0x20) <= 'z' ? c ^ 0x20 : c);
        return name;
    }

    // A value; a long one may end near "room" characters, where a section's listing is cut.
    std::string Value(int room = 2000)
    {
        std::string value;
        switch (Below(7)) {
        case 0:  // long: near the listing's end, around and beyond the 2048-byte read limit
            value.assign(static_cast<size_t>(Pick({room - Below(16), 2030 + Below(30), 3000})), static_cast<char>('a' + Below(26)));
            return Below(2) ? value : Quoted(value);
        case 1:  // bytes of the code page's upper half
            for (int length = 1 + Below(12); static_cast<int>(value.size()) < length;)
                value += static_cast<char>(Below(3) ? 0x80 + Below(128) : 'a' + Below(26));
            return value;
        case 2:  // digits around the 29 characters an integer is read from
            for (int length = 24 + Below(10); static_cast<int>(value.size()) < length;)
                value += static_cast<char>('0' + Below(10));
            return Below(4) ? value : Quoted(value);
        case 3:
            return Quoted(Below(2) ? "x" : " spaced  ");
        default:
            return Pick({"", "x", "value with  blanks", "42", " -7", "0x1F", "12abc", "+3", "0o17", "0b101", "99999999999",
                         "4294967295", "0X2a", "\"15\"", "'0x10'", "\"", "\"\"", "\"unbalanced", "'mixed\"", "a\"b\"", "=;]",
                         "x\x1Ay"});
        }
    }

    // Wine's profile functions cut one character too many from a quoted value whose text fills the
    // caller's buffer exactly (they compare with the copy they already cut): such texts (29
    // characters for integers, 2047 for strings) are left out rather than Wine's answer taken.
    std::string Quoted(std::string text)
    {
        if (text.size() == 29 || text.size() == 2047)
            text += 'q';
        const char quote = Below(2) ? '"' : '\'';
        return quote + text + quote;
    }

    std::string File(const std::vector<std::string>& sections, const std::vector<std::string>& keys)
    {
        const char* const ends[] = {"\r\n", "\n", "\r"};
        const int endStyle = Below(3);
        std::string text;
        for (int lines = Below(40); lines > 0; --lines) {
            const std::string section = Spelling(sections[Below(static_cast<int>(sections.size()))]);
            // Now and then "Optional", which a section has or not by its listing.
            const std::string key = Spelling(Below(8) ? keys[Below(static_cast<int>(keys.size()))] : "Optional");
            const int kind = Below(100);
            std::string line = Blanks();
            if (kind < 4)  // a long value, then "Optional" where the listing is cut
                line += key + "=" + std::string(2044 - key.size() - Below(16), 'v') + "\r\nOptional=" + Pick({"0", "1", "", "x"});
            else if (kind < 22)
                line += "[" + Blanks() + section + Blanks() + "]" + Pick({"", "", " x", "]"});
            else if (kind < 67)
                line += key + Blanks() + "=" + Blanks() + Value(2044 - static_cast<int>(key.size()));
            else if (kind < 72)
                line += key;  // a key without value
            else if (kind < 76) {  // nameless keys, of which the system keeps one of a run, then "Optional"
                for (int run = 1 + Below(3); run > 0; --run)
                    line += "=" + (Below(4) ? std::string(700 + Below(400), 'n') : Value()) + "\n";
                line += Below(2) ? "Optional=1" : "";
            } else if (kind < 81)
                line += ";" + key + "=" + Value();
            else if (kind < 84)
                line += "[" + section;
            else if (kind < 86)
                line += Pick({"[]", "[ ]"});
            text += line + Blanks() + (endStyle < 2 ? ends[endStyle] : Pick(ends));
        }
        return text;
    }

private:
    std::mt19937 random_;
};

std::string Escaped(const std::string& text)
{
    return testing::PrintToString(text.substr(0, 3000));
}

}  // namespace

// The setup ini reader against the system's profile functions, called as the program called them
// before it had a reader of its own: GetPrivateProfileStringA with names in the product's code page
// into 2048 bytes, GetPrivateProfileIntW, and GetPrivateProfileSectionW into 2048 characters for
// "Optional". A third of the files are saved as Unicode (UTF-16LE with its byte-order mark), whose
// strings are asked of GetPrivateProfileStringW into 2048 characters. Random files for about 20 seconds; INI_FUZZ_SEED replays a failing file first. Empty
// names are never asked: Wine's answers for them differ from Windows' (keys before the first
// section, "[]"), and the program asks for none.
TEST_F(RunTest, SetupIniReadsLikeTheProfileFunctions)
{
    char fixed[32] = {};
    const unsigned firstSeed = GetEnvironmentVariableA("INI_FUZZ_SEED", fixed, sizeof(fixed))
                                   ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10))
                                   : GetTickCount() ^ (GetCurrentProcessId() << 16);
    std::printf("ini fuzz: seed %u (replay with INI_FUZZ_SEED), system code page %u\n", firstSeed, GetACP());
    ASSERT_TRUE(GetACP() == 1252 || GetACP() == 1251) << "the files are read in a single-byte code page";
    const std::string path = WideToAnsi(GetIniPath(), CP_ACP);
    const ULONGLONG end = GetTickCount64() + 20000;
    unsigned files = 0, questions = 0;
    for (; GetTickCount64() < end; ++files) {
        IniGenerator generate(firstSeed + files);
        std::vector<std::string> sections, keys;
        for (int i = 0; i < 4; ++i)
            sections.push_back(generate.Name()), keys.push_back(generate.Name()), keys.push_back(generate.Name());
        const std::string text = generate.File(sections, keys);
        const UINT codePage = g_Settings.CodePage = generate.Below(2) ? 1251 : 1252;
        const bool unicode = generate.Below(3) == 0;
        if (unicode) {
            const std::wstring wide = AnsiToWide(text, codePage);
            WriteIni("\xFF\xFE" + std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2), files);
        } else {
            WriteIni(text, files);
        }
        // The system reads an ANSI file in its own code page, a Unicode one as it stands.
        const UINT systemCodePage = unicode ? codePage : CP_ACP;
        sections.push_back("Missing"), keys.push_back("Missing"), keys.push_back("Optional");
        const auto same = [&](const std::string& question, const std::string& reader, const std::string& system) {
            if (reader != system)
                ADD_FAILURE() << Escaped(question) << " in code page " << codePage << (unicode ? ", saved as Unicode" : "")
                              << ": the reader answers "
                              << Escaped(reader) << ", the system " << Escaped(system) << "; replay with INI_FUZZ_SEED="
                              << firstSeed + files << "; the file:\n" << Escaped(text);
            return reader == system;
        };
        for (const std::string& sectionName : sections) {
            const std::string bare = generate.Spelling(sectionName), section = generate.Blanks() + bare + generate.Blanks();
            const std::wstring sectionW = AnsiToWide(section, codePage), sectionSystem = AnsiToWide(section, systemCodePage);
            for (const std::string& keyName : keys) {
                const std::string key = generate.Blanks() + generate.Spelling(keyName);
                const std::wstring keyW = AnsiToWide(key, codePage);
                for (const char* defaultValue : {static_cast<const char*>(nullptr), "Dflt"}) {
                    std::string system;
                    if (unicode) {
                        wchar_t buffer[2048] = {};
                        const DWORD length = GetPrivateProfileStringW(sectionW.c_str(), keyW.c_str(),
                                                                      defaultValue ? L"Dflt" : nullptr, buffer, 2048,
                                                                      GetIniPath().c_str());
                        system = WideToAnsi(std::wstring(buffer, length), codePage);
                    } else {
                        char buffer[2048] = {};
                        system.assign(buffer, GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue, buffer,
                                                                       sizeof(buffer), path.c_str()));
                    }
                    const std::wstring read = IniReadString(sectionW.c_str(), keyW.c_str(), defaultValue ? L"Dflt" : nullptr);
                    if (!same("[" + section + "] " + key, WideToAnsi(read, codePage), system))
                        return;
                }
                const UINT integer = GetPrivateProfileIntW(sectionSystem.c_str(), AnsiToWide(key, systemCodePage).c_str(),
                                                           77, GetIniPath().c_str());
                if (!same("integer [" + section + "] " + key, std::to_string(IniReadInt(sectionW.c_str(), keyW.c_str(), 77)),
                          std::to_string(static_cast<int>(integer))))
                    return;
                questions += 3;
            }
            // Wine's section listing does not trim the name asked for; the program asks without blanks.
            const std::wstring bareSystem = AnsiToWide(bare, systemCodePage);
            wchar_t entries[2048] = {};
            const DWORD listed = GetPrivateProfileSectionW(bareSystem.c_str(), entries, 2048, GetIniPath().c_str());
            int optional = -1;
            for (const wchar_t* entry = entries; optional == -1 && entry < entries + listed && *entry; entry += wcslen(entry) + 1) {
                if (wcsncmp(entry, L"Optional", 8) == 0)
                    optional = static_cast<int>(GetPrivateProfileIntW(bareSystem.c_str(), L"Optional", 1, GetIniPath().c_str()));
            }
            const int read = IniReadOptional(AnsiToWide(bare, codePage).c_str(), L"Optional", 1);
            if (!same("optional state of [" + bare + "]", std::to_string(read), std::to_string(optional)))
                return;
        }
    }
    std::printf("ini fuzz: %u files, %u questions\n", files, questions);
}

// The ini is parsed again only when its time stamp or size changes; while a snapshot lives, reads
// take the file as its first read found it.
TEST_F(RunTest, SetupIniIsParsedAgainOnlyWhenItsTimeStampOrSizeChanges)
{
    const struct {
        const char* text;  // null: no file
        unsigned stamp;
        const wchar_t* read;
    } rows[] = {
        {"[Main]\r\nA=1\r\n", 1, L"1"}, {"[Main]\r\nA=2\r\n", 1, L"1"},  // same stamp and size: the parsed copy stands
        {"[Main]\r\nA=3\r\n", 2, L"3"}, {"[Main]\r\nA=44\r\n", 2, L"44"}, {nullptr, 0, L"none"},
    };
    for (const auto& row : rows) {
        row.text ? WriteIni(row.text, row.stamp) : static_cast<void>(DeleteFileW(GetIniPath().c_str()));
        EXPECT_EQ(IniReadString(L"Main", L"A", L"none"), row.read) << (row.text ? row.text : "no file");
    }
    EXPECT_EQ(IniReadOptional(L"Main", L"Optional", 1), -1);
    WriteIni("[Main]\r\nA=5\r\n", 3);
    {
        const SetupIniSnapshot snapshot;
        EXPECT_EQ(IniReadInt(L"Main", L"A", 0), 5);
        WriteIni("[Main]\r\nA=66\r\nOptional=0\r\n", 4);
        EXPECT_EQ(IniReadInt(L"Main", L"A", 0), 5);
        EXPECT_EQ(IniReadOptional(L"Main", L"Optional", 1), -1);
    }
    EXPECT_EQ(IniReadInt(L"Main", L"A", 0), 66);
    EXPECT_EQ(IniReadOptional(L"Main", L"Optional", 1), 0);
}
