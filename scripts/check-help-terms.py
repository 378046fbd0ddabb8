#!/usr/bin/env python3
"""check-help-terms.py <source tree>

The manual names what the code names: every service setting, package state
and line of the service log listed in docs/help/terms.txt must appear in the
help topics (docs/help/*.htm), and the list must hold exactly what the code
has:
  setting  the registry values of svc_settings (common/service_contract.h)
  state    the package states of a status file (common/status.cpp)
  log      every format of svc_log in service/*.cpp, and the *_LOG macros of
           common/service_contract.h, as the code writes it ("%s", "%d" ...)
A log line matches the help when its fixed parts appear in order in one
topic, with anything (a placeholder such as <i>path</i>) where the format
has a conversion. Exits 1 and says what to add or remove."""
import glob
import html
import os
import re
import sys

root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
terms_file = os.path.join(root, "docs/help/terms.txt")
faults = []


def read(path):
    with open(path, encoding="latin-1") as f:
        return f.read()


def c_text(literal):
    """A C string literal's text: escapes resolved, the line end dropped."""
    out = re.sub(r"\\(.)", lambda m: {"n": "", "t": "\t", "\\": "\\", '"': '"'}.get(m.group(1), m.group(1)), literal)
    return out


def literals(args):
    return "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', args))


# What the code names.
contract = read(os.path.join(root, "common/service_contract.h"))
table = re.search(r"svc_settings\[SVC_SETTINGS\]\s*=\s*\{(.*?)\};", contract, re.S)
code = {"setting": set(re.findall(r'\{"(\w+)",\s*SVC_', table.group(1)) if table else [])}
states = re.search(r"state_texts\[PKG_STATES\]\s*=\s*\{(.*?)\};", read(os.path.join(root, "common/status.cpp")), re.S)
code["state"] = set(re.findall(r'"(\w+)"', states.group(1)) if states else [])
where = {}
for path in sorted(glob.glob(os.path.join(root, "service/*.cpp"))):
    for m in re.finditer(r'svc_log\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+)', read(path)):
        where.setdefault(c_text(literals(m.group(1))), os.path.relpath(path, root))
for m in re.finditer(r'#define\s+(\w+_LOG)\s+((?:"(?:[^"\\]|\\.)*"\s*)+)', contract):
    where.setdefault(c_text(literals(m.group(2))), "common/service_contract.h " + m.group(1))
code["log"] = set(where)

# What the list holds.
listed = {k: [] for k in code}
for n, line in enumerate(read(terms_file).splitlines(), 1):
    if not line.strip() or line.startswith("#"):
        continue
    kind, _, term = line.partition(" ")
    if kind not in listed or not term:
        faults.append(f"docs/help/terms.txt:{n}: not \"setting|state|log <text>\": {line}")
        continue
    listed[kind].append(term)

for kind in code:
    for term in sorted(code[kind] - set(listed[kind])):
        origin = f" ({where[term]})" if kind == "log" else ""
        faults.append(f"missing from docs/help/terms.txt{origin}, add the line:  {kind} {term}")
    for term in sorted(set(listed[kind]) - code[kind]):
        faults.append(f"docs/help/terms.txt names what the code no longer has, remove:  {kind} {term}")

# The help's topics: as written (a setting or state stands alone in an
# element or in quotes: <code>self</code>, "waiting"), and as plain text for
# the log lines (tags dropped, entities resolved, blanks folded).
pages, texts = {}, {}
for path in sorted(glob.glob(os.path.join(root, "docs/help/*.htm"))):
    name = os.path.basename(path)
    pages[name] = read(path)
    texts[name] = re.sub(r"\s+", " ", html.unescape(re.sub(r"<[^>]*>", "", pages[name])))


def found(kind, term):
    if kind != "log":
        p = re.compile(r'(>|")' + re.escape(html.escape(term, quote=False)) + r'(<|")')
        return any(p.search(t) for t in pages.values())
    parts = re.split(r"%(?:l{0,2}[dusx]|%)", re.sub(r"\s+", " ", term).strip())
    p = re.compile(".{0,120}?".join(re.escape(x) for x in parts))
    return any(p.search(t) for t in texts.values())


for kind in code:
    for term in listed[kind]:
        if not found(kind, term):
            faults.append(f"no help topic names {kind} \"{term}\" (docs/help/*.htm)")

# Detection rules name the package's upgrade code: the one it has.
wxs = read(os.path.join(root, "scripts/release/nxsvc.wxs"))
upgrade = re.search(r'UpgradeCode="([0-9A-F-]+)"', wxs)
if not upgrade or upgrade.group(1) not in pages.get("deploy.htm", ""):
    faults.append("deploy.htm does not name the UpgradeCode of scripts/release/nxsvc.wxs")

for f in faults:
    print("check-help-terms: " + f)
total = sum(len(v) for v in listed.values())
print(f"check-help-terms: {total} terms, {len(pages)} topics, {len(faults)} faults")
sys.exit(1 if faults else 0)
