#!/usr/bin/env bash
# Installs everything that building and testing kwitomat needs on Debian 12.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
run() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

run dpkg --add-architecture i386
run apt-get update
run apt-get install -y \
  build-essential g++ cmake ninja-build pkg-config git python3 \
  libgtest-dev nlohmann-json3-dev \
  libcairo2-dev fonts-dejavu-core libgmime-3.0-dev libcurl4-openssl-dev \
  python3-aiosmtpd libxml2-utils qpdf poppler-utils konwert-filters node-iconv-lite \
  libncurses-dev tmux \
  clang libclang-rt-14-dev \
  g++-mingw-w64-i686 wine wine32:i386 wine32-preloader:i386 qemu-user \
  python3-pefile

# Some kernels cannot run 32-bit x86 programs (wine's loader is one); there
# qemu's user-mode emulator runs them instead.
if ! /lib/i386-linux-gnu/ld-linux.so.2 --version >/dev/null 2>&1; then
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    run mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
      | run tee /proc/sys/fs/binfmt_misc/register >/dev/null
  fi
  /lib/i386-linux-gnu/ld-linux.so.2 --version >/dev/null 2>&1 || { echo "setup: cannot run 32-bit programs" >&2; exit 1; }
fi
