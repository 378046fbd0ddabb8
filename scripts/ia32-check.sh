#!/usr/bin/env bash
# Exits 0 where 32-bit programs run; else says why and exits 77, which CTest
# reports as a skipped test. Some virtual machines run 64-bit user code only
# (their kernel answers every 32-bit execve with ENOEXEC); there the 32-bit
# Wine loader, and with it every Windows program of this project, cannot
# start at all, and emulating it (qemu-user) does not boot a prefix.
# The 64-bit build (NX_ARCH=x86_64, scripts/wine-vars.sh) needs none.
[ "${NX_ARCH:-}" = x86_64 ] && exit 0
probe=/lib/ld-linux.so.2
[ -e "$probe" ] || exit 0
"$probe" --help >/dev/null 2>&1 && exit 0
echo "SKIPPED: this machine runs no 32-bit programs (the kernel's IA-32 emulation is off), so Wine cannot start them" >&2
exit 77
