#pragma once
#include <windows.h>

#include <utility>

// Non-copyable owner of one Windows resource. Traits give the empty value and how to release.
template <class Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(Type value) : value_(value) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Type Get() const { return value_; }
    explicit operator bool() const { return Traits::IsValid(value_); }
    Type Release() { return std::exchange(value_, Traits::Empty()); }
    void Reset(Type value = Traits::Empty())
    {
        if (Traits::IsValid(value_))
            Traits::Close(value_);
        value_ = value;
    }
    // For out-parameters of APIs that create the resource.
    Type* Receive()
    {
        Reset();
        return &value_;
    }

private:
    Type value_ = Traits::Empty();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { FindClose(h); }
};

// Traits of resources whose empty value is null and that one function releases.
template <class T, auto CloseFunction>
struct NullableTraits {
    using Type = T;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { CloseFunction(h); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFindHandle = UniqueResource<FindHandleTraits>;
using UniqueRegKey = UniqueResource<NullableTraits<HKEY, &RegCloseKey>>;
using UniqueLibrary = UniqueResource<NullableTraits<HMODULE, &FreeLibrary>>;
using UniqueLocalMemory = UniqueResource<NullableTraits<HLOCAL, &LocalFree>>;
using UniqueSid = UniqueResource<NullableTraits<PSID, &FreeSid>>;
using UniqueFont = UniqueResource<NullableTraits<HFONT, &DeleteObject>>;
using UniqueIcon = UniqueResource<NullableTraits<HICON, &DestroyIcon>>;
using UniqueBitmap = UniqueResource<NullableTraits<HBITMAP, &DeleteObject>>;
using UniqueMemoryDC = UniqueResource<NullableTraits<HDC, &DeleteDC>>;
using UniqueWindow = UniqueResource<NullableTraits<HWND, &DestroyWindow>>;
