#include "svcrules.h"
#include "listfile.h"
#include "osrules.h"
#include "sharelayout.h"
#include "service_contract.h"
#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <map>
#include <set>

// Length of the part of path under root + "\pkg\", or 0 when it is not there.
// Letters compare without regard to case, as Windows does.
static size_t under_pkg(unsigned cp, const char* path, const char* root, size_t root_len)
{
    if (!root_len || !cp_prefix_nocase(cp, path, root, root_len)) return 0;
    const char* rest = path + root_len;
    if (!path_sep(rest[0]) || !cp_prefix_nocase(cp, rest + 1, SHARE_PKG, 3) || !path_sep(rest[4])) return 0;
    return root_len + 5;
}

PathVerdict svc_check_path(unsigned cp, const char* path, const char* ndrv, const char* uncp)
{
    // 259 characters may be a longer path cut by the list reader.
    size_t len = path ? strlen(path) : 0;
    if (len == 0 || len >= 259) return PATH_EMPTY;
    // By characters: a double-byte character may end in the byte of "|".
    for (const char* p = path; *p; p = cp_next(cp, p)) {
        if (cp_next(cp, p) - p == 2) continue;
        unsigned char c = (unsigned char)*p;
        if (c < 32 || strchr("\"%*?<>|", c)) return PATH_CHARS;
    }
    bool unc = path_sep(path[0]) && path_sep(path[1]);
    bool drive = isalpha((unsigned char)path[0]) && path[1] == ':' && path_sep(path[2]);
    if (!unc && !drive) return PATH_RELATIVE;

    // The allowed roots: a drive "X:" and a UNC path "\\server\share...".
    size_t drv_len = ndrv && isalpha((unsigned char)ndrv[0]) && ndrv[1] == ':' && !ndrv[2] ? 2 : 0;
    std::string root = share_root(cp, uncp);
    size_t start = drive ? under_pkg(cp, path, ndrv, drv_len) : under_pkg(cp, path, root.c_str(), root.size());
    if (!start) return PATH_ELSEWHERE;

    // Below the package folder: named components only. Windows drops
    // trailing dots and blanks, so "..." or ".. " would climb like "..";
    // a ":" would name a stream or another drive.
    bool named = false;
    for (const char* p = path + start;; p = cp_next(cp, p)) {
        if (!*p || path_sep(*p)) {
            if (!named) return PATH_DOTS;
            if (!*p) break;
            named = false;
            continue;
        }
        if (*p == ':') return PATH_CHARS;
        if (*p != '.' && *p != ' ') named = true;
    }
    return PATH_OK;
}

const char* svc_path_reason(PathVerdict v)
{
    switch (v) {
    case PATH_OK: return "allowed";
    case PATH_EMPTY: return "no script path, or one too long";
    case PATH_RELATIVE: return "not a full path";
    case PATH_ELSEWHERE: return "not under the share's package folder";
    case PATH_DOTS: return "a \".\" or \"..\" component";
    case PATH_CHARS: return "a character not allowed in a script path";
    }
    return "?";
}

bool svc_skip(const char* done_vers, int done_code, const char* vers)
{
    return done_vers && vers && strcmp(done_vers, vers) == 0 &&
           svc_code_installed(done_code);
}

SvcOutcome svc_outcome(SvcRun run, unsigned long result)
{
    SvcOutcome o = {};
    switch (run) {
    case RUN_DONE:
    case RUN_NOSTART: o.exit = result; break;
    case RUN_TIMEOUT: o.exit = SVC_ERR_TIMEOUT; break;
    case RUN_STOPPED: o.exit = SVC_ERR_STOPPED; break;
    }
    if (run == RUN_DONE && svc_code_installed(result)) {
        o.installed = true;
        o.code = result;
        o.restart_needed = result == SVC_CODE_RESTART_NEEDED;
        o.restart_started = result == SVC_CODE_RESTART_STARTED;
    }
    return o;
}

int svc_seconds(int value, int fallback)
{
    if (value <= 0) return fallback;
    return value > SVC_TLONGEST ? SVC_TLONGEST : value;
}

// The results key's part of an identity, letters folded as the registry
// folds them, and the version as it is.
static std::string plan_key(unsigned cp, const SvcSection& s)
{
    std::string k = std::string(s.comp) + '\n' + s.name;
    for (size_t i = 0; i < k.size(); i += cp_next(cp, &k[i]) - &k[i])
        if (k[i] >= 'A' && k[i] <= 'Z') k[i] = (char)(k[i] - 'A' + 'a');
    return k + '\n' + s.vers;
}

size_t svc_plan(unsigned cp, const std::vector<SvcSection>& assigned, const std::vector<SvcSection>* chosen,
                std::vector<SvcPlanned>* plan)
{
    plan->clear();
    std::map<std::string, const SvcSection*> by_id;
    for (const SvcSection& a : assigned) by_id.emplace(plan_key(cp, a), &a);
    std::set<std::string> taken;
    size_t dropped = 0;
    for (const SvcSection& s : chosen ? *chosen : assigned) {
        std::string key = plan_key(cp, s);
        if (!taken.insert(key).second) {
            dropped++;
            continue;
        }
        auto a = by_id.find(key);
        if (a != by_id.end())
            plan->push_back({*a->second, true});
        else
            plan->push_back({s, false});
    }
    return dropped;
}

int svc_backoff(int tries, int tsvc)
{
    if (tries <= 1) return 0;
    int day = (24 * 3600 + svc_seconds(tsvc, SVC_TSVC) - 1) / svc_seconds(tsvc, SVC_TSVC) - 1;
    long long wait = tries > 31 ? day : (1LL << (tries - 1)) - 1;
    return wait > day ? day : (int)wait;
}

bool svc_start_again(unsigned long error, int attempts)
{
    if (attempts >= SVC_START_ATTEMPTS) return false;
    // Windows fails a start for want of memory, commit or desktop heap
    // (8, 14, 1455, 1450) while other programs hold them; 1359 is how a new
    // process that dies while it loads is reported (Wine, when the address
    // space it maps into is taken: "failed to map the shared user data").
    switch (error) {
    case NX_ERR_NOT_ENOUGH_MEMORY:
    case NX_ERR_OUTOFMEMORY:
    case NX_ERR_INTERNAL_ERROR:
    case NX_ERR_NO_SYSTEM_RESOURCES:
    case NX_ERR_COMMITMENT_LIMIT:
        return true;
    default:
        return false;
    }
}

SvcTries svc_tries(const char* done_vers, const char* vers, int tries, int wait, int tsvc)
{
    if (!done_vers || !vers || strcmp(done_vers, vers) != 0) return {0, 0};
    if (tries < 0) tries = 0;
    int most = svc_backoff(tries, tsvc);
    return {tries, wait < 0 || wait > most ? most : wait};
}

SvcPackageStep svc_package_step(const SvcPackageFacts& f)
{
    // A package under way when the window closes finishes; the next waits.
    if (f.window && !svc_window_open(f.win_from, f.win_to, f.minute)) return STEP_WINDOW_CLOSED;
    if (!f.share_ready) return STEP_SHARE_LOST;
    if (!f.keyed) return STEP_REFUSE_KEY;
    if (!f.assigned && f.self != SVC_SELF_ANY) return STEP_REFUSE_SELF;
    if (!f.script_ok) return STEP_REFUSE_SCRIPT;
    if (svc_skip(f.done_vers, f.done_code, f.vers)) return STEP_SKIP;
    if (svc_tries(f.done_vers, f.vers, f.done_tries, f.done_wait, f.tsvc).wait > 0) return STEP_BACKOFF;
    return STEP_RUN;
}

void svc_show(char* out, size_t n, const char* text)
{
    if (!n) return;
    size_t o = 0;
    for (const char* p = text ? text : ""; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (c >= 32 && c != 127) {
            if (o + 1 >= n) break;
            out[o++] = *p;
        } else {
            if (o + 4 >= n) break;
            snprintf(out + o, 5, "<%02X>", c);
            o += 4;
        }
    }
    out[o] = 0;
}

void svc_append(std::vector<SvcSection>* to, const ListReader& rd)
{
    to->emplace_back();
    SvcSection& s = to->back();
    copy_str(s.comp, rd.comp);
    copy_str(s.name, rd.name);
    copy_str(s.vers, rd.vers);
    copy_str(s.path, rd.path);
}

ListRead svc_read_list(FILE* f, long max_bytes, size_t max_sections, std::vector<SvcSection>* list,
                       std::vector<SvcSection>* lost)
{
    list->clear();
    if (!f) return LIST_NONE;
    long size = fseek(f, 0, SEEK_END) == 0 ? ftell(f) : -1;
    rewind(f);
    ListRead r = size < 0 || size > max_bytes ? LIST_TOO_LARGE : LIST_READ;
    std::string text;
    TextInfo info;
    if (r == LIST_READ) read_text(f, ansi_code_page(), text, info, (size_t)max_bytes);
    if (info.cut) r = LIST_TOO_LARGE;  // it grew while read
    ListReader rd;
    char buf[LIST_PIECE];
    TextPieces pieces(text);
    while (r == LIST_READ && pieces.next(buf, sizeof buf)) {
        if (!rd.piece(buf)) continue;
        bool held = !rd.not_held();
        if (held && list->size() >= max_sections) {
            r = LIST_TOO_MANY;
            continue;
        }
        std::vector<SvcSection>* to = held ? list : lost;
        if (!to || (!held && to->size() >= max_sections)) continue;
        svc_append(to, rd);
    }
    if (r != LIST_READ) std::vector<SvcSection>().swap(*list);
    return r;
}
