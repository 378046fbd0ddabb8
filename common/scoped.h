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

// Most handles mean none by null; Close releases one and says whether that
// worked.
template <class T, bool (*Close)(T)> struct NullTraits {
    static T none() { return nullptr; }
    static bool valid(T h) { return h != nullptr; }
    static bool close(T h) { return Close(h); }
};

inline bool close_file(FILE* f) { return fclose(f) == 0; }
// A stream from fopen.
using ScopedFile = Scoped<FILE*, NullTraits<FILE*, close_file>>;

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

inline bool close_key(HKEY k) { return RegCloseKey(k) == ERROR_SUCCESS; }
using ScopedKey = Scoped<HKEY, NullTraits<HKEY, close_key>>;

inline bool close_service(SC_HANDLE h) { return CloseServiceHandle(h) != 0; }
// The service control manager or a service opened through it.
using ScopedService = Scoped<SC_HANDLE, NullTraits<SC_HANDLE, close_service>>;

template <class T> bool delete_gdi(T h) { return DeleteObject(h) != 0; }
// A font, brush, pen or bitmap that this code created.
template <class T> using ScopedGdi = Scoped<T, NullTraits<T, delete_gdi<T>>>;

inline bool free_library(HMODULE m) { return FreeLibrary(m) != 0; }
// A library from LoadLibrary.
using ScopedLibrary = Scoped<HMODULE, NullTraits<HMODULE, free_library>>;

inline bool close_net_enum(HANDLE h) { return WNetCloseEnum(h) == NO_ERROR; }
// A WNetOpenEnum enumeration.
using ScopedNetEnum = Scoped<HANDLE, NullTraits<HANDLE, close_net_enum>>;

template <class T> bool free_wts(T* p)
{
    WTSFreeMemory(p);
    return true;
}
// Memory the Terminal Services functions return (session lists, query
// results).
template <class T> using ScopedWts = Scoped<T*, NullTraits<T*, free_wts<T>>>;

inline bool destroy_environment(void* e) { return DestroyEnvironmentBlock(e) != 0; }
// A user's environment block from CreateEnvironmentBlock.
using ScopedEnvironment = Scoped<void*, NullTraits<void*, destroy_environment>>;

inline bool destroy_image_list(HIMAGELIST l) { return ImageList_Destroy(l) != 0; }
// An image list this code created: controls do not destroy those they are
// given unless told to.
using ScopedImageList = Scoped<HIMAGELIST, NullTraits<HIMAGELIST, destroy_image_list>>;

inline bool release_mutex(HANDLE h) { return ReleaseMutex(h) != 0; }
// Ownership of a mutex this thread waited for: released, not closed (the
// handle stays with its own ScopedHandle).
using ScopedMutexOwner = Scoped<HANDLE, NullTraits<HANDLE, release_mutex>>;
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
