// Writes a small self-styled HTML document to a stream opened by the
// caller. Texts and cells are written unchanged: callers escape what
// must not be markup.
#pragma once
#include <stdio.h>
#include "scoped.h"
#include <string>
#include <vector>

// Text for an HTML document: & < > " ' as entities.
std::string html_escape(const char* text);
inline std::string html_escape(const std::string& text) { return html_escape(text.c_str()); }

// Kinds of WriteText.
enum TextKind { TEXT_PARA = 0, TEXT_CODE = 1, TEXT_H2 = 2, TEXT_H3 = 3, TEXT_H4 = 4 };

class CHtml {
public:
    ScopedFile mfile;                  // owned from Open until Close
    unsigned mcolor_th = 0xE0E0E0;     // table header cells
    unsigned mcolor_td = 0xF0F0F0;     // first-column cells
    unsigned mcolor_h2 = 0xA0B0C0;
    unsigned mcolor_h3 = 0xB0C0D0;
    unsigned mcolor_h4 = 0xC0D0E0;

    // All but Open do nothing without a stream.
    // charset: the code page's name for browsers, declared before "<body>"
    // (null: none).
    void Open(FILE* f, const char* charset = nullptr);
    void WriteStyle();
    // A TextKind; anything else is a paragraph.
    void WriteText(const char* text, int kind);
    void BeginTable();
    // A header row only when both heads are given; rows whose second cell is
    // empty are left out; columns of unequal length write nothing at all.
    void WriteTable(const std::vector<std::string>& col1, const std::vector<std::string>& col2,
                    const char* head1, const char* head2);
    // Writes the closing tags and closes the stream. Whether the whole
    // document reached the file: false without a stream, or when a write or
    // the last flush failed (a full disk shows only there).
    bool Close();
};
