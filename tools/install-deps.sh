#!/bin/sh
# Installs the Debian packages the build needs, when they are missing.
#
#   sh tools/install-deps.sh        everything: every build and test
#   sh tools/install-deps.sh demo   only what the command line needs
#
# A new user's first command is the demo; it should not wait for Wine,
# the cross compilers, a browser and a cluster it never uses.
set -e
profile=${1:-all}
case $profile in
  all|demo) ;;
  *) echo "usage: install-deps.sh [all|demo]" >&2; exit 2 ;;
esac
if [ "$(id -u)" != 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive

# Prints those of the named packages that are not installed.
missing_packages() {
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null |
      grep -q "install ok installed" || printf ' %s' "$pkg"
  done
}

# Installs the named packages; the package lists are updated before the
# first install of a run.
apt_updated=
install_packages() {
  echo "installing:$*"
  if [ -z "$apt_updated" ]; then
    # A mirror caught mid-sync fails one index while the others load;
    # the install below says clearly if what it needs is really missing.
    $SUDO apt-get update -qq ||
      echo "install-deps: some package lists did not update; trying anyway" >&2
    apt_updated=1
  fi
  # shellcheck disable=SC2086
  $SUDO apt-get install -y -qq "$@" > /dev/null
}

# The command line alone: gzip-compressed CSV files, and SQLite for the
# persisted index of `vexlor index` and `vexlor serve`.
need=$(missing_packages cmake g++ make libicu-dev zlib1g-dev libsqlite3-dev)
# shellcheck disable=SC2086
[ -z "$need" ] || install_packages $need
[ "$profile" = demo ] && exit 0

# The rest of the Linux build: tests, benchmarks, the Python module, the
# fuzz targets and the format check.
need=$(missing_packages pkgconf libgtest-dev libbenchmark-dev \
  pybind11-dev python3-dev clang clang-format)
# shellcheck disable=SC2086
[ -z "$need" ] || install_packages $need

# The Windows cross build: mingw-w64 with the posix thread model (the win32
# model has no std::thread), and Wine for both architectures to run its
# tests, which takes the i386 architecture for wine32. The type library's
# IDL imports the system IDL files, which come with Wine's development
# files.
need=$(missing_packages g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix \
  mingw-w64-tools binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 \
  wine wine32 wine64 libwine-dev)
if [ -n "$need" ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    apt_updated=
  fi
  # shellcheck disable=SC2086
  install_packages $need
fi

# A German numeric locale (decimal comma) for the tests that check that
# numbers read and print the same under it; without it they are skipped.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\{0,1\}8'; then
  need=$(missing_packages locales)
  # shellcheck disable=SC2086
  [ -z "$need" ] || install_packages $need
  if grep -q '^# *de_DE\.UTF-8 UTF-8' /etc/locale.gen; then
    $SUDO sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  elif ! grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen > /dev/null
  fi
  $SUDO locale-gen > /dev/null
fi

# The tests of the control's windows run the Windows programs on a virtual
# display.
need=$(missing_packages xvfb xauth)
# shellcheck disable=SC2086
[ -z "$need" ] || install_packages $need

# The Python module's DataFrame layer and its tests: pandas and tqdm for
# Debian's interpreter, and pip with venv for `pip install .`.
need=$(missing_packages python3-pandas python3-tqdm python3-setuptools \
  python3-venv python3-pip)
# shellcheck disable=SC2086
[ -z "$need" ] || install_packages $need

# `vexlor review`: a local web server and JSON for the command, and a
# browser that its page test drives headless.
need=$(missing_packages libcpp-httplib-dev nlohmann-json3-dev chromium)
# shellcheck disable=SC2086
[ -z "$need" ] || install_packages $need

# vexlor.distributed and `vexlor dupes --workers/--scheduler`: Dask's
# scheduler and workers for Debian's interpreter.
need=$(missing_packages python3-dask python3-distributed)
# shellcheck disable=SC2086
[ -z "$need" ] || install_packages $need
