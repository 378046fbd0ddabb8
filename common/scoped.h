// Scoped holders: each owns one handle and releases it when it leaves
// scope, so every return path closes what it opened. Move-only; get() lends
// the handle, put() takes it from an out-parameter, release() hands it on.
#pragma once
#include <stdio.h>
#ifdef _WIN32
#include <windows.h>
#endif

template <class T, class Traits> class Scoped {
public:
    Scoped() = default;
    explicit Scoped(T h) : h_(h) {}
    ~Scoped() { reset(); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
    Scoped(Scoped&& o) noexcept : h_(o.release()) {}
    Scoped& operator=(Scoped&& o) noexcept
    {
        if (this != &o) reset(o.release());
        return *this;
    }

    T get() const { return h_; }
    explicit operator bool() const { return Traits::valid(h_); }
    // Closes the held handle and returns where the new one goes.
    T* put()
    {
        reset();
        return &h_;
    }
    T release()
    {
        T h = h_;
        h_ = Traits::none();
        return h;
    }
    void reset(T h = Traits::none())
    {
        if (Traits::valid(h_)) Traits::close(h_);
        h_ = h;
    }

private:
    T h_ = Traits::none();
};

struct FileTraits {
    static FILE* none() { return nullptr; }
    static bool valid(FILE* f) { return f != nullptr; }
    static void close(FILE* f) { fclose(f); }
};
// A stream from fopen.
using ScopedFile = Scoped<FILE*, FileTraits>;

#ifdef _WIN32
// Kernel handles: null and INVALID_HANDLE_VALUE both mean none, as the
// functions that return them differ.
struct HandleTraits {
    static HANDLE none() { return nullptr; }
    static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
using ScopedHandle = Scoped<HANDLE, HandleTraits>;

struct FindTraits {
    static HANDLE none() { return INVALID_HANDLE_VALUE; }
    static bool valid(HANDLE h) { return h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { FindClose(h); }
};
// A FindFirstFile listing.
using ScopedFind = Scoped<HANDLE, FindTraits>;

struct KeyTraits {
    static HKEY none() { return nullptr; }
    static bool valid(HKEY k) { return k != nullptr; }
    static void close(HKEY k) { RegCloseKey(k); }
};
using ScopedKey = Scoped<HKEY, KeyTraits>;

struct ServiceTraits {
    static SC_HANDLE none() { return nullptr; }
    static bool valid(SC_HANDLE h) { return h != nullptr; }
    static void close(SC_HANDLE h) { CloseServiceHandle(h); }
};
// The service control manager or a service opened through it.
using ScopedService = Scoped<SC_HANDLE, ServiceTraits>;

template <class T> struct GdiTraits {
    static T none() { return nullptr; }
    static bool valid(T h) { return h != nullptr; }
    static void close(T h) { DeleteObject(h); }
};
// A font, brush, pen or bitmap that this code created.
template <class T> using ScopedGdi = Scoped<T, GdiTraits<T>>;
#endif
