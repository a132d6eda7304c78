#!/bin/sh
# Installs the Debian packages the build needs, when they are missing.
set -e
need=""
for pkg in cmake g++ make pkgconf libgtest-dev libbenchmark-dev libicu-dev pybind11-dev python3-dev clang; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need="$need $pkg"
done
[ -z "$need" ] && exit 0
echo "installing:$need"
if [ "$(id -u)" != 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq $need > /dev/null
