#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Safe to run again:
# it does nothing when everything is already there.
set -euo pipefail

# wine64 and the x86_64 cross compiler serve hosts whose kernel cannot run 32-bit programs:
# there the Windows tests run on the 64-bit build of the same sources.
pkgs=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
      wine wine32:i386 wine64 fonts-wine xvfb xauth x11-apps imagemagick locales fonts-ipafont-gothic
      cmake ninja-build g++ googletest libgtest-dev libbenchmark-dev clang-format
      clang libclang-rt-14-dev python3 libpng-dev zlib1g-dev libjpeg62-turbo-dev
      libgif-dev)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  # A mirror in the middle of a sync fails one index now and then: try again, and in the end go
  # on with what was fetched, since the install itself says clearly what it cannot find.
  for attempt in 1 2 3; do
    $SUDO apt-get update -q && break
    echo "setup: apt-get update failed (attempt $attempt)"
    sleep $((attempt * 5))
  done
  # A fresh machine's automatic updates may hold dpkg's lock for a while: wait for it.
  if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q -o DPkg::Lock::Timeout=600 --no-install-recommends "${missing[@]}"; then
    # 32-bit Wine needs its i386 libraries at the versions of their 64-bit twins, which a
    # mirror without the i386 index of an update cannot give: go on without them, and the
    # Windows tests run on the 64-bit build (scripts/wine-arch.sh says which).
    rest=()
    for p in "${missing[@]}"; do
      [[ $p == *:i386 ]] || rest+=("$p")
    done
    echo "setup: installing without the i386 packages"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q -o DPkg::Lock::Timeout=600 --no-install-recommends "${rest[@]}"
  fi
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "setup: generating the ja_JP.UTF-8 locale"
  $SUDO sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen
fi
