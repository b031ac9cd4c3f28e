#!/usr/bin/env bash
# Builds Mbed TLS for the Windows build: the source Debian 12 builds its own
# libmbedtls-dev from, at the version installed here, configured as Debian
# configures it but for a DLL that brings its own entropy and sockets, as
# static archives for i686-w64-mingw32. Built once into a cache folder; run
# again, it finds the cache and does nothing (and needs no network).
#
#   mbedtls_mingw.sh           build unless the cache is complete
#   mbedtls_mingw.sh --check   exit 0 if the cache is complete, 1 if not
#   mbedtls_mingw.sh --path    print the cache folder
#
# KW_MBEDTLS_MINGW names the cache folder; by default it is
# ${XDG_CACHE_HOME:-$HOME/.cache}/kwitomat/mbedtls-<version>-i686-w64-mingw32,
# the folder the Windows build looks in unless given -DKW_MBEDTLS_MINGW.
set -uo pipefail
say() { echo "mbedtls_mingw: $*" >&2; }
die() { say "$*"; exit 1; }

here=$(cd "$(dirname "$0")" && pwd)
toolchain=$here/../cmake/mingw-i686.cmake
target=i686-w64-mingw32
suite=bookworm
keyring=/usr/share/keyrings/debian-archive-keyring.gpg

# Applied after Debian's own choices (which debian/rules makes the same way).
our_config=(
  # Its Windows source would import ADVAPI32 into the DLL; the DLL adds its own.
  "set MBEDTLS_NO_PLATFORM_ENTROPY"
  # The DLL has its own socket layer; net_sockets.c would import ws2_32.
  "unset MBEDTLS_NET_C"
  # HAVEGE needs the timer, and would otherwise count as a strong entropy
  # source beside ours; only DTLS timers use the timer otherwise.
  "unset MBEDTLS_HAVEGE_C"
  "unset MBEDTLS_TIMING_C"
)
cmake_options=(
  -DCMAKE_BUILD_TYPE=Release -DENABLE_PROGRAMS=OFF -DENABLE_TESTING=OFF
  -DUSE_STATIC_MBEDTLS_LIBRARY=ON -DUSE_SHARED_MBEDTLS_LIBRARY=OFF -DLIB_INSTALL_DIR=lib
  # Deterministic archives: no timestamps, owners or modes in them.
  "-DCMAKE_C_ARCHIVE_CREATE=<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>"
  "-DCMAKE_C_ARCHIVE_APPEND=<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>"
  "-DCMAKE_C_ARCHIVE_FINISH=<CMAKE_RANLIB> -D <TARGET>"
)
libraries=(libmbedtls.a libmbedx509.a libmbedcrypto.a)

version=$(dpkg-query -W -f='${Version}' libmbedtls-dev 2>/dev/null)
if [ -z "$version" ]; then
  die "libmbedtls-dev is not installed; its version says which Mbed TLS to build (run 'bash scripts/setup.sh')"
fi
dest=${KW_MBEDTLS_MINGW:-${XDG_CACHE_HOME:-$HOME/.cache}/kwitomat/mbedtls-$(printf '%s' "$version" | tr -c 'A-Za-z0-9.+-' '_')-$target}
dest=${dest%/}
case $dest in /*) ;; *) dest=$PWD/$dest ;; esac

compiler() { sed -n 's/^ *set(CMAKE_C_COMPILER  *\([^ )]*\).*/\1/p' "$toolchain"; }

# What the cache was built from, beyond the version: our choices, the
# toolchain and the compiler's version. A change to any of them rebuilds.
recipe_hash() {
  {
    printf 'config %s\n' "${our_config[@]}"
    printf 'cmake %s\n' "${cmake_options[@]}"
    cat "$toolchain"
    "$(compiler)" --version | head -n 1
  } 2>/dev/null | sha256sum | cut -d' ' -f1
}

marker() {
  printf 'version=%s\nrecipe=%s\nconfig.h=%s\n' "$version" "$(recipe_hash)" \
    "$(sha256sum < "$1/include/mbedtls/config.h" | cut -d' ' -f1)"
}

complete() {
  local lib
  [ -f "$dest/.complete" ] && [ -f "$dest/include/mbedtls/config.h" ] || return 1
  for lib in "${libraries[@]}"; do [ -f "$dest/lib/$lib" ] || return 1; done
  [ "$(cat "$dest/.complete")" = "$(marker "$dest")" ]
}

case ${1:-} in
  --check) complete; exit ;;
  --path) echo "$dest"; exit 0 ;;
  "") ;;
  *) die "unknown argument '$1' (use --check, --path or nothing)" ;;
esac

parent=$(dirname "$dest")
name=$(basename "$dest")
mkdir -p "$parent" || die "cannot create the folder $parent"
# Two set-ups at once build it once: the second waits and finds the cache.
exec 9> "$parent/.$name.lock"
flock 9 || die "cannot lock $parent/.$name.lock"
if complete; then
  say "Mbed TLS $version for $target is already built in $dest; nothing to do"
  exit 0
fi
# What an interrupted build left; under the lock no other build is running.
rm -rf "$parent/.$name.tmp."* "$parent/.$name.old"
if [ -e "$dest" ] && [ ! -f "$dest/.complete" ] && [ -n "$(ls -A "$dest" 2>/dev/null)" ]; then
  die "$dest holds something other than an earlier build of Mbed TLS; move it away or set KW_MBEDTLS_MINGW to another folder"
fi

started=$(date +%s)
work=$(mktemp -d "${TMPDIR:-/tmp}/kw-mbedtls.XXXXXX") || die "cannot create a temporary folder"
staging=$(mktemp -d "$parent/.$name.tmp.XXXXXX") || die "cannot create a folder in $parent"
trap 'rm -rf "$work" "$staging" "$parent/.$name.old"' EXIT
trap 'exit 1' INT TERM HUP
log=$work/log
show_log() { grep -E "${1:-.}" "$log" | tail -n 40 | sed 's/^/mbedtls_mingw:   /' >&2; }

# The machine's own mirrors for this release, as source indexes; apt's state
# and caches for them live in the temporary folder, so the machine's package
# sources, lists and caches stay as they are.
mirrors() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN { RS = ""; FS = "\n" }
      { types = ""; uris = ""; suites = ""; enabled = "yes"
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^#/) continue
          split($i, kv, ":"); key = tolower(kv[1]); value = substr($i, length(kv[1]) + 2)
          if (key == "types") types = value
          else if (key == "uris") uris = value
          else if (key == "suites") suites = value
          else if (key == "enabled") enabled = value
        }
        if (enabled ~ /no/ || (" " types " ") !~ /[ \t]deb[ \t]/) next
        n = split(uris, u, /[ \t]+/); m = split(suites, s, /[ \t]+/)
        for (i = 1; i <= n; i++) for (j = 1; j <= m; j++) if (u[i] != "" && s[j] != "") print u[i], s[j]
      }' "$f"
  done
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    sed -e 's/#.*//' -e 's/\[[^]]*\]//' | awk '$1 == "deb" { print $2, $3 }'
}
mirrors | awk -v s="$suite" '$2 == s || $2 == s "-updates" || $2 == s "-security" { sub("/*$", "", $1); print $1, $2 }' |
  sort -u > "$work/mirrors"
grep -q " $suite\$" "$work/mirrors" || echo "http://deb.debian.org/debian $suite" >> "$work/mirrors"
while read -r uri dist; do
  echo "deb-src [signed-by=$keyring] $uri $dist main"
done < "$work/mirrors" > "$work/sources.list"

mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/parts" "$work/download"
# Read after the machine's configuration: its hooks after an index update
# (software catalogues, package managers' caches) must not run for ours.
cat > "$work/apt.conf" <<EOF
Dir::Etc::SourceList "$work/sources.list";
Dir::Etc::SourceParts "$work/parts";
Dir::State::Lists "$work/lists";
Dir::Cache "$work/cache";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
Acquire::Languages "none";
#clear APT::Update::Pre-Invoke;
#clear APT::Update::Post-Invoke;
#clear APT::Update::Post-Invoke-Success;
EOF
# Run as root, apt downloads as its own unprivileged user.
chmod 755 "$work"
if [ "$(id -u)" = 0 ] && id _apt >/dev/null 2>&1; then chown _apt "$work/download"; fi
apt_tmp() { apt-get -q -c "$work/apt.conf" "$@"; }

# The source files of the versions Debian 12 has shipped, with the SHA-256
# sums its signed source index gave for them: used only when that index or
# apt's fetch cannot be had (a mirror in the middle of a sync), each file
# taken from a mirror's pool and checked against its sum by apt's own helper.
pinned_sources() {
  case $1 in
    2.28.3-1) printf '%s\n' \
      "mbedtls_2.28.3-1.dsc a8bf91b5ffb40654efb0ebe0c962ac1e87b8eed5e104880982eaa70dd4bb33e3" \
      "mbedtls_2.28.3.orig.tar.gz 3b4953aa55a681e084d31892d9904cc5328d6b4958ea57b90ae4b4f94ae69a8d" \
      "mbedtls_2.28.3-1.debian.tar.xz 3e03c61f63c7bbcd0bf695b53e6663ab448cc2e15429cd67d0e4f32e699645a9" ;;
  esac
}

fetch_pinned() {
  local files uri file sum ok
  files=$(pinned_sources "$version")
  [ -n "$files" ] || return 1
  for uri in $(cut -d' ' -f1 "$work/mirrors" | sort -u); do
    ok=true
    while read -r file sum; do
      /usr/lib/apt/apt-helper download-file "$uri/pool/main/m/mbedtls/$file" "$work/download/$file" "SHA256:$sum" \
        >> "$log" 2>&1 || { ok=false; break; }
    done <<< "$files"
    $ok && return 0
    rm -f "$work"/download/*
  done
  return 1
}

# Falls back to the pinned files; false when there are none or they cannot be had either.
fallback() {
  say "trying the source files of mbedtls $version straight from the mirror's pool, checked against SHA-256 sums read from Debian's signed index"
  : > "$log"
  if fetch_pinned; then
    say "warning: Debian's source index could not be used; the source files came from the pool and match their known SHA-256 sums"
    return 0
  fi
  show_log '^(E|W|Err):'
  return 1
}

say "fetching the source index of $suite from $(cut -d' ' -f1 "$work/mirrors" | sort -u | xargs)"
apt_tmp update > "$log" 2>&1
update_status=$?
fetched=false
if ! ls "$work"/lists/*_"$suite"_main_source_Sources* >/dev/null 2>&1; then
  say "could not fetch the package index of Debian's sources. apt said:"
  show_log '^(E|W|Err):'
  fallback || die "check the network and the mirror, then run this again"
  fetched=true
elif [ "$update_status" != 0 ]; then
  # The release's own index is there; the source is most likely in it.
  say "warning: not every source index could be fetched:"
  show_log '^(E|W|Err):'
fi

if ! $fetched; then
  say "fetching the source of mbedtls $version"
  if ! (cd "$work/download" && apt_tmp source --download-only "mbedtls=$version") > "$log" 2>&1; then
    say "could not fetch Debian's source package mbedtls=$version. apt said:"
    show_log '^(E|W|Err):'
    fallback ||
      die "the package index may not list this version (is libmbedtls-dev from another release?); check the network, then run this again"
  fi
fi
dsc=$(ls "$work"/download/mbedtls_*.dsc 2>/dev/null | head -n 1)
src=$work/src/mbedtls
mkdir -p "$work/src"
# apt has checked the files against the index signed by the archive key; the
# uploader's own signature needs debian-keyring, which is not installed.
if [ -z "$dsc" ] || ! dpkg-source -x "$dsc" "$src" > "$log" 2>&1; then
  say "could not unpack the source package:"
  show_log
  exit 1
fi

say "configuring Mbed TLS as Debian does, without platform entropy, sockets and timer"
debian_config=()
while read -r op option; do debian_config+=("$op $option"); done < <(
  sed -n 's/^[[:space:]]*scripts\/config\.py[[:space:]]\{1,\}\(set\|unset\)[[:space:]]\{1,\}\([A-Z0-9_]\{1,\}\)[[:space:]]*$/\1 \2/p' "$src/debian/rules")
[ ${#debian_config[@]} -gt 0 ] ||
  die "found no 'scripts/config.py set|unset' lines in debian/rules; Debian's way of configuring it has changed, so this script must be looked at"
for change in "${debian_config[@]}" "${our_config[@]}"; do
  # shellcheck disable=SC2086
  (cd "$src" && python3 scripts/config.py -f include/mbedtls/config.h $change) > "$log" 2>&1 ||
    { say "scripts/config.py $change failed:"; show_log; exit 1; }
done

say "building the static libraries for $target"
build=$work/build
# The folders' own names stay out of the objects, so any two builds match.
flags="-ffile-prefix-map=$src=mbedtls -ffile-prefix-map=$build=."
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if ! cmake -S "$src" -B "$build" "${generator[@]}" --toolchain "$toolchain" "${cmake_options[@]}" \
       -DCMAKE_C_FLAGS="$flags" -DCMAKE_INSTALL_PREFIX="$staging" > "$log" 2>&1; then
  say "configuring the build with CMake failed:"; show_log; exit 1
fi
if ! cmake --build "$build" > "$log" 2>&1; then
  say "building Mbed TLS failed:"; show_log; exit 1
fi
if ! cmake --install "$build" > "$log" 2>&1; then
  say "installing Mbed TLS into $staging failed:"; show_log; exit 1
fi
for lib in "${libraries[@]}"; do
  [ -f "$staging/lib/$lib" ] || die "the build made no $lib"
done
# A configuration that let them back in would tie the DLL to ADVAPI32 or ws2_32.
undefined=$("$target-nm" -u "${libraries[@]/#/$staging/lib/}") || die "cannot list the libraries' symbols with $target-nm"
imports=$(grep -oE '_(Crypt[A-Za-z]*|WSA[A-Za-z]*|socket|closesocket|connect|getaddrinfo|select|recv|send)@[0-9]+' <<< "$undefined" | sort -u)
[ -z "$imports" ] || die "the libraries still call Windows' crypto or socket functions: $(tr '\n' ' ' <<< "$imports")"

marker "$staging" > "$staging/.complete"
chmod 755 "$staging"
if [ -e "$dest" ]; then
  mv -T "$dest" "$parent/.$name.old" || die "cannot move the earlier build $dest aside"
fi
mv -T "$staging" "$dest" || die "cannot move the build into $dest"
say "built Mbed TLS $version for $target into $dest in $(( $(date +%s) - started )) s"
say "the Windows build finds it through the CMake cache variable KW_MBEDTLS_MINGW=$dest"
