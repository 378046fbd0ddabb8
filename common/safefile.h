// Writing a whole file without ever leaving it half written: the new text
// goes to "<file>.tmp" in the same folder, which then replaces the old file
// in one step. A failed write leaves the old file as it was. Neither the
// temporary file nor the file replaced is ever written through a link: a
// planted link is replaced by a file of the writer's own, never followed.
// The replacement is renamed over the old name by its own handle, held
// from its creation, so nobody can swap it meanwhile; an old plain file's
// security (its access list) is carried over, a new file takes the
// folder's.
#pragma once
#include "ncfg.h"  // NX_PATH
#include "scoped.h"
#include <stdio.h>
#include <string>

struct SafeFile {
    FILE* f = nullptr;   // the stream to write, null when open failed
    char temp[NX_PATH] = {};  // the temporary file; empty when writing in place
    char path[NX_PATH] = {};  // the file to replace
    ScopedHandle hold;     // the temporary file's own handle, kept until it is put in place

    SafeFile() = default;
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;
    // A replacement never committed is closed and its temporary file
    // removed: the old file stays as it was.
    ~SafeFile();
};

// Opens a replacement for path ("wt" or "wb"). Fails, leaving sf.f null and
// the file untouched, when an existing file at path may not be written (read
// only, or held open by another program, or being saved already). The
// system error is then left in GetLastError. When no temporary file can be
// made beside it (a folder that allows no new files), the file is written in
// place as before.
bool safe_open(SafeFile& sf, const char* path, const char* mode);

// Opens path for writing ("wt", "wb", "at", "ab": created when missing,
// emptied unless appending) without following a link: where another user
// could plant a symbolic link, a junction or a hard link ahead of a more
// privileged writer, such a name is refused (ERROR_ACCESS_DENIED) rather
// than written through.
FILE* open_unlinked(const char* path, const char* mode);

// True when path is a plain file (no link of any kind) that holds exactly
// bytes: rewriting it would change nothing but its time, at the cost of a
// flush and a rename.
bool plain_file_holds(const char* path, const std::string& bytes);

// Closes the stream and puts the text in place. False when any write failed
// or the old file could not be replaced; the old file is then unchanged and
// the temporary file gone. The system error is left in GetLastError.
bool safe_commit(SafeFile& sf);
