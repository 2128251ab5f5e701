// The host build's stand-ins: the C library's wide functions for 16-bit wchar_t, the Windows
// functions of windows.h here, text measured without fonts, and the log and message boxes the
// parsers call, which go nowhere.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <codecvt>
#include <cstring>
#include <locale>
#include <string>

#include "layout.h"
#include "log/error_text.h"
#include "log/messages.h"
#include "win/text.h"

namespace {

using Units = std::char_traits<char16_t>;
const char16_t* U(const wchar_t* s) { return reinterpret_cast<const char16_t*>(s); }
char16_t* U(wchar_t* s) { return reinterpret_cast<char16_t*>(s); }
wchar_t* W(const char16_t* s) { return reinterpret_cast<wchar_t*>(const_cast<char16_t*>(s)); }

// msvcrt's reading of a number, through the C library's: the text is ASCII for it.
long long Number(const wchar_t* s, wchar_t** end, int base, bool isSigned)
{
    std::string narrow;
    for (const wchar_t* c = s; *c; ++c)
        narrow += *c < 128 ? static_cast<char>(*c) : '\1';
    char* stop;
    const long long value = isSigned ? strtoll(narrow.c_str(), &stop, base) : strtoull(narrow.c_str(), &stop, base);
    if (end)
        *end = const_cast<wchar_t*>(s + (stop - narrow.c_str()));
    return value;
}

}  // namespace

extern "C" {
size_t host_wcslen(const wchar_t* s) { return Units::length(U(s)); }
int host_wmemcmp(const wchar_t* a, const wchar_t* b, size_t n) { return Units::compare(U(a), U(b), n); }
wchar_t* host_wmemchr(const wchar_t* s, wchar_t c, size_t n) { return W(Units::find(U(s), n, c)); }
wchar_t* host_wmemcpy(wchar_t* to, const wchar_t* from, size_t n) { return W(Units::copy(U(to), U(from), n)); }
wchar_t* host_wmemmove(wchar_t* to, const wchar_t* from, size_t n) { return W(Units::move(U(to), U(from), n)); }
wchar_t* host_wmemset(wchar_t* s, wchar_t c, size_t n) { return W(Units::assign(U(s), n, c)); }
wchar_t* host_wcschr(const wchar_t* s, wchar_t c) { return W(Units::find(U(s), Units::length(U(s)) + 1, c)); }
// Windows' long is 32 bits: the limits are those of 32 bits.
long host_wcstol(const wchar_t* s, wchar_t** end, int base)
{
    return std::clamp<long long>(Number(s, end, base, true), INT_MIN, INT_MAX);
}
unsigned long host_wcstoul(const wchar_t* s, wchar_t** end, int base)
{
    const unsigned long long value = Number(s, end, base, false);
    return value > UINT_MAX && value < 0ull - UINT_MAX ? UINT_MAX : static_cast<uint32_t>(value);
}
int _wcsicmp(const wchar_t* a, const wchar_t* b)
{
    for (; FoldAsciiLetter(*a) == FoldAsciiLetter(*b); ++a, ++b)
        if (!*a)
            return 0;
    return FoldAsciiLetter(*a) < FoldAsciiLetter(*b) ? -1 : 1;
}
int _wtoi(const wchar_t* s) { return static_cast<int>(host_wcstol(s, nullptr, 10)); }
}

int MulDiv(int number, int numerator, int denominator)
{
    const double result = std::round(static_cast<double>(number) * numerator / denominator);
    return denominator && result >= INT_MIN && result <= INT_MAX ? static_cast<int>(result) : -1;
}
// As Wine's: one code unit a character.
wchar_t* CharNextW(const wchar_t* c) { return const_cast<wchar_t*>(*c ? c + 1 : c); }
wchar_t* CharPrevW(const wchar_t* start, const wchar_t* c) { return const_cast<wchar_t*>(c > start ? c - 1 : start); }
DWORD CharUpperBuffW(wchar_t* text, DWORD length)
{
    std::transform(text, text + length, text, [](wchar_t c) { return c >= L'a' && c <= L'z' ? wchar_t(c - 32) : c; });
    return length;
}
DWORD CharLowerBuffW(wchar_t* text, DWORD length)
{
    std::transform(text, text + length, text, FoldAsciiLetter);
    return length;
}
int lstrcmpiW(const wchar_t* a, const wchar_t* b) { return _wcsicmp(a, b); }

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int length, wchar_t* out, int capacity)
{
    // Any code page but UTF-8 reads a byte as the character of that code. The C++ library lets UTF-8
    // surrogates through, which Windows refuses; a page in UTF-16 brings the parser those anyway.
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::u16string result(bytes, bytes + length);
    if (codePage == CP_UTF8) {
        std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t> utf8(std::string(), u"\xFFFD");
        result = utf8.from_bytes(text, text + length);
        if (utf8.converted() < static_cast<size_t>(length) && (flags & MB_ERR_INVALID_CHARS))
            return 0;
    }
    if (out && capacity >= static_cast<int>(result.size()))
        Units::copy(U(out), result.data(), result.size());
    return static_cast<int>(result.size());
}

const BYTE* g_hostRegValue;
DWORD g_hostRegSize;
LONG RegOpenKeyExW(HKEY root, LPCWSTR, DWORD, REGSAM, HKEY* key) { return *key = root, ERROR_SUCCESS; }
LONG RegCloseKey(HKEY) { return ERROR_SUCCESS; }
LONG RegQueryValueExW(HKEY, LPCWSTR, DWORD*, DWORD*, BYTE* data, DWORD* size)
{
    if (*size < g_hostRegSize)
        return ERROR_MORE_DATA;
    memcpy(data, g_hostRegValue, *size = g_hostRegSize);
    return ERROR_SUCCESS;
}

std::wstring AnsiToWide(const std::string& text, UINT codePage)
{
    std::wstring wide(text.size(), L'\0');
    const int size = static_cast<int>(text.size());
    wide.resize(MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], size));
    return wide;
}
bool EqualsNoCase(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }
void LogPrintf(const wchar_t*, ...) {}
std::wstring ErrorText(unsigned long) { return std::wstring(); }
int ShowAlways(HWND, const std::wstring&, const std::wstring&, UINT) { return 0; }
std::wstring LoadText(unsigned) { return std::wstring(); }

// Painting's GDI: a bitmap is memory of its own, a DC stands for nothing, text draws nothing.
HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT, void** bits, HANDLE, DWORD)
{
    return *bits = calloc(static_cast<size_t>(info->bmiHeader.biWidth) * -info->bmiHeader.biHeight, 4);
}
BOOL DeleteObject(void* bitmap) { return free(bitmap), TRUE; }
HDC CreateCompatibleDC(HDC) { return reinterpret_cast<HDC>(1); }
BOOL DeleteDC(HDC) { return TRUE; }
HGDIOBJ SelectObject(HDC, HGDIOBJ) { return nullptr; }
int SaveDC(HDC) { return 1; }
int SetBkMode(HDC, int) { return 0; }
int IntersectClipRect(HDC, int, int, int, int) { return 1; }
int DrawFocusRect(HDC, const RECT*) { return 1; }
BOOL RestoreDC(HDC, int) { return TRUE; }
BOOL GdiFlush() { return TRUE; }
BOOL ExtTextOutW(HDC, int, int, UINT, const RECT*, LPCWSTR, UINT, const INT*) { return TRUE; }
BOOL GetTextExtentExPointW(HDC, LPCWSTR, int n, int, int*, INT* extents, SIZE*)
{
    for (int i = 0; i < n; ++i)
        extents[i] = (i + 1) * 8;
    return TRUE;
}
COLORREF SetTextColor(HDC, COLORREF) { return 0; }

// Text without fonts: every character half the font size wide, lines the font size high.
namespace hl {
Fonts::Fonts() : dc_(nullptr) {}
Fonts::~Fonts() = default;
void Fonts::Select(const Style&, HDC) {}
void Fonts::Metrics(const Style& style, int& height, int& ascent, int* normalLine)
{
    height = style.fontSize;
    ascent = style.fontSize * 4 / 5;
    if (normalLine)
        *normalLine = style.fontSize;
}
long long Fonts::Advance(const Style& style, const std::wstring& text)
{
    return static_cast<long long>(text.size()) * (style.fontSize / 2);
}
}  // namespace hl
