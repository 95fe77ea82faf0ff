#!/usr/bin/env bash
# Installs, when missing, everything the build, the tests and the demo need,
# from Debian's packages only. Idempotent and quiet when all is present.
#
# Usage: tools/setup.sh
# Env:   DEPS_CACHE  where JsonCpp for the target is built (default ~/.cache/drel-launcher-deps)
set -euo pipefail

DEPS_CACHE=${DEPS_CACHE:-$HOME/.cache/drel-launcher-deps}
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

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
  rm -rf "$work" && mkdir -p "$work/lists/partial" "$work/src"
  # The source package comes from the machine's own package sources (whatever
  # mirror it uses), with deb-src turned on only for this one fetch: a private
  # copy of its source lists and a private list cache leave apt as it was.
  list="$work/sources.list"
  parts="$work/sources.list.d"
  mkdir -p "$parts"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && sed -n 's/^[[:space:]]*deb\([[:space:]]\)/deb-src\1/p' "$f"
  done > "$list"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" > "$parts/$(basename "$f")"
  done
  aptopts=(-o APT::Sandbox::User=root -o "Dir::Etc::SourceList=$list" -o "Dir::Etc::SourceParts=$parts"
           -o "Dir::State::Lists=$work/lists")
  apt-get "${aptopts[@]}" update -qq
  (cd "$work/src" && apt-get "${aptopts[@]}" source -qq --download-only libjsoncpp >/dev/null \
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
