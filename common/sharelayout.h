// The package share's layout, in one place for the console's search,
// pkg_find and the service:
//   <uncp>\pkg\<manufacturer>\<package>\<version>\Install.cmd
//   <uncp>\cfg\Assignment.ini, <uncp>\cfg\<group>.ini
//   <uncp>\status\<device>.ini
// and the character walk over paths and names in the ANSI code page: in a
// double-byte code page (932, 936, 949, 950) a trail byte may be 0x5C "\"
// or 0x7C "|", so paths are split and checked by characters, never bytes.
// No Win32 here: the code page's number is passed in.
#pragma once
#include "ncfg.h"  // NX_PATH
#include <stddef.h>
#include <string>

#define SHARE_PKG "pkg"
#define SHARE_CFG "cfg"
#define SHARE_STATUS "status"
#define SHARE_SCRIPT "Install.cmd"
#define SHARE_ASSIGNMENT "Assignment.ini"
// The manufacturer of a package folder directly under "pkg", as the search
// shows it; such a package has no manufacturer folder.
#define SHARE_NO_MAKER "ZRP"

// Whether c starts a two-byte character in code page cp.
bool cp_lead_byte(unsigned cp, unsigned char c);
// The character after the one at p (a lead byte before the end takes its
// trail byte with it).
inline const char* cp_next(unsigned cp, const char* p)
{
    return cp_lead_byte(cp, (unsigned char)*p) && p[1] ? p + 2 : p + 1;
}
inline bool path_sep(char c) { return c == '\\' || c == '/'; }
// The last separator of a path, by characters; null when it has none.
const char* path_last_sep(unsigned cp, const char* path);
// Whether s begins with prefix, letters without regard to case (A-Z only,
// never a trail byte). The length of the matched prefix, 0 when it does not.
size_t cp_prefix_nocase(unsigned cp, const char* s, const char* prefix, size_t prefix_len);
// Two texts equal, letters without regard to case, as Windows names keys
// and files.
bool cp_equal_nocase(unsigned cp, const char* a, const char* b);

// uncp without its trailing separators ("\\server\share\" gives
// "\\server\share"); "" for a text that names no share.
std::string share_root(unsigned cp, const char* uncp);

// The manufacturer, package name and version of a script path, from its
// last four parts (either separator): script, version, name, manufacturer.
// A missing manufacturer folder (the part is "pkg" or absent) gives
// SHARE_NO_MAKER. False when the script, version or name is empty.
bool share_identity(unsigned cp, const char* path, std::string* comp, std::string* name, std::string* vers);

// Why a text may not stand as one folder name of the share.
enum NameVerdict {
    NAME_OK,
    NAME_EMPTY,  // nothing, or longer than a path buffer
    NAME_SEP,    // "\" or "/": more than one folder
    NAME_DOTS,   // "." or "..", or only dots and blanks
    NAME_TRAIL,  // a trailing dot or blank, which Windows drops: an alias
    NAME_CHARS,  // a control character, or one no file name may carry
};
NameVerdict share_check_name(unsigned cp, const char* name);
const char* share_name_reason(NameVerdict v);

// The script of a package as the share lays it out:
// "<root>\pkg\<comp>\<name>\<vers>\Install.cmd", without the manufacturer
// folder for SHARE_NO_MAKER. Each part must pass share_check_name (the
// manufacturer unless it is SHARE_NO_MAKER). NAME_EMPTY also when the path
// does not fit n; out is then "".
NameVerdict share_script_path(unsigned cp, char* out, size_t n, const char* root, const char* comp, const char* name,
                              const char* vers);
