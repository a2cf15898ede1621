#pragma once
// Every owner of a system handle the program holds: one move-only template,
// and a traits struct per kind that says what "no handle" is and how one is
// closed. Nothing is freed by hand.
#include <windows.h>

#include <utility>

namespace platform {

template <typename T, typename Traits>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T h) : h_(h) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const { return h_; }
    explicit operator bool() const { return Traits::isValid(h_); }

    T release() { return std::exchange(h_, Traits::invalid()); }
    void reset(T h = Traits::invalid())
    {
        T old = std::exchange(h_, h);
        if (Traits::isValid(old)) Traits::close(old);
    }
    // Closes what it held and hands out the slot for an out-parameter.
    T* put()
    {
        reset();
        return &h_;
    }

private:
    T h_ = Traits::invalid();
};

struct HkeyTraits {
    static HKEY invalid() { return nullptr; }
    static bool isValid(HKEY k) { return k != nullptr; }
    static void close(HKEY k) { RegCloseKey(k); }
};
using UniqueHkey = UniqueHandle<HKEY, HkeyTraits>;

// Files answer INVALID_HANDLE_VALUE for "none"; null is no file either.
struct FileTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static bool isValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
using UniqueFile = UniqueHandle<HANDLE, FileTraits>;

// Processes, threads, events: null for "none".
struct KernelHandleTraits {
    static HANDLE invalid() { return nullptr; }
    static bool isValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;

struct HfontTraits {
    static HFONT invalid() { return nullptr; }
    static bool isValid(HFONT f) { return f != nullptr; }
    static void close(HFONT f) { DeleteObject(f); }
};
using UniqueHfont = UniqueHandle<HFONT, HfontTraits>;

// A window's device context, released when the scope ends.
class ScopedDc {
public:
    explicit ScopedDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    ~ScopedDc()
    {
        if (dc_) ReleaseDC(hwnd_, dc_);
    }
    ScopedDc(const ScopedDc&) = delete;
    ScopedDc& operator=(const ScopedDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

} // namespace platform
