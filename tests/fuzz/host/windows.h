// The few Windows types and functions the parsers use, for the host build (host.cpp has the
// functions). Text measurement and files are not here: the host build leaves them out. Painting
// draws into memory of its own; of GDI it needs only a bitmap's bits, and text draws nothing.
#pragma once
#include <cstdint>

#define WINAPI
#define CALLBACK
#define __declspec(x)
typedef void VOID;
typedef int BOOL;
typedef unsigned char BYTE, *LPBYTE;
typedef unsigned short WORD, LANGID;
typedef unsigned UINT;
typedef int32_t LONG, INT;
typedef uint32_t DWORD, COLORREF, REGSAM;
typedef uintptr_t ULONG_PTR, UINT_PTR, WPARAM;
typedef intptr_t LPARAM, LRESULT;
typedef void *LPVOID, *HANDLE, *HMODULE, *HLOCAL, *PSID, *HKEY, *HWND, *HDC, *HFONT, *HICON, *HBITMAP, *HGDIOBJ;
typedef const char* LPCSTR;
typedef const wchar_t* LPCWSTR;
struct POINT { LONG x, y; };
struct SIZE { LONG cx, cy; };
struct RECT { LONG left, top, right, bottom; };
struct BITMAPINFOHEADER { DWORD biSize; LONG biWidth, biHeight; WORD biPlanes, biBitCount; DWORD biCompression; };
struct BITMAPINFO { BITMAPINFOHEADER bmiHeader; };
struct NMHDR { HWND hwndFrom; UINT_PTR idFrom; UINT code; };

#define FALSE 0
#define TRUE 1
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)((c) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#define BI_RGB 0
#define DIB_RGB_COLORS 0
#define TRANSPARENT 1
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003)
#define HKEY_PERFORMANCE_DATA ((HKEY)(ULONG_PTR)0x80000004)
#define ERROR_SUCCESS 0
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_MORE_DATA 234
#define KEY_READ 0x20019
#define KEY_WOW64_64KEY 0x100
#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 8
#define MB_ICONINFORMATION 0x40
#define LF_FACESIZE 32

int MulDiv(int number, int numerator, int denominator);
wchar_t* CharNextW(const wchar_t* c);
wchar_t* CharPrevW(const wchar_t* start, const wchar_t* c);
DWORD CharUpperBuffW(wchar_t* text, DWORD length);
DWORD CharLowerBuffW(wchar_t* text, DWORD length);
int lstrcmpiW(const wchar_t* a, const wchar_t* b);
// Code page 65001 is UTF-8; any other reads each byte as the character of that code.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int length, wchar_t* out, int capacity);

// A registry of one value, which every key and name finds: what a fuzz target puts there.
extern const BYTE* g_hostRegValue;
extern DWORD g_hostRegSize;
LONG RegOpenKeyExW(HKEY root, LPCWSTR path, DWORD options, REGSAM access, HKEY* key);
LONG RegQueryValueExW(HKEY key, LPCWSTR name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LONG RegCloseKey(HKEY key);
// Declared for the resource owners of win/handles.h; the host build releases none of them.
BOOL CloseHandle(HANDLE), FindClose(HANDLE), FreeLibrary(HMODULE), DestroyIcon(HICON), DeleteDC(HDC);
BOOL DeleteObject(void*), DestroyWindow(HWND);
HLOCAL LocalFree(HLOCAL);
HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT, void** bits, HANDLE, DWORD);
HDC CreateCompatibleDC(HDC);
HGDIOBJ SelectObject(HDC, HGDIOBJ);
int SaveDC(HDC), SetBkMode(HDC, int), IntersectClipRect(HDC, int, int, int, int), DrawFocusRect(HDC, const RECT*);
BOOL RestoreDC(HDC, int), GdiFlush(), ExtTextOutW(HDC, int, int, UINT, const RECT*, LPCWSTR, UINT, const INT*);
BOOL GetTextExtentExPointW(HDC, LPCWSTR, int n, int, int*, INT* extents, SIZE*);
COLORREF SetTextColor(HDC, COLORREF);
void* FreeSid(PSID);
