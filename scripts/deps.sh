#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and `make run` need, when they are missing.
# Usage: scripts/deps.sh [build|run|package|fuzz]
set -euo pipefail

# nftables: the tests that make a path die silently inside a network namespace of their own.
# libsystemd-dev: the service's notifications to systemd; python3-prometheus-client: the tests
# read the metrics file with Prometheus's own parser; systemd: systemd-analyze checks the unit.
# libxcb1-dev, xvfb: the tests that drive the installed program's window on an X server of their own.
packages=(cmake ninja-build g++ make qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core iproute2 nftables
    libsodium-dev pkg-config minisign openssl libsystemd-dev python3-prometheus-client systemd
    desktop-file-utils libxcb1-dev xvfb)
case ${1:-build} in
run) packages+=(xvfb imagemagick x11-utils) ;;
# CPack's Debian generator: dpkg-shlibdeps for the dependencies, file to find the executables.
package) packages+=(dpkg-dev file) ;;
package-check) packages+=(lintian appstream desktop-file-utils) ;;
# libFuzzer is clang's: the compiler and its runtime libraries.
fuzz) packages+=(clang libclang-rt-14-dev) ;;
format) packages+=(clang-format) ;;
esac

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
echo "deps: installing ${missing[*]}"
# A fresh machine has stale package lists.
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
