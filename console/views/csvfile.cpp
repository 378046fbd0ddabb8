#include "csvfile.h"
#include "model.h"
#include "strutil.h"
#include "textenc.h"
#include <string.h>

void split_fields(const char* text, std::vector<std::string>& out)
{
    out.clear();
    for (;;) {
        const char* comma = strchr(text, ',');
        if (!comma) {
            out.emplace_back(text);
            return;
        }
        out.emplace_back(text, comma - text);
        text = comma + 1;
    }
}

int read_csv(FILE* f, int maxcols, std::vector<std::string>& headers, ListModel& m, int image)
{
    char buf[NX_PATH];
    std::vector<std::string> fields;
    int line = 0, n = 0;
    TextInfo info;
    TextIn text(f, ansi_code_page(), info);
    TextPieces pieces(text);
    while (pieces.next(buf, sizeof buf)) {
        size_t len = strlen(buf);
        if (len && buf[len - 1] == '\n') buf[--len] = 0;
        split_fields(buf, fields);
        if (line++ == 0) {
            headers.clear();
            for (size_t k = 0; k < fields.size() && (int)k < maxcols; k++) headers.push_back(fields[k]);
            continue;
        }
        if (fields.size() > (size_t)maxcols) fields.resize(maxcols);
        m.append(fields.data(), (int)fields.size(), image);
        n++;
    }
    return n;
}
