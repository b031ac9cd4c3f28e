#!/usr/bin/env bash
# Installs everything that building and testing kwitomat needs on Debian 12,
# and builds Mbed TLS for the Windows build once (scripts/mbedtls_mingw.sh).
# Needs the network only when something is missing: with every package there,
# 32-bit programs running and that build in its cache, it does nothing and
# says so.
set -uo pipefail
export DEBIAN_FRONTEND=noninteractive
run() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
say() { echo "setup: $*" >&2; }

packages=(
  build-essential g++ cmake ninja-build pkg-config git python3
  libgtest-dev nlohmann-json3-dev libmbedtls-dev
  libcairo2-dev fonts-dejavu-core libgmime-3.0-dev libcurl4-openssl-dev
  python3-aiosmtpd libxml2-utils qpdf poppler-utils konwert-filters node-iconv-lite
  libncurses-dev tmux
  clang libclang-rt-14-dev
  g++-mingw-w64-i686 wine wine32:i386 wine32-preloader:i386 qemu-user
  python3-pefile
  python3-cryptography tzdata
)
loader=/lib/i386-linux-gnu/ld-linux.so.2

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null)" = "ii " ] || echo "$p"
  done
}

runs_32bit() { "$loader" --version >/dev/null 2>&1; }

mbedtls_script=${KW_MBEDTLS_MINGW_SCRIPT:-$(dirname "$0")/mbedtls_mingw.sh}
mbedtls_built() { bash "$mbedtls_script" --check 2>/dev/null; }

# Some kernels cannot run 32-bit x86 programs (wine's loader is one); there
# qemu's user-mode emulator runs them instead.
enable_32bit() {
  runs_32bit && return 0
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    run mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
      | run tee /proc/sys/fs/binfmt_misc/register >/dev/null
  fi
  runs_32bit || { say "cannot run 32-bit programs, not even through qemu-i386"; return 1; }
}

missing=$(missing_packages)
if [ -z "$missing" ] && runs_32bit && mbedtls_built; then
  say "every package is installed, 32-bit programs run and Mbed TLS for the Windows build is built; nothing to do"
  exit 0
fi

if [ -n "$missing" ]; then
  say "to install: $(echo $missing)"
  log=$(mktemp)
  prefs=$(mktemp -d)
  trap 'rm -rf "$log" "$prefs"' EXIT
  case " $(dpkg --print-foreign-architectures | tr '\n' ' ') " in
    *" i386 "*) ;;
    *) run dpkg --add-architecture i386 || exit 1 ;;
  esac

  # An index that cannot be fetched (a mirror in the middle of a sync) leaves
  # the old one or none; the install may still work, so it is tried anyway.
  run apt-get update 2>&1 | tee "$log"
  update_status=${PIPESTATUS[0]}
  failed_suites=()
  if [ "$update_status" != 0 ]; then
    # "Err:6 http://host/debian-security bookworm-security/main i386 Packages"
    while read -r index; do
      say "warning: the package index '$index' could not be fetched"
      suite=${index%% *}
      failed_suites+=("${suite%%/*}")
    done < <(sed -n 's/^Err:[0-9]* [^ ]* \(.*\)$/\1/p' "$log" | sort -u)
    grep '^E: Failed to fetch' "$log" | sed 's/^E: /setup:   /' >&2
    [ ${#failed_suites[@]} -gt 0 ] || say "warning: apt-get update failed; trying the install with the indexes there are"
  fi

  apt_install() { run apt-get install -y "$@" "${packages[@]}" 2>&1 | tee "$log"; return "${PIPESTATUS[0]}"; }
  if ! apt_install; then
    installed=false
    if [ ${#failed_suites[@]} -gt 0 ]; then
      # Without a suite's index for one architecture, the packages that must
      # have one version on both (libc6 and libc6:i386) disagree. Leaving that
      # suite out for this one install lets both come from the same indexes;
      # the machine's own package sources and preferences stay as they are.
      for suite in $(printf '%s\n' "${failed_suites[@]}" | sort -u); do
        printf 'Package: *\nPin: release n=%s\nPin-Priority: -1\n\nPackage: *\nPin: release a=%s\nPin-Priority: -1\n\n' \
          "$suite" "$suite" >> "$prefs/skip-failed.pref"
      done
      say "retrying the install without the suites whose index failed: $(printf '%s ' "${failed_suites[@]}" | xargs -n1 | sort -u | xargs)"
      if apt_install -o Dir::Etc::PreferencesParts="$prefs"; then
        installed=true
        say "warning: installed without the updates of $(printf '%s ' "${failed_suites[@]}" | xargs -n1 | sort -u | xargs);" \
          "run this set-up again once the mirror is whole to take them"
      fi
    fi
    if ! $installed; then
      say "the packages could not be installed. apt said:"
      grep -E '^(E: |W: | [^ ].* : Depends)' "$log" | sed 's/^/setup:   /' >&2
      if [ ${#failed_suites[@]} -gt 0 ]; then
        say "the cause is most likely the package index that failed above (a mirror in the middle of a sync);" \
          "wait a while and run 'bash scripts/setup.sh' again"
      else
        say "check the machine's package sources and the network, then run 'bash scripts/setup.sh' again"
      fi
      exit 1
    fi
  fi
fi

enable_32bit || exit 1
missing=$(missing_packages)
if [ -n "$missing" ]; then
  say "still not installed: $(echo $missing)"
  exit 1
fi
# Its source and its version come from the packages above, so it comes last.
if ! mbedtls_built; then
  say "building Mbed TLS for the Windows build (once; it is kept in $(bash "$mbedtls_script" --path 2>/dev/null))"
  if ! bash "$mbedtls_script" || ! mbedtls_built; then
    say "Mbed TLS for the Windows build could not be built (the reason is above);" \
      "run 'bash scripts/setup.sh' again once it is fixed"
    exit 1
  fi
fi
say "every package is installed, 32-bit programs run and Mbed TLS for the Windows build is built"
