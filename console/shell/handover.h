// How a worker thread hands its result to the window's thread: the result
// travels as a heap object in a posted message's LPARAM. The worker never
// waits for the window and touches none of its controls; the window's
// handler owns the result from the moment it takes it.
#pragma once
#include <windows.h>
#include <memory>

// Posts result to window as msg. On success the window owns it and result
// is empty; otherwise (no window, or one that is gone) result stays with
// the caller, who frees it.
template <class T> bool post_result(HWND window, UINT msg, std::unique_ptr<T>& result)
{
    if (!window || !result) return false;
    T* sent = result.release();
    if (PostMessageA(window, msg, 0, (LPARAM)sent)) return true;
    result.reset(sent);
    return false;
}

// The handler's side: ownership of what post_result sent.
template <class T> std::unique_ptr<T> take_result(LPARAM lp) { return std::unique_ptr<T>((T*)lp); }
