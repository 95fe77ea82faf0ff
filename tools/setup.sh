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
  [g++-mingw-w64-i686-posix]=/usr/bin/i686-w64-mingw32-g++-posix
  [gcc-mingw-w64-i686-posix]=/usr/bin/i686-w64-mingw32-gcc-posix
  [binutils-mingw-w64-i686]=/usr/bin/i686-w64-mingw32-windres
  [libz-mingw-w64-dev]=/usr/i686-w64-mingw32/lib/libz.a
  [wine32:i386]=/usr/lib/wine/wine
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
  [dpkg-dev]=/usr/bin/dpkg-source
  [locales]=/usr/sbin/locale-gen
  [xcompmgr]=/usr/bin/xcompmgr
  # The update benchmark's native baseline is a host C program using zlib.
  [gcc]=/usr/bin/gcc
  [zlib1g-dev]=/usr/include/zlib.h
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
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  # nginx's package starts a system-wide server on port 80; the project runs its own.
  if command -v systemctl >/dev/null && systemctl is-active -q nginx 2>/dev/null; then
    $SUDO systemctl stop nginx || true
  fi
  $SUDO pkill -x nginx 2>/dev/null || true
fi

# Wine runs with the players' code page 936, which needs the zh_CN.UTF-8 locale.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  echo "setup: generating the zh_CN.UTF-8 locale"
  $SUDO localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

# JsonCpp for the target, built from Debian's source package into a cache outside the tree.
JSONCPP_PREFIX="$DEPS_CACHE/jsoncpp-i686"
if [ ! -f "$JSONCPP_PREFIX/lib/libjsoncpp.a" ]; then
  echo "setup: building JsonCpp for i686-w64-mingw32 in $JSONCPP_PREFIX"
  work="$DEPS_CACHE/jsoncpp-src"
  rm -rf "$work" && mkdir -p "$work/lists/partial" "$work/src"
  # deb-src is enabled only for this one fetch, in a private source list and list cache,
  # so the machine's apt configuration is left as it was.
  list="$work/sources.list"
  echo "deb-src http://deb.debian.org/debian bookworm main" > "$list"
  aptopts=(-o APT::Sandbox::User=root -o "Dir::Etc::SourceList=$list" -o "Dir::Etc::SourceParts=-" -o "Dir::State::Lists=$work/lists")
  apt-get "${aptopts[@]}" update -qq
  (cd "$work/src" && apt-get "${aptopts[@]}" source -qq --download-only libjsoncpp >/dev/null \
     && dpkg-source -x --no-check libjsoncpp_*.dsc jsoncpp >/dev/null)
  cmake -S "$work/src/jsoncpp" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$(cd "$(dirname "$0")/.." && pwd)/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$JSONCPP_PREFIX" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF \
    -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
    -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=ON >/dev/null
  cmake --build "$work/build" >/dev/null
  cmake --install "$work/build" >/dev/null
  rm -rf "$work"
fi
