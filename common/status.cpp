#include "status.h"
#include <string.h>

static const char* const state_texts[PKG_STATES] = {"installed", "failed", "skipped", "waiting", "refused"};

const char* pkg_state_text(int state) { return state >= 0 && state < PKG_STATES ? state_texts[state] : ""; }

int pkg_state_of(const char* text)
{
    for (int i = 0; i < PKG_STATES; i++)
        if (text && strcmp(text, state_texts[i]) == 0) return i;
    return -1;
}

std::string status_package_text(const StatusPackage& p)
{
    std::string text;
    switch (p.state) {
    case PKG_INSTALLED: return p.time;
    case PKG_FAILED:
        text = "failed: " + std::to_string(p.code);
        if (p.next > 0) text += ", next try in " + std::to_string(p.next) + (p.next == 1 ? " task" : " tasks");
        break;
    case PKG_REFUSED:
        text = p.code == STATUS_NOT_SIGNED ? std::string("refused: not signed") : "refused: " + std::to_string(p.code);
        break;
    default: text = pkg_state_text(p.state); break;
    }
    if (p.runs > 1 && p.state != PKG_SKIPPED) text += " (" + std::to_string(p.runs) + " attempts)";
    return text;
}

// A value as one line: cut at the first line end, and at a field's length.
static std::string one_line(const std::string& v)
{
    size_t n = v.find_first_of("\r\n");
    if (n == std::string::npos) n = v.size();
    if (n > STATUS_FIELD - 1) n = STATUS_FIELD - 1;
    return v.substr(0, n);
}

void write_status(FILE* f, const DeviceStatus& s)
{
    if (!f) return;
    fprintf(f, "[device]\nname=%s\ntime=%s\nvers=%s\ninst=%d\nfail=%d\nskip=%d\nwait=%d\nboot=%d\nleft=%d\n",
            one_line(s.device).c_str(), one_line(s.time).c_str(), one_line(s.vers).c_str(), s.installed, s.failed,
            s.skipped, s.waiting, s.restart ? 1 : 0, s.left);
    if (!s.check.empty()) fprintf(f, "chck=%s\n", one_line(s.check).c_str());
    if (!s.restart_by.empty()) fprintf(f, "rdue=%s\n", one_line(s.restart_by).c_str());
    if (!s.window.empty()) fprintf(f, "mwin=%s\n", one_line(s.window).c_str());
    if (!s.sign.empty()) fprintf(f, "sign=%s\n", one_line(s.sign).c_str());
    fputs("\n", f);
    for (const StatusPackage& p : s.packages) {
        std::string comp = one_line(p.comp), name = one_line(p.name);
        // The section line is not read back; it only has to stay one line.
        std::string head = (comp + " " + name).substr(0, STATUS_FIELD - 1);
        fprintf(f, "[%s]\ncomp=%s\nname=%s\nvers=%s\npath=%s\nstat=%s\ncode=%lld\ntime=%s\nruns=%d\nnext=%d\n\n",
                head.c_str(), comp.c_str(), name.c_str(), one_line(p.vers).c_str(),
                one_line(p.path).c_str(), pkg_state_text(p.state), p.code, one_line(p.time).c_str(), p.runs,
                p.next);
    }
}

void status_fit(DeviceStatus& s)
{
    // Each section's keys, numbers and line ends take less than this.
    const size_t keys = 192;
    size_t total = 4 * keys + 3 * STATUS_FIELD, n = 0;
    for (; n < s.packages.size(); n++) {
        const StatusPackage& p = s.packages[n];
        size_t texts = 2 * (p.comp.size() + p.name.size()) + p.vers.size() + p.path.size() + p.time.size();
        size_t section = keys + (texts < 6 * STATUS_FIELD ? texts : 6 * STATUS_FIELD);
        if (total + section > STATUS_MAX_BYTES) break;
        total += section;
    }
    s.left += (int)(s.packages.size() - n);
    s.packages.resize(n);
}

// A decimal number of at most 12 digits, with an optional "-".
static bool number(const char* text, long long& out)
{
    const char* p = text;
    bool neg = *p == '-';
    if (neg) p++;
    if (!*p || strlen(p) > 12) return false;
    long long v = 0;
    for (; *p; p++) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
    }
    out = neg ? -v : v;
    return true;
}

static bool small_number(const char* text, int& out)
{
    long long v;
    if (!number(text, v) || v < 0 || v > 1000000000) return false;
    out = (int)v;
    return true;
}

long stamp_day(const char* s)
{
    // "YYYY-MM-DD hh:mm:ss", digits where the stamp has them.
    if (!s || strlen(s) != 19) return -1;
    for (int i = 0; i < 19; i++) {
        char want = i == 4 || i == 7 ? '-' : i == 10 ? ' ' : i == 13 || i == 16 ? ':' : '\0';
        if (want ? s[i] != want : (s[i] < '0' || s[i] > '9')) return -1;
    }
    auto at = [&](int i, int n) {
        int v = 0;
        for (int k = 0; k < n; k++) v = v * 10 + (s[i + k] - '0');
        return v;
    };
    long y = at(0, 4), m = at(5, 2), d = at(8, 2);
    if (y < 1970 || m < 1 || m > 12 || d < 1 || d > 31 || at(11, 2) > 23 || at(14, 2) > 59 || at(17, 2) > 60)
        return -1;
    // Days from the civil date (proleptic Gregorian calendar).
    y -= m <= 2;
    long era = y / 400, yoe = y - era * 400;
    long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

namespace {

enum Key {
    K_NAME, K_TIME, K_VERS, K_INST, K_FAIL, K_SKIP, K_WAIT, K_BOOT, K_COMP, K_PATH, K_STAT, K_CODE, K_RUNS, K_NEXT, K_LEFT,
    K_CHCK, K_RDUE, K_MWIN, K_SIGN, K_NONE
};
const char* const key_texts[K_NONE] = {"name", "time", "vers", "inst", "fail", "skip", "wait", "boot",
                                       "comp", "path", "stat", "code", "runs", "next", "left", "chck",
                                       "rdue", "mwin", "sign"};

Key key_of(const char* line, size_t len)
{
    for (int k = 0; k < K_NONE; k++)
        if (len == strlen(key_texts[k]) && memcmp(line, key_texts[k], len) == 0) return (Key)k;
    return K_NONE;
}

struct Parser {
    DeviceStatus& out;
    const char* why = nullptr;
    int section = -1;  // -1 before the first "[", 0 the device, then packages
    bool has_state = false;
    bool has_next = false;  // written by a service that knows the retry wait is a failure

    bool fail(const char* reason)
    {
        if (!why) why = reason;
        return false;
    }

    // The section just ended holds what it must.
    bool close()
    {
        if (section == 0) {
            if (out.device.empty()) return fail("no device name");
            if (stamp_day(out.time.c_str()) < 0) return fail("no valid time");
        } else if (section > 0) {
            const StatusPackage& p = out.packages.back();
            if (p.comp.empty() || p.name.empty() || p.vers.empty()) return fail("a package without its names");
            if (!has_state) return fail("a package without a state");
            StatusPackage& q = out.packages.back();
            if (!has_next && q.state == PKG_WAITING && q.runs > 0) q.state = PKG_FAILED;
        }
        return true;
    }

    bool open()
    {
        if (!close()) return false;
        section++;
        if (section > STATUS_MAX_PACKAGES) return fail("too many packages");
        if (section > 0) out.packages.emplace_back();
        has_state = has_next = false;
        return true;
    }

    bool value(Key k, const char* v)
    {
        if (section < 0) return fail("a value before the first section");
        long long n;
        if (section == 0) {
            switch (k) {
            case K_NAME: out.device = v; return true;
            case K_TIME: out.time = v; return true;
            case K_VERS: out.vers = v; return true;
            case K_CHCK: out.check = v; return true;
            case K_RDUE:
                out.restart_by = v;
                return stamp_day(v) >= 0 || fail("a restart deadline that is not a time");
            case K_MWIN:
                out.window = v;
                return (strlen(v) == 5 && v[2] == ':' && stamp_day((std::string("2000-01-01 ") + v + ":00").c_str()) >= 0) ||
                       fail("a maintenance window that is not a time");
            case K_SIGN: out.sign = v; return true;
            case K_INST: return small_number(v, out.installed) || fail("a count that is not a number");
            case K_FAIL: return small_number(v, out.failed) || fail("a count that is not a number");
            case K_SKIP: return small_number(v, out.skipped) || fail("a count that is not a number");
            case K_WAIT: return small_number(v, out.waiting) || fail("a count that is not a number");
            case K_LEFT: return small_number(v, out.left) || fail("a count that is not a number");
            case K_BOOT:
                if (!number(v, n) || (n != 0 && n != 1)) return fail("a restart flag that is not 0 or 1");
                out.restart = n == 1;
                return true;
            default: return true;
            }
        }
        StatusPackage& p = out.packages.back();
        switch (k) {
        case K_COMP: p.comp = v; return true;
        case K_NAME: p.name = v; return true;
        case K_VERS: p.vers = v; return true;
        case K_PATH: p.path = v; return true;
        case K_TIME: p.time = v; return true;
        case K_STAT:
            p.state = pkg_state_of(v);
            has_state = p.state >= 0;
            return has_state || fail("an unknown package state");
        case K_CODE: return number(v, p.code) || fail("a code that is not a number");
        case K_RUNS: return small_number(v, p.runs) || fail("an attempts count that is not a number");
        case K_NEXT:
            has_next = true;
            return small_number(v, p.next) || fail("a next try that is not a number");
        default: return true;
        }
    }

    bool line(char* text, size_t len)
    {
        if (len && text[len - 1] == '\r') text[--len] = 0;
        if (len == 0) return true;
        if (len >= STATUS_LINE) return fail("a line too long");
        if (text[0] == '[') return open();
        const char* eq = (const char*)memchr(text, '=', len);
        if (!eq) return fail("a line that is neither a section nor a value");
        if (len - (size_t)(eq + 1 - text) >= STATUS_FIELD) return fail("a value longer than 259 characters");
        Key k = key_of(text, (size_t)(eq - text));
        if (k == K_NONE) return section >= 0 || fail("a value before the first section");
        return value(k, eq + 1);
    }
};

}  // namespace

bool parse_status(const char* data, size_t size, DeviceStatus& out, const char** why)
{
    out = DeviceStatus();
    Parser p{out};
    bool ok = true;
    if (size > STATUS_MAX_BYTES) {
        ok = p.fail("larger than the bound");
    } else if (!data || memchr(data, 0, size)) {
        ok = p.fail("a zero byte");
    } else {
        char buf[STATUS_LINE + 1];  // a line, a carriage return, the zero
        for (size_t at = 0; at < size && ok;) {
            const char* nl = (const char*)memchr(data + at, '\n', size - at);
            size_t len = (nl ? (size_t)(nl - data) : size) - at;
            if (len > STATUS_LINE) {
                ok = p.fail("a line too long");
                break;
            }
            memcpy(buf, data + at, len);
            buf[len] = 0;
            ok = p.line(buf, len);
            at += len + 1;
        }
        if (ok) ok = p.section >= 0 ? p.close() : p.fail("no device section");
    }
    if (why) *why = p.why ? p.why : "";
    if (!ok) out.packages.clear();
    return ok;
}
