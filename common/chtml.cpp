#include "chtml.h"
#include <string.h>

std::string html_escape(const char* text)
{
    std::string out;
    if (!text) return out;
    for (const char* p = text;;) {
        size_t n = strcspn(p, "&<>\"'");
        out.append(p, n);
        p += n;
        switch (*p) {
        case 0: return out;
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += "&#39;"; break;
        }
        p++;
    }
}

void CHtml::Open(FILE* f, const char* charset)
{
    mfile.reset(f);
    if (!mfile) return;
    // The texts are in the code page, and without a declaration a browser
    // guesses it. Before "<body>" the tag belongs to the document's head,
    // and it lies in the first bytes, where browsers look for it first.
    if (charset && charset[0])
        fprintf(mfile.get(), "<html>\n<meta charset='%s'>\n<body>\n", charset);
    else
        fprintf(mfile.get(), "<html>\n<body>\n");
}

void CHtml::WriteStyle()
{
    if (!mfile) return;
    fprintf(mfile.get(), "<style>\n");
    fprintf(mfile.get(), "<!--\n");
    fprintf(mfile.get(),
            " .h2 {background-color:#%06x; border:1px solid #808080; font-family:Verdana, Arial, Helvetica; "
            "font-size:100%%; font-weight:bold; margin-top:-1px; margin-bottom:-1px; padding-left:8px; "
            "padding-top:8px; padding-bottom:8px; width:100%%;}\n",
            mcolor_h2);
    fprintf(mfile.get(),
            " .h3 {background-color:#%06x; border:1px solid #808080; font-family:Verdana, Arial, Helvetica; "
            "font-size: 80%%; font-weight:bold; margin-top:-1px; margin-bottom:-1px; padding-left:8px; "
            "padding-top:8px; padding-bottom:8px; width:100%%;}\n",
            mcolor_h3);
    fprintf(mfile.get(),
            " .h4 {background-color:#%06x; border:1px solid #808080; font-family:Verdana, Arial, Helvetica; "
            "font-size: 60%%; font-weight:bold; margin-top:-1px; margin-bottom:-1px; padding-left:8px; "
            "padding-top:4px; padding-bottom:4px; width:100%%;}\n",
            mcolor_h4);
    fprintf(mfile.get(), "  th {font-size: 60%%; font-family: Verdana, Arial, Helvetica;}\n");
    fprintf(mfile.get(), "  td {font-size: 60%%; font-family: Verdana, Arial, Helvetica;}\n");
    fprintf(mfile.get(), "  p  {font-size: 60%%; font-family: Verdana, Arial, Helvetica;}\n");
    fprintf(mfile.get(), "-->\n");
    fprintf(mfile.get(), "</style>\n\n");
    fflush(mfile.get());
}

void CHtml::WriteText(const char* text, int kind)
{
    if (!mfile) return;
    if (!text) text = "";
    switch (kind) {
    case TEXT_CODE: fprintf(mfile.get(), "<code>%s</code>\n", text); break;
    case TEXT_H2: fprintf(mfile.get(), "<div class='h2'>%s</div>\n\n", text); break;
    case TEXT_H3: fprintf(mfile.get(), "<div class='h3'>%s</div>\n\n", text); break;
    case TEXT_H4: fprintf(mfile.get(), "<div class='h4'>%s</div>\n\n", text); break;
    default: fprintf(mfile.get(), "<p>%s</p>\n", text); break;
    }
}

void CHtml::BeginTable()
{
    if (!mfile) return;
    // Through "%s" so the tag's "%" stays a plain character.
    fprintf(mfile.get(), "%s\n",
            "<table border=1 cellspacing=0 cellpadding=3 style='border-collapse: collapse' "
            "bordercolor='#808080' width='100%'>");
}

void CHtml::WriteTable(const std::vector<std::string>& col1, const std::vector<std::string>& col2,
                       const char* head1, const char* head2)
{
    if (!mfile || col1.size() != col2.size()) return;
    // The table is built first and written at once: a formatted write per
    // cell costs more than everything else in a large report.
    char td[64], th[64];
    snprintf(td, sizeof td, "  <td bgcolor='#%06x'>", mcolor_td);
    snprintf(th, sizeof th, "  <th bgcolor='#%06x'>", mcolor_th);
    std::string out;
    if (head1 && head2) {
        out += "<tr>\n";
        out += th;
        out += head1;
        out += "</th>\n";
        out += th;
        out += head2;
        out += "</th>\n</tr>\n";
    }
    for (size_t i = 0; i < col1.size(); i++) {
        if (col2[i].empty()) continue;
        out += "<tr>\n";
        out += td;
        out += col1[i];
        out += "</td>\n  <td>";
        out += col2[i];
        out += "</td>\n</tr>\n";
    }
    out += "</table>\n\n";
    fwrite(out.data(), 1, out.size(), mfile.get());
    fflush(mfile.get());
}

bool CHtml::Close()
{
    if (!mfile) return false;
    fprintf(mfile.get(), "</body>\n</html>\n");
    bool written = !ferror(mfile.get());
    return mfile.close() && written;
}
