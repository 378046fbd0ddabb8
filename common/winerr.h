// System error numbers that Win32-free code returns, records or compares,
// by name. Native builds have no <winerror.h>; the Windows build checks each
// number against it.
#pragma once

enum : unsigned long {
    NX_ERR_FILE_NOT_FOUND = 2,
    NX_ERR_PATH_NOT_FOUND = 3,
    NX_ERR_NOT_ENOUGH_MEMORY = 8,
    NX_ERR_OUTOFMEMORY = 14,
    NX_ERR_NO_MORE_FILES = 18,
    NX_ERR_READ_FAULT = 30,
    NX_ERR_BAD_PATHNAME = 161,
    NX_ERR_NO_UNICODE_TRANSLATION = 1113,
    NX_ERR_SHUTDOWN_IN_PROGRESS = 1115,
    NX_ERR_SHUTDOWN_IS_SCHEDULED = 1190,
    NX_ERR_INSTALL_ALREADY_RUNNING = 1618,
    NX_ERR_CANCELLED = 1223,
    NX_ERR_INTERNAL_ERROR = 1359,
    NX_ERR_NO_SYSTEM_RESOURCES = 1450,
    NX_ERR_COMMITMENT_LIMIT = 1455,
    NX_ERR_TIMEOUT = 1460,
};

#ifdef _WIN32
#include <windows.h>
static_assert(NX_ERR_FILE_NOT_FOUND == ERROR_FILE_NOT_FOUND, "system error number");
static_assert(NX_ERR_PATH_NOT_FOUND == ERROR_PATH_NOT_FOUND, "system error number");
static_assert(NX_ERR_NOT_ENOUGH_MEMORY == ERROR_NOT_ENOUGH_MEMORY, "system error number");
static_assert(NX_ERR_OUTOFMEMORY == ERROR_OUTOFMEMORY, "system error number");
static_assert(NX_ERR_NO_MORE_FILES == ERROR_NO_MORE_FILES, "system error number");
static_assert(NX_ERR_READ_FAULT == ERROR_READ_FAULT, "system error number");
static_assert(NX_ERR_BAD_PATHNAME == ERROR_BAD_PATHNAME, "system error number");
static_assert(NX_ERR_NO_UNICODE_TRANSLATION == ERROR_NO_UNICODE_TRANSLATION, "system error number");
static_assert(NX_ERR_SHUTDOWN_IN_PROGRESS == ERROR_SHUTDOWN_IN_PROGRESS, "system error number");
// NX_ERR_SHUTDOWN_IS_SCHEDULED: ERROR_SHUTDOWN_IS_SCHEDULED in the system
// error codes 1000-1299 (learn.microsoft.com); MinGW's header lacks it.
static_assert(NX_ERR_CANCELLED == ERROR_CANCELLED, "system error number");
static_assert(NX_ERR_INSTALL_ALREADY_RUNNING == ERROR_INSTALL_ALREADY_RUNNING, "system error number");
static_assert(NX_ERR_INTERNAL_ERROR == ERROR_INTERNAL_ERROR, "system error number");
static_assert(NX_ERR_NO_SYSTEM_RESOURCES == ERROR_NO_SYSTEM_RESOURCES, "system error number");
static_assert(NX_ERR_COMMITMENT_LIMIT == ERROR_COMMITMENT_LIMIT, "system error number");
static_assert(NX_ERR_TIMEOUT == ERROR_TIMEOUT, "system error number");
#endif
