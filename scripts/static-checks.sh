#!/usr/bin/env bash
# cppcheck and clang-tidy over the console, the library, the service, the shared code and
# the demo tools. Fails on any finding. Usage: static-checks.sh <build folder>
# (the cross build, for its compile_commands.json).
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cd "$root"
dirs=(common svclib console demo service)
jobs="${NX_JOBS:-2}"
status=0

# cppcheck: errors (buffer overruns, leaks, null pointers) and warnings
# (printf argument checks among them), inconclusive ones too.
out=$(cppcheck --enable=warning,performance,portability --inconclusive --std=c++17 \
    --library=windows --platform=win32A -D_WIN32 -D__MINGW32__ -DWIN32_LEAN_AND_MEAN \
    $(printf -- '-I%s ' common svclib service console/shell console/views console/search console/res) \
    --suppressions-list="$root/scripts/cppcheck.supp" --inline-suppr -j "$jobs" --quiet \
    --template='{file}:{line}: {severity}: {message} [{id}]' "${dirs[@]}" 2>&1)
n=$(printf '%s' "$out" | grep -c ': \(error\|warning\|performance\|portability\):' || true)
if [ "$n" -ne 0 ]; then
    printf '%s\n' "$out"
    status=1
fi
echo "cppcheck: $(find "${dirs[@]}" -name '*.cpp' | wc -l) files, $n findings"

# clang-tidy on the MinGW target, with the cross compiler's own headers, the
# checks of .clang-tidy and the strict format warnings.
cc="$build/compile_commands.json"
if [ ! -f "$cc" ]; then
    echo "clang-tidy: $cc missing (configure the cross build first)"
    exit 1
fi
extra=(--extra-arg=--target=i686-w64-mingw32 --extra-arg=-nostdinc --extra-arg=-nostdinc++
       --extra-arg=-Wformat=2 --extra-arg=-Wformat-security)
for d in $(echo | i686-w64-mingw32-g++-posix -E -x c++ -v - 2>&1 |
           sed -n '/#include <...> search starts here/,/End of search/p' | grep '^ /'); do
    extra+=("--extra-arg=-isystem$d")
done
# The product's own compile lines only: test targets compile some of the same
# files again with GCC precompiled headers, which clang cannot read.
db=$(mktemp -d)
files=$(python3 - "$cc" "$root" "$db" "${dirs[@]}" <<'PY'
import json, sys
cc, root, db, dirs = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
keep = {}
for e in json.load(open(cc)):
    f = e["file"]
    if f.endswith(".cpp") and "cmake_pch" not in e["command"] and any(f.startswith(f"{root}/{d}/") for d in dirs):
        keep.setdefault(f, e)
json.dump(list(keep.values()), open(f"{db}/compile_commands.json", "w"))
print("\n".join(sorted(keep)))
PY
)
log=$(mktemp)
printf '%s\n' "$files" | xargs -P "$jobs" -n 4 clang-tidy -p "$db" --quiet "${extra[@]}" >"$log" 2>&1
n=$(grep -c ': \(warning\|error\):\|^Error while processing' "$log" || true)
if [ "$n" -ne 0 ]; then
    grep -A4 ': \(warning\|error\):\|^Error while processing' "$log"
    status=1
fi
echo "clang-tidy: $(printf '%s\n' "$files" | wc -l) files, $n findings"
rm -rf "$log" "$db"
exit $status
