#include "editrules.h"
#include "listfile.h"
#include "rowsort.h"
#include "service_contract.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <climits>

// Gives row r its prior state and status text back, or state fallback when
// it has none.
static void restore_or(ListModel& m, int r, int fallback)
{
    if (!m.prior(r)) {
        m.set_state(r, fallback);
        return;
    }
    m.set_state(r, m.prior(r));
    m.set_cell(r, COL_STAT, m.prior_status(r));
}

bool check_row(ListModel& m, int p)
{
    const std::vector<int>& rows = m.rows();
    if (p < 0 || (size_t)p >= rows.size() || !m.valid(rows[p])) return false;
    int r = rows[p];
    int s = m.images()[r];
    bool checked;
    if (s == IMG_AVAILABLE || s == IMG_EXCLUDED) {
        // A crossed-out listed or installed row keeps its prior state: a
        // second click gives it back instead of dropping it from the list.
        m.set_state(r, IMG_READY);
        m.set_cell(r, COL_STAT, "ready to install");
        checked = true;
    } else if (s == IMG_READY) {
        restore_or(m, r, IMG_AVAILABLE);
        if (!m.prior(r)) m.set_cell(r, COL_STAT, "available");
        m.set_prior(r, 0);
        checked = false;
    } else {
        return false;
    }
    // Only the picture of the other versions changes, not their status.
    const Columns& cols = m.columns();
    const std::string& name = cell_of(cols[COL_NAME], r);
    const std::string& comp = cell_of(cols[COL_COMP], r);
    for (int q : rows) {
        if (q == r || !m.valid(q)) continue;
        if (cell_of(cols[COL_NAME], q) != name || cell_of(cols[COL_COMP], q) != comp) continue;
        int state = m.images()[q];
        if (checked) {
            // Listed and installed rows get their state back on uncheck.
            if (state == IMG_LISTED || state == IMG_INSTALLED) m.set_prior(q, state);
            m.set_state(q, IMG_EXCLUDED);
        } else if (state == IMG_EXCLUDED) {
            restore_or(m, q, IMG_AVAILABLE);
            m.set_prior(q, 0);
        } else if (state != IMG_LISTED && state != IMG_INSTALLED) {
            m.set_state(q, IMG_AVAILABLE);
        }
    }
    return true;
}

int ready_count(const ListModel& m)
{
    int n = 0;
    for (int q : m.rows())
        if (m.valid(q) && m.images()[q] == IMG_READY) n++;
    return n;
}

long long order_value(const std::string& text) { return strtoll(text.c_str(), nullptr, 10); }

// The display order by number of "Order", from the given order.
static std::vector<int> by_order(const ListModel& m)
{
    std::vector<std::pair<long long, int>> keys;
    keys.reserve(m.rows().size());
    for (int r : m.rows()) keys.emplace_back(order_value(cell_of(m.columns()[COL_ORDER], r)), r);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const std::pair<long long, int>& a, const std::pair<long long, int>& b) { return a.first < b.first; });
    std::vector<int> rows;
    rows.reserve(keys.size());
    for (auto& k : keys) rows.push_back(k.second);
    return rows;
}

void sort_by_order(ListModel& m) { m.set_order(by_order(m)); }

static int position(const ListModel& m, int r)
{
    const std::vector<int>& rows = m.rows();
    auto it = std::find(rows.begin(), rows.end(), r);
    return it == rows.end() ? -1 : (int)(it - rows.begin());
}

static std::string order_text(long long n)
{
    char text[24];
    snprintf(text, sizeof text, "%03lld", n);
    return text;
}

int move_row(ListModel& m, int p, bool earlier)
{
    int r = p >= 0 && (size_t)p < m.rows().size() ? m.rows()[p] : -1;
    sort_by_order(m);
    if (!m.valid(r)) return -1;
    int q = position(m, r);
    int s = m.images()[r];
    if (s < IMG_AVAILABLE || s > IMG_INSTALLED) return q;
    int other = -1, step = 0;
    if (!earlier && q + 1 < (int)m.rows().size()) {
        other = m.rows()[q + 1];
        step = 1;
    } else if (earlier && q > 0) {
        other = m.rows()[q - 1];
        step = -1;
    }
    if (other < 0) return q;
    long long b = order_value(cell_of(m.columns()[COL_ORDER], r));
    if ((step > 0 && b == LLONG_MAX) || (step < 0 && b == LLONG_MIN)) return q;
    m.set_cell(other, COL_ORDER, order_text(b));
    m.set_cell(r, COL_ORDER, order_text(b + step));
    sort_by_order(m);
    return position(m, r);
}

std::vector<int> rows_to_save(const ListModel& m)
{
    std::vector<int> out;
    for (int r : by_order(m))
        if (m.valid(r) && (m.images()[r] == IMG_READY || m.images()[r] == IMG_INSTALLED)) out.push_back(r);
    return out;
}

bool info_rows(const ListModel& m, int n, const char* name, const char* comp, std::vector<int>& out)
{
    out.clear();
    bool listed = false;
    const std::vector<int>& rows = m.rows();
    for (int j = 0; j < n && (size_t)j < rows.size(); j++) {
        int r = rows[j];
        if (!m.valid(r) || m.images()[r] != IMG_LISTED) continue;
        listed = true;
        if (cell_of(m.columns()[COL_NAME], r) == name && cell_of(m.columns()[COL_COMP], r) == comp) out.push_back(r);
    }
    return listed;
}

int next_order(const ListModel& m)
{
    long long top = -1;
    for (const std::string& text : m.columns()[COL_ORDER])
        if (!text.empty()) top = std::max(top, order_value(text));
    return top >= 0x7ffffffe ? 0x7fffffff : (int)(top + 1);
}

int result_row(int code, const char* time, int state, std::string& status)
{
    if (svc_code_installed(code)) {
        status = time ? time : "";
        return IMG_INSTALLED;
    }
    status = code == -1 ? "failed to install" : "";
    return state;
}

int list_row_state(const char* stat, int admin)
{
    if (!stat || !stat[0]) return admin ? IMG_INSTALLED : IMG_LISTED;
    if (strcmp(stat, "available") == 0) return IMG_AVAILABLE;
    // A time stamp, as the install results carry it.
    return strchr(stat, ':') ? IMG_INSTALLED : IMG_LISTED;
}

int read_list(FILE* f, int admin, ListModel& m, TextInfo* info)
{
    return for_each_record(
        f,
        [&](const ListReader& rd) {
            char order[16], status[64];
            format_order(order, rd.n - 1);
            bool held = !rd.not_held();
            if (!held) not_held_status(status, ansi_code_page().id);
            const char* const cells[NCOLS] = {rd.name, rd.comp, rd.vers, rd.path, held ? rd.stat : status, order};
            m.append(cells, NCOLS, held ? list_row_state(rd.stat, admin) : IMG_LISTED);
        },
        info);
}
