// Assignment file, group files, package columns and the device list as
// plain functions over real files. Builds natively too (no Win32 needed).
#include "assign.h"
#include "strutil.h"
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
#include <vector>

#include "foldertest.h"

namespace {

using Strings = std::vector<std::string>;

class Assign : public FolderTest {
protected:
    std::string path(const char* name) { return dir + SEP + name; }
    void put(const char* name, const std::string& bytes)
    {
        FILE* f = fopen(path(name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    std::string get(const char* name)
    {
        std::string s;
        FILE* f = fopen(path(name).c_str(), "rb");
        if (!f) return s;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        fclose(f);
        return s;
    }
    Strings groups_of(const char* name, const char* key)
    {
        Strings g;
        FILE* f = fopen(path(name).c_str(), "rb");
        EXPECT_NE(f, nullptr);
        if (f) {
            read_assignments(f, key, g);
            fclose(f);
        }
        return g;
    }
    Strings group_lines(const char* name)
    {
        Strings l;
        FILE* f = fopen(path(name).c_str(), "rb");
        EXPECT_NE(f, nullptr);
        if (f) {
            read_group_lines(f, l);
            fclose(f);
        }
        return l;
    }
};

TEST(AssignText, StripBlanksRemovesEveryWhiteSpaceCharacter)
{
    struct { const char* in; const char* out; } rows[] = {
        {"PC01 = Office, Tools", "PC01=Office,Tools"},
        {"\tPC01=\vOf\ffice\r\n", "PC01=Office"},
        {"   \t ", "   \t "},  // white space only: left as it is
        {"", ""},
        {"x", "x"},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.in);
        std::string s = r.in;
        strip_blanks(s);
        EXPECT_EQ(s, r.out);
    }
}

TEST(AssignText, AssignmentLineGivesTheDevicesGroups)
{
    struct { const char* line; const char* key; Strings groups; } rows[] = {
        {"PC01=Office,Tools", "PC01=", {"Office", "Tools"}},
        {"PC01 = Office , Tools", "PC01=", {"Office", "Tools"}},
        {"  PC01\t=Office", "PC01=", {"Office"}},
        {"PC01=A,Office", "PC01=", {"Office"}},
        {"PC01=,Office,,B,", "PC01=", {"Office"}},
        {"PC01=Office,Office", "PC01=", {"Office", "Office"}},
        {"PC01=Office;comment", "PC01=", {}},
        {";PC01=Office", "PC01=", {}},
        {"PC01=Off;ice", "PC01=", {}},
        {"XPC1=Office", "PC1=", {}},  // the key must begin the line
        {"PC012=Office", "PC01=", {}},
        {"pc01=Office", "PC01=", {}},  // case counts
        {"Office,Tools", "PC01=", {}},
        {"PC01=", "PC01=", {}},
        {"=Office", "", {}},  // no key: nothing matches
        {"PC01=Office", "", {}},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(std::string(r.line) + " / " + r.key);
        Strings g;
        parse_assignment_line(r.line, r.key, g);
        EXPECT_EQ(g, r.groups);
    }
}

TEST(AssignText, DeviceKeyIsNameAndEqualsOrNothing)
{
    char key[NX_PATH];
    EXPECT_EQ(make_device_key(key, sizeof key, "PC01"), 0);
    EXPECT_STREQ(key, "PC01=");
    EXPECT_EQ(make_device_key(key, sizeof key, ""), 1);
    EXPECT_STREQ(key, "");
    EXPECT_EQ(make_device_key(key, sizeof key, nullptr), 1);
    EXPECT_STREQ(key, "");
    // 258 characters and "=" fill the buffer; one more would cut the key,
    // and a cut key could match another device.
    std::string n258(258, 'N'), n259(259, 'N');
    EXPECT_EQ(make_device_key(key, sizeof key, n258.c_str()), 0);
    EXPECT_EQ(std::string(key), n258 + "=");
    EXPECT_EQ(make_device_key(key, sizeof key, n259.c_str()), 1);
    EXPECT_STREQ(key, "");
}

TEST_F(Assign, AssignmentFileLinesContributeInFileOrder)
{
    put("a.ini",
        "[Devices]\n"
        "PC01=Office,Tools\n"
        "PC02=Games\n"
        "; PC01=Hidden\n"
        "PC01 = Tools , Office\n"
        "XPC01=Other\n"
        "PC01=Last");  // no line end
    EXPECT_EQ(groups_of("a.ini", "PC01="), (Strings{"Office", "Tools", "Tools", "Office", "Last"}));
    EXPECT_EQ(groups_of("a.ini", "PC02="), (Strings{"Games"}));
    EXPECT_EQ(groups_of("a.ini", ""), (Strings{}));
}

TEST_F(Assign, LongAssignmentLineIsJudgedWhole)
{
    // Groups past the 259th character still count; a later piece that
    // happens to begin like another device's line does not match; a ";"
    // in a later piece makes the whole line a comment.
    std::string many = "PC01=";
    Strings want;
    for (int i = 0; i < 60; i++) {
        char g[16];
        snprintf(g, sizeof g, "Grp%02d", i);
        many += (i ? "," : "") + std::string(g);
        want.push_back(g);
    }
    ASSERT_GT(many.size(), 259u);
    std::string trap = "PC09=" + std::string(254, 'x') + "PC01=Evil\n";
    std::string comment = "PC01=Early" + std::string(300, ' ') + ";\n";
    put("a.ini", many + "\n" + trap + comment);
    EXPECT_EQ(groups_of("a.ini", "PC01="), want);
}

TEST_F(Assign, GroupFileKeepsLinesWithoutSemicolon)
{
    put("g.ini", "[Vendor Editor]\ncomp=Vendor\n; note\nname=Editor\npath=C:\\a;b\n\nvers=2.1\n<b>Sub\nlast");
    EXPECT_EQ(group_lines("g.ini"),
              (Strings{"[Vendor Editor]\n", "comp=Vendor\n", "name=Editor\n", "\n", "vers=2.1\n", "<b>Sub\n", "last"}));
}

TEST_F(Assign, LongGroupLineStaysOneLine)
{
    std::string path_line = "path=" + std::string(400, 'p') + "\n";
    std::string dropped = "path=" + std::string(300, 'q') + ";x\n";
    put("g.ini", "name=A\n" + path_line + dropped + "vers=1\n");
    EXPECT_EQ(group_lines("g.ini"), (Strings{"name=A\n", path_line, "vers=1\n"}));
}

TEST_F(Assign, ZeroBytesAreDroppedWithoutJoiningLines)
{
    put("g.ini", std::string("name=Ed\0itor\nvers=1\n\0\nlast", 26));
    EXPECT_EQ(group_lines("g.ini"), (Strings{"name=Editor\n", "vers=1\n", "\n", "last"}));
}

TEST_F(Assign, LinesReadAsTextModePresentsThem)
{
    // CR LF is one line end, also when the two arrive in different reads;
    // a CR elsewhere stays; Ctrl-Z ends the file.
    std::string head = "one\r\ntwo\rthree\r\n\r\r\n";
    std::string big(65536 - 1 - head.size(), 'a');  // the CR is the last byte of the first 64 KB read
    put("g.ini", head + big + "\r\nafter\r\nend\x1a" + "hidden\r\n");
    EXPECT_EQ(group_lines("g.ini"), (Strings{"one\n", "two\rthree\n", "\r\n", big + "\n", "after\n", "end"}));
}

// Group and assignment files as editors save them: decoded to the code page
// (1252 under Wine, Latin-1 natively: both hold the letter u-umlaut), and a
// list written back in the encoding it came in gives the same bytes.
TEST_F(Assign, FilesInEveryEncodingReadInTheCodePage)
{
    const std::string b = "name=B\xFCro\n", d = "name=Dvo?\xE1k\n";
    struct { const char* what; std::string bytes; TextEncoding enc; Strings lines; std::vector<int> lost; } rows[] = {
        {"ANSI", "name=B\xFCro\r\n", ENC_ANSI, {b}, {}},
        {"UTF-8", "name=B\xC3\xBCro\r\n", ENC_UTF8, {b}, {}},
        {"UTF-8 BOM", "\xEF\xBB\xBFname=B\xC3\xBCro\r\n", ENC_UTF8_BOM, {b}, {}},
        {"UTF-16 LE", std::string("\xFF\xFEn\0a\0m\0e\0=\0B\0\xFC\0r\0o\0\r\0\n\0", 24), ENC_UTF16LE, {b}, {}},
        {"UTF-16 BE", std::string("\xFE\xFF\0n\0a\0m\0e\0=\0B\0\xFC\0r\0o\0\r\0\n", 24), ENC_UTF16BE, {b}, {}},
        {"ASCII only", "name=Bro\r\n", ENC_ANSI, {"name=Bro\n"}, {}},
        {"not UTF-8", "name=\xC3(\r\n", ENC_ANSI, {"name=\xC3(\n"}, {}},
        {"not held", "x\nname=Dvo\xC5\x99\xC3\xA1k\n", ENC_UTF8, {"x\n", d}, {2}},
        // U+011A holds the byte of Ctrl-Z, which must not end the file.
        {"UTF-16 Ctrl-Z byte", std::string("\xFF\xFE\x1A\x01\n\0z\0", 8), ENC_UTF16LE, {"?\n", "z"}, {1}},
        {"odd UTF-16", std::string("\xFF\xFEz\0\x41", 5), ENC_UTF16LE, {"z?"}, {1}},
        {"bad after BOM", "\xEF\xBB\xBFz\xFF", ENC_UTF8_BOM, {"z?"}, {1}},
    };
    const CodePage& cp = ansi_code_page();
#ifdef _WIN32
    ASSERT_EQ(tu::reg_text("System\\CurrentControlSet\\Control\\Nls\\CodePage", "ACP"), "1252");
#endif
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        put("g.ini", r.bytes);
        Strings lines;
        TextInfo info;
        FILE* f = fopen(path("g.ini").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        read_group_lines(f, lines, &info);
        fclose(f);
        EXPECT_EQ(lines, r.lines);
        EXPECT_EQ(info.enc, r.enc);
        EXPECT_EQ(info.lost_lines, r.lost);
        std::string again;
        encode_text("name=B\xFCro\r\n", r.enc, cp, again);
        if (r.lines[0] == b) {
            // The assignment file takes the same road.
            EXPECT_EQ(groups_of("g.ini", "name="), Strings{"B\xFCro"});
            EXPECT_EQ(again, r.bytes);
        }
    }
}

TEST(AssignText, KeyWordTakesTheFirstWordAfterTheKey)
{
    struct { const char* entry; bool found; const char* word; } rows[] = {
        {"name=Editor\n", true, "Editor"},
        {"name=Text Editor\n", true, "Text"},
        {"name=  \tSpaced\n", true, "Spaced"},
        {"name=Editor", true, "Editor"},
        {"name=\n", false, ""},
        {"name=", false, ""},
        {" name=x\n", false, ""},
        {"Name=x\n", false, ""},
        {"rename=x\n", false, ""},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.entry);
        std::string w;
        EXPECT_EQ(key_word(r.entry, "name=", w), r.found);
        if (r.found) {
            EXPECT_EQ(w, r.word);
        }
    }
    std::string w;
    ASSERT_TRUE(key_word("vers=" + std::string(300, 'v'), "vers=", w));
    EXPECT_EQ(w.size(), 259u);  // the NX_PATH word buffer
}

TEST(AssignText, HtmlEscape)
{
    EXPECT_EQ(html_escape("R&D <x> \"q\" 'a'"), "R&amp;D &lt;x&gt; &quot;q&quot; &#39;a&#39;");
    EXPECT_EQ(html_escape("Plain 1.0"), "Plain 1.0");
    EXPECT_EQ(html_escape((const char*)nullptr), "");
}

TEST(AssignText, PackageColumnsFromTheLineList)
{
    struct { Strings lines; Strings names; Strings versions; } rows[] = {
        // The worked example: marker and six lines.
        {{"<b>Office", "[Vendor Editor]\n", "comp=Vendor\n", "name=Editor\n", "path=Editor\n", "vers=2.1\n", "\n"},
         {"<b>Office", "Editor"}, {"---", "2.1"}},
        // A missing group file: the marker alone.
        {{"<b>Empty"}, {"<b>Empty"}, {"---"}},
        // Names and versions from files are text, the marker's bold is markup.
        {{"<b>R&D", "name=A<1>\n", "vers=1&2\n"}, {"<b>R&amp;D", "A&lt;1&gt;"}, {"---", "1&amp;2"}},
        // A file line holding "<b>" is a bold row too.
        {{"<b>G", "<b>Sub\n", "x<b>y\n"}, {"<b>G", "<b>Sub\n", "<b>x&lt;b&gt;y\n"}, {"---", "---", "---"}},
        // Only the first word; no word, no entry.
        {{"name=Text Editor\n", "vers=\n", "name=\n"}, {"Text"}, {}},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.lines.empty() ? "" : r.lines[0]);
        Strings names{"stale"}, versions{"stale"};
        build_package_columns(r.lines, names, versions);
        EXPECT_EQ(names, r.names);
        EXPECT_EQ(versions, r.versions);
    }
}

TEST_F(Assign, DeviceListWritesFileLinesOnly)
{
    std::string text =
        device_list_text({"<b>Office", "[V E]\n", "vers=1\n", "<b>Sub\n", "last", "<b>Tools", "[V T]\n", "\n"});
    // The last line of a group file without a line end gets one, so it
    // does not run into the next group's first line.
#ifdef _WIN32
    EXPECT_EQ(text, "[V E]\r\nvers=1\r\nlast\r\n[V T]\r\n\r\n");  // as text mode writes
#else
    EXPECT_EQ(text, "[V E]\nvers=1\nlast\n[V T]\n\n");
#endif
}

}  // namespace
