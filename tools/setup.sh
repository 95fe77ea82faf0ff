#!/usr/bin/env bash
# Installs, when missing, everything the build, the tests and the demo need,
# from Debian's packages only. Idempotent and quiet when all is present.
#
# Usage: tools/setup.sh
#        tools/setup.sh --i386-emulator   only the emulator that runs 32-bit Wine's
#                                         i386 loader where the kernel runs no
#                                         32-bit code; prints its path
# Env:   DEPS_CACHE  where JsonCpp for the target is built and the emulator kept
#                    (default ~/.cache/drel-launcher-deps)
set -euo pipefail

DEPS_CACHE=${DEPS_CACHE:-$HOME/.cache/drel-launcher-deps}
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

# Sets private_apt: apt-get options for a private copy of the machine's own
# package sources (whatever mirror it uses), with private lists and cache in
# WORK, so apt's configuration and the machine's package lists stay as they
# were. TYPE is the entries' type in the copy (deb or deb-src); with SUITE,
# only the entries of the machine's own release are kept, renamed to SUITE
# (bookworm, bookworm-updates, bookworm-security -> SUITE...).
private_apt_sources() {
  local work=$1 type=$2 suite=${3:-} own f
  own=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/sources.list.d"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v type="$type" -v own="$own" -v suite="$suite" '
      $1 != "deb" { next }
      { i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }; i++ }  # the suite, after options and URI
      suite != "" { if ($i !~ "^" own "(-|$)") next; sub("^" own, suite, $i) }
      { $1 = type; print }' "$f"
  done > "$work/sources.list"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v type="$type" -v own="$own" -v suite="$suite" '
      BEGIN { RS = ""; ORS = "\n\n"; FS = "\n" }
      {
        out = ""; keep = (suite == "")
        for (i = 1; i <= NF; i++) {
          line = $i
          if (line ~ /^Types:/) line = "Types: " type
          if (suite != "" && line ~ /^Suites:/) {
            n = split(substr(line, 8), s, /[ \t]+/); line = "Suites:"
            for (j = 1; j <= n; j++) if (s[j] ~ "^" own "(-|$)") { sub("^" own, suite, s[j]); line = line " " s[j]; keep = 1 }
          }
          out = out line "\n"
        }
        if (keep) print out
      }' "$f" > "$work/sources.list.d/$(basename "$f")"
  done
  private_apt=(-o APT::Sandbox::User=root -o "Dir::Etc::SourceList=$work/sources.list"
               -o "Dir::Etc::SourceParts=$work/sources.list.d" -o "Dir::State::Lists=$work/lists"
               -o "Dir::Cache=$work/cache" -o Debug::NoLocking=1)
}

# The emulator for 32-bit Wine's i386 loader: qemu-i386 8.1 or later (Debian
# 12's 7.2 ignores MAP_FIXED_NOREPLACE, and every 32-bit Wine start then takes
# about 50 s). Debian 13's qemu-user package has a static one: that one package
# is downloaded from the machine's own Debian mirror with the suite named
# trixie, the binary taken out and kept in the dependency cache; nothing of
# Debian 13 is installed.
i386_emulator() {
  local dir="$DEPS_CACHE/qemu-i386"
  if [ -x "$dir/qemu-i386" ] && qemu_new_enough "$dir/qemu-i386"; then
    echo "$dir/qemu-i386"
    return 0
  fi
  echo "setup: fetching qemu-i386 (Debian 13's qemu-user) into $dir" >&2
  local work="$DEPS_CACHE/qemu-user-fetch"
  rm -rf "$work" && mkdir -p "$work"
  private_apt_sources "$work" deb trixie
  apt-get "${private_apt[@]}" update -qq >&2
  (cd "$work" && apt-get "${private_apt[@]}" download -qq qemu-user >&2)
  mkdir -p "$dir"
  dpkg-deb --fsys-tarfile "$work"/qemu-user_*.deb | tar -x -O ./usr/bin/qemu-i386 > "$dir/qemu-i386.new"
  chmod 755 "$dir/qemu-i386.new"
  if ! qemu_new_enough "$dir/qemu-i386.new"; then
    echo "setup: the qemu-i386 fetched is older than 8.1: $("$dir/qemu-i386.new" --version | head -n1)" >&2
    rm -rf "$work" "$dir/qemu-i386.new"
    return 1
  fi
  mv "$dir/qemu-i386.new" "$dir/qemu-i386"
  rm -rf "$work"
  echo "$dir/qemu-i386"
}

qemu_new_enough() {
  local v
  v=$("$1" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
  [ -n "$v" ] && set -- $v && { [ "$1" -gt 8 ] || { [ "$1" -eq 8 ] && [ "$2" -ge 1 ]; }; }
}

if [ "${1:-}" = --i386-emulator ]; then
  i386_emulator
  exit
fi

# Debian packages the project needs, and one file each that proves it is installed.
declare -A NEED=(
  # Both architectures are built on every machine (cmake/mingw-ARCH.cmake);
  # zlib for both comes in one package.
  [g++-mingw-w64-i686-posix]=/usr/bin/i686-w64-mingw32-g++-posix
  [gcc-mingw-w64-i686-posix]=/usr/bin/i686-w64-mingw32-gcc-posix
  [binutils-mingw-w64-i686]=/usr/bin/i686-w64-mingw32-windres
  [g++-mingw-w64-x86-64-posix]=/usr/bin/x86_64-w64-mingw32-g++-posix
  [gcc-mingw-w64-x86-64-posix]=/usr/bin/x86_64-w64-mingw32-gcc-posix
  [binutils-mingw-w64-x86-64]=/usr/bin/x86_64-w64-mingw32-windres
  [libz-mingw-w64-dev]=/usr/i686-w64-mingw32/lib/libz.a
  # 32-bit Wine runs the players' build where the machine runs 32-bit code;
  # wine64 runs the x86-64 build everywhere (tests/wine/wine-env.sh picks).
  [wine32:i386]=/usr/lib/wine/wine
  [wine64]=/usr/lib/wine/wine64
  [wine]=/usr/bin/wine
  [xvfb]=/usr/bin/Xvfb
  [xauth]=/usr/bin/xauth
  [x11-apps]=/usr/bin/xwd
  [xdotool]=/usr/bin/xdotool
  [imagemagick]=/usr/bin/convert-im6.q16
  [nginx]=/usr/sbin/nginx
  [fonts-wqy-microhei]=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
  [googletest]=/usr/src/googletest/CMakeLists.txt
  [cmake]=/usr/bin/cmake
  [ninja-build]=/usr/bin/ninja
  [curl]=/usr/bin/curl
  # The x86-64 twin's suite runs beside the 32-bit one in a network of its own.
  [iproute2]=/usr/sbin/ip
  [python3-pil]=/usr/lib/python3/dist-packages/PIL/__init__.py
  # The packer's list signing.
  [python3-cryptography]=/usr/lib/python3/dist-packages/cryptography/__init__.py
  # The packer builds its host chunk tool from util/ContentChunker.cpp.
  [g++]=/usr/bin/g++
  # Wine's bcrypt does ECDSA (the launcher's list verification) through GnuTLS,
  # which wine32 and wine64 only recommend.
  [libgnutls30:i386]=/usr/lib/i386-linux-gnu/libgnutls.so.30
  [libgnutls30]=/usr/lib/x86_64-linux-gnu/libgnutls.so.30
  # The executables' shape check (machine, subsystem, imports, version resource).
  [python3-pefile]=/usr/lib/python3/dist-packages/pefile.py
  [dpkg-dev]=/usr/bin/dpkg-source
  [locales]=/usr/sbin/locale-gen
  [xcompmgr]=/usr/bin/xcompmgr
  # The update benchmark's native baseline is a host C program using zlib
  # (and nettle's MD5 for the line with the launcher's checks).
  [gcc]=/usr/bin/gcc
  [zlib1g-dev]=/usr/include/zlib.h
  [nettle-dev]=/usr/include/nettle/md5.h
)

missing=()
for pkg in "${!NEED[@]}"; do
  [ -e "${NEED[$pkg]}" ] || missing+=("$pkg")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  # Packages such as nginx start a system-wide service when installed; the
  # project runs its own servers. A policy that forbids starting services
  # holds for this install alone, and only when the machine has none of its own.
  policy=/usr/sbin/policy-rc.d
  own_policy=""
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\n# tools/setup.sh: no service starts while it installs packages.\nexit 101\n' | $SUDO tee "$policy" >/dev/null
    $SUDO chmod 755 "$policy"
    own_policy=1
    trap '$SUDO rm -f "$policy"' EXIT
  fi
  nginx_was_active=""
  if command -v systemctl >/dev/null && systemctl is-active -q nginx 2>/dev/null; then nginx_was_active=1; fi
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  if [ -n "$own_policy" ]; then
    $SUDO rm -f "$policy"
    trap - EXIT
  elif [ -z "$nginx_was_active" ] && command -v systemctl >/dev/null && systemctl is-active -q nginx 2>/dev/null; then
    # The machine's own policy let the package start its service: stop that
    # service, the one the install started, and nothing else.
    $SUDO systemctl stop nginx || true
  fi
fi

# Wine runs with the players' code page 936, which needs the zh_CN.UTF-8 locale;
# one end-to-end test runs under code page 1252 (en_US.UTF-8), like an English Windows.
for loc in zh_CN en_US; do
  if ! locale -a 2>/dev/null | grep -qix "$loc.utf8"; then
    echo "setup: generating the $loc.UTF-8 locale"
    $SUDO localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
  fi
done

# JsonCpp for each target architecture, built from Debian's source package into
# a cache outside the tree, one folder per architecture.
for arch in i686 x86_64; do
  JSONCPP_PREFIX="$DEPS_CACHE/jsoncpp-$arch"
  [ -f "$JSONCPP_PREFIX/lib/libjsoncpp.a" ] && continue
  echo "setup: building JsonCpp for $arch-w64-mingw32 in $JSONCPP_PREFIX"
  work="$DEPS_CACHE/jsoncpp-src-$arch"
  rm -rf "$work" && mkdir -p "$work/src"
  # The source package comes from the machine's own package sources, with
  # deb-src turned on only for this one fetch.
  private_apt_sources "$work" deb-src
  apt-get "${private_apt[@]}" update -qq
  (cd "$work/src" && apt-get "${private_apt[@]}" source -qq --download-only libjsoncpp >/dev/null \
     && dpkg-source -x --no-check libjsoncpp_*.dsc jsoncpp >/dev/null)
  cmake -S "$work/src/jsoncpp" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$(cd "$(dirname "$0")/.." && pwd)/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$JSONCPP_PREFIX" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF \
    -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
    -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=ON >/dev/null
  cmake --build "$work/build" >/dev/null
  cmake --install "$work/build" >/dev/null
  rm -rf "$work"
done
