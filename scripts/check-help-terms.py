#!/usr/bin/env python3
# check-help-terms.py <source tree>: every setting, package state and service
# log line the code has is in docs/help/terms.txt (the file says how), and a
# help topic names it; a log line matches when its fixed parts stand in order
# in one topic, anything in place of its conversions. Exits 1 naming each fault.
import glob, html, os, re, sys

root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
read = lambda rel: open(os.path.join(root, rel), encoding="latin-1").read()
c_text = lambda lits: re.sub(r"\\(.)", lambda m: {"n": "", "t": "\t"}.get(m.group(1), m.group(1)),
                             "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', lits)))
faults = []

# What the code names.
contract, states = read("common/service_contract.h"), read("common/status.cpp")
table = re.search(r"svc_settings\[SVC_SETTINGS\]\s*=\s*\{(.*?)\};", contract, re.S)
state_texts = re.search(r"state_texts\[PKG_STATES\]\s*=\s*\{(.*?)\};", states, re.S)
code = {"setting": set(re.findall(r'\{"(\w+)",\s*SVC_', table.group(1) if table else "")),
        "state": set(re.findall(r'"(\w+)"', state_texts.group(1) if state_texts else "")), "log": set()}
where = {}
sources = [(p, read(p)) for p in sorted(os.path.relpath(f, root) for f in glob.glob(os.path.join(root, "service/*.cpp")))]
for path, text in sources + [("common/service_contract.h", contract), ("common/policy.h", read("common/policy.h"))]:
    for m in re.finditer(r'(?:svc_log\(|#define\s+\w+_LOG)\s*((?:"(?:[^"\\]|\\.)*"\s*)+)', text):
        where.setdefault(c_text(m.group(1)), path)
code["log"] = set(where)

# What the list holds.
listed = {k: [] for k in code}
for n, line in enumerate(read("docs/help/terms.txt").splitlines(), 1):
    kind, _, term = line.partition(" ")
    if line.strip() and not line.startswith("#"):
        if kind in listed and term:
            listed[kind].append(term)
        else:
            faults.append(f"docs/help/terms.txt:{n}: not \"setting|state|log <text>\": {line}")
for kind in code:
    faults += [f"missing from docs/help/terms.txt ({where.get(t, 'code')}), add the line:  {kind} {t}"
               for t in sorted(code[kind] - set(listed[kind]))]
    faults += [f"docs/help/terms.txt names what the code no longer has, remove:  {kind} {t}"
               for t in sorted(set(listed[kind]) - code[kind])]

# The topics as written (a setting or state stands alone in an element or in
# quotes) and as text (tags dropped, entities resolved, blanks folded).
pages = {os.path.basename(p): open(p, encoding="latin-1").read() for p in glob.glob(os.path.join(root, "docs/help/*.htm"))}
texts = [re.sub(r"\s+", " ", html.unescape(re.sub(r"<[^>]*>", "", t))) for t in pages.values()]
for kind in code:
    for term in listed[kind]:
        if kind == "log":
            parts = re.split(r"%(?:l{0,2}[dusx]|%)", re.sub(r"\s+", " ", term).strip())
            p, where_in = re.compile(".{0,120}?".join(map(re.escape, parts))), texts
        else:
            p, where_in = re.compile(r'(>|")' + re.escape(html.escape(term, quote=False)) + r'(<|")'), pages.values()
        if not any(p.search(t) for t in where_in):
            faults.append(f"no help topic (docs/help/*.htm) names {kind} \"{term}\"")

# Detection rules name the package's upgrade code: the one it has.
upgrade = re.search(r'UpgradeCode="([0-9A-F-]+)"', read("scripts/release/nxsvc.wxs"))
if not upgrade or upgrade.group(1) not in pages.get("deploy.htm", ""):
    faults.append("deploy.htm does not name the UpgradeCode of scripts/release/nxsvc.wxs")

for f in faults:
    print("check-help-terms: " + f)
print(f"check-help-terms: {sum(map(len, listed.values()))} terms, {len(pages)} topics, {len(faults)} faults")
sys.exit(1 if faults else 0)
