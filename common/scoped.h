// Scoped holders: each owns one handle and releases it when it leaves
// scope, so every return path closes what it opened. Move-only; get() lends
// the handle, put() takes it from an out-parameter, release() hands it on,
// close() releases it now and says whether that worked (a stream's last
// write can fail only there).
#pragma once
#include <stdio.h>
#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
#include <userenv.h>
#include <wtsapi32.h>
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
    bool close() { return !Traits::valid(h_) || Traits::close(release()); }

private:
    T h_ = Traits::none();
};

struct FileTraits {
    static FILE* none() { return nullptr; }
    static bool valid(FILE* f) { return f != nullptr; }
    static bool close(FILE* f) { return fclose(f) == 0; }
};
// A stream from fopen.
using ScopedFile = Scoped<FILE*, FileTraits>;

#ifdef _WIN32
// Kernel handles: null and INVALID_HANDLE_VALUE both mean none, as the
// functions that return them differ.
struct HandleTraits {
    static HANDLE none() { return nullptr; }
    static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool close(HANDLE h) { return CloseHandle(h) != 0; }
};
using ScopedHandle = Scoped<HANDLE, HandleTraits>;

struct FindTraits {
    static HANDLE none() { return INVALID_HANDLE_VALUE; }
    static bool valid(HANDLE h) { return h != INVALID_HANDLE_VALUE; }
    static bool close(HANDLE h) { return FindClose(h) != 0; }
};
// A FindFirstFile listing.
using ScopedFind = Scoped<HANDLE, FindTraits>;

struct KeyTraits {
    static HKEY none() { return nullptr; }
    static bool valid(HKEY k) { return k != nullptr; }
    static bool close(HKEY k) { return RegCloseKey(k) == ERROR_SUCCESS; }
};
using ScopedKey = Scoped<HKEY, KeyTraits>;

struct ServiceTraits {
    static SC_HANDLE none() { return nullptr; }
    static bool valid(SC_HANDLE h) { return h != nullptr; }
    static bool close(SC_HANDLE h) { return CloseServiceHandle(h) != 0; }
};
// The service control manager or a service opened through it.
using ScopedService = Scoped<SC_HANDLE, ServiceTraits>;

template <class T> struct GdiTraits {
    static T none() { return nullptr; }
    static bool valid(T h) { return h != nullptr; }
    static bool close(T h) { return DeleteObject(h) != 0; }
};
// A font, brush, pen or bitmap that this code created.
template <class T> using ScopedGdi = Scoped<T, GdiTraits<T>>;

struct LibraryTraits {
    static HMODULE none() { return nullptr; }
    static bool valid(HMODULE m) { return m != nullptr; }
    static bool close(HMODULE m) { return FreeLibrary(m) != 0; }
};
// A library from LoadLibrary.
using ScopedLibrary = Scoped<HMODULE, LibraryTraits>;

struct NetEnumTraits {
    static HANDLE none() { return nullptr; }
    static bool valid(HANDLE h) { return h != nullptr; }
    static bool close(HANDLE h) { return WNetCloseEnum(h) == NO_ERROR; }
};
// A WNetOpenEnum enumeration.
using ScopedNetEnum = Scoped<HANDLE, NetEnumTraits>;

template <class T> struct WtsTraits {
    static T* none() { return nullptr; }
    static bool valid(T* p) { return p != nullptr; }
    static bool close(T* p)
    {
        WTSFreeMemory(p);
        return true;
    }
};
// Memory the Terminal Services functions return (session lists, query
// results).
template <class T> using ScopedWts = Scoped<T*, WtsTraits<T>>;

struct EnvironmentTraits {
    static void* none() { return nullptr; }
    static bool valid(void* e) { return e != nullptr; }
    static bool close(void* e) { return DestroyEnvironmentBlock(e) != 0; }
};
// A user's environment block from CreateEnvironmentBlock.
using ScopedEnvironment = Scoped<void*, EnvironmentTraits>;

struct ImageListTraits {
    static HIMAGELIST none() { return nullptr; }
    static bool valid(HIMAGELIST l) { return l != nullptr; }
    static bool close(HIMAGELIST l) { return ImageList_Destroy(l) != 0; }
};
// An image list this code created (controls do not destroy those given them
// unless told to share none).
using ScopedImageList = Scoped<HIMAGELIST, ImageListTraits>;

struct MutexOwnTraits {
    static HANDLE none() { return nullptr; }
    static bool valid(HANDLE h) { return h != nullptr; }
    static bool close(HANDLE h) { return ReleaseMutex(h) != 0; }
};
// Ownership of a mutex this thread waited for: released, not closed (the
// handle stays with its own ScopedHandle).
using ScopedMutexOwner = Scoped<HANDLE, MutexOwnTraits>;
#endif

#ifdef _WIN32
#include <io.h>
struct FdTraits {
    static int none() { return -1; }
    static bool valid(int fd) { return fd >= 0; }
    static bool close(int fd) { return _close(fd) == 0; }
};
// A C runtime file descriptor (_dup, _open) no stream owns yet.
using ScopedFd = Scoped<int, FdTraits>;
#endif
