#!/usr/bin/env bash
# Some virtual machines run 64-bit user code only: the kernel refuses every
# 32-bit Linux program (execve fails with ENOEXEC), and with it the 32-bit
# Wine loader. There, 32-bit programs run through qemu's user-mode emulator,
# registered with binfmt_misc (kernel state: lost at reboot, so every run
# checks). Does nothing where 32-bit programs run natively.
set -u
probe=/lib/ld-linux.so.2
[ -e "$probe" ] || exit 0
"$probe" --help >/dev/null 2>&1 && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ! -x /usr/bin/qemu-i386-static ]; then
  echo "32-bit programs do not run natively here: installing qemu-user-static"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
fi
bm=/proc/sys/fs/binfmt_misc
[ -e "$bm/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$bm"
if [ ! -e "$bm/qemu-i386" ]; then
  # i386 ELF executables and shared objects; F: the kernel opens the
  # emulator now, so it works inside other mount namespaces too.
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    | $sudo tee "$bm/register" >/dev/null
fi
"$probe" --help >/dev/null 2>&1 || { echo "ia32-binfmt: 32-bit programs still do not run" >&2; exit 1; }
echo "32-bit programs run through qemu-i386-static (binfmt_misc)"
