"""Checks the DOM that Chromium dumped for the worked example's report, or
with "names" for a report holding names with accents."""
import sys
from html.parser import HTMLParser


class Dom(HTMLParser):
    """Collects the heading divs and the tables as rows of cells."""

    def __init__(self):
        super().__init__()
        self.divs = []      # (class, text)
        self.tables = []    # [[cell, ...], ...]; cell = dict(tag, text, bgcolor, bold)
        self.styles = 0
        self.charset = None
        self._div = None
        self._cell = None
        self._bold = 0

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "meta" and "charset" in a:
            self.charset = a["charset"]
        elif tag == "style":
            self.styles += 1
        elif tag == "div":
            self._div = [a.get("class", ""), ""]
        elif tag == "table":
            self.tables.append([])
        elif tag == "tr" and self.tables:
            self.tables[-1].append([])
        elif tag in ("td", "th") and self.tables and self.tables[-1]:
            self._cell = {"tag": tag, "text": "", "bgcolor": a.get("bgcolor"), "bold": False}
            self.tables[-1][-1].append(self._cell)
        elif tag == "b":
            self._bold += 1

    def handle_endtag(self, tag):
        if tag == "div" and self._div:
            self.divs.append((self._div[0], self._div[1].strip()))
            self._div = None
        elif tag in ("td", "th"):
            self._cell = None
        elif tag == "b":
            self._bold = max(0, self._bold - 1)

    def handle_data(self, data):
        if self._div is not None:
            self._div[1] += data
        if self._cell is not None:
            self._cell["text"] += data
            if self._bold and data.strip():
                self._cell["bold"] = True


def check_names(dom, expect):
    """The declared code page, and the name as the administrator wrote it."""
    expect(dom.charset == "windows-1252", "charset windows-1252, got %r" % dom.charset)
    names = [(c["text"].strip(), c["bold"]) for t in dom.tables for r in t for c in r[:1]]
    expect(("B\u00fcro", True) in names and ("B\u00fcro", False) in names,
           "group and package B\u00fcro, got %r" % names)


def main(path, mode=""):
    with open(path, encoding="utf-8", errors="replace") as f:
        dom = Dom()
        dom.feed(f.read())
    failures = []

    def expect(cond, what):
        if not cond:
            failures.append(what)

    def cells(row):
        return [(c["tag"], c["text"].strip(), c["bgcolor"], c["bold"]) for c in row]

    expect(dom.styles == 1, "one style block, got %d" % dom.styles)
    if mode == "names":
        check_names(dom, expect)
        return report(failures)
    expect(("h3", "Assignments for Device PC01") in dom.divs, "h3 heading, got %r" % dom.divs)
    expect(("h4", "Assigned Packages") in dom.divs, "h4 heading, got %r" % dom.divs)
    expect(len(dom.tables) == 2, "two tables, got %d" % len(dom.tables))
    if len(dom.tables) == 2:
        groups, packages = dom.tables
        expect([cells(r) for r in groups] == [
            [("th", "Number", "#e0e0e0", False), ("th", "Name", "#e0e0e0", False)],
            [("td", "0000", "#f0f0f0", False), ("td", "Office", None, False)],
        ], "group table, got %r" % [cells(r) for r in groups])
        expect([cells(r) for r in packages] == [
            [("th", "Name", "#e0e0e0", False), ("th", "Version", "#e0e0e0", False)],
            [("td", "Office", "#f0f0f0", True), ("td", "---", None, False)],
            [("td", "Editor", "#f0f0f0", False), ("td", "2.1", None, False)],
        ], "package table, got %r" % [cells(r) for r in packages])
    return report(failures)


def report(failures):
    for f in failures:
        print("check_dom: " + f, file=sys.stderr)
    if failures:
        return 1
    print("check_dom: report renders as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
