// The report writer with texts and tables of any content, and the escaping
// that keeps file texts from becoming markup.
#include "assign.h"
#include "chtml.h"
#include "fuzzutil.h"
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string part[4];
    split_input(data, size, part, 4);

    std::string esc = html_escape(part[0]);
    FUZZ_CHECK(esc.find_first_of("<>\"'") == std::string::npos);
    for (size_t p = esc.find('&'); p != std::string::npos; p = esc.find('&', p + 1)) {
        static const char* const ents[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&#39;"};
        bool ok = false;
        for (const char* e : ents) ok = ok || esc.compare(p, strlen(e), e) == 0;
        FUZZ_CHECK(ok);
    }

    std::vector<std::string> col1, col2;
    for (size_t i = 0; i < part[1].size(); i += 7) col1.push_back(part[1].substr(i, 7));
    for (size_t i = 0; i < part[2].size(); i += 5) col2.push_back(part[2].substr(i, 5));
    OutStream os;
    FILE* f = os.f;
    CHtml html;
    html.Open(f);
    html.WriteStyle();
    html.WriteText(part[0].c_str(), size ? data[0] % 6 : 0);
    html.BeginTable();
    html.WriteTable(col1, col2, part[3].empty() ? nullptr : part[3].c_str(), "Version");
    html.WriteTable(col1, col1, "Name", "Name");
    html.Close();  // closes f
    FUZZ_CHECK(!html.mfile);
    std::string doc(os.buf, os.len);
    FUZZ_CHECK(doc.compare(0, 14, "<html>\n<body>\n") == 0);
    FUZZ_CHECK(doc.size() >= 16 && doc.compare(doc.size() - 16, 16, "</body>\n</html>\n") == 0);

    CHtml closed;  // without a stream every call does nothing
    closed.WriteText(part[0].c_str(), 1);
    closed.WriteTable(col1, col2, "a", "b");
    closed.Close();
    return 0;
}
