#!/usr/bin/env bash
# package.sh — installs what is missing, makes a release build and the Debian package
# tessaromandel_<version>_<arch>.deb in the current folder. Run as root on Debian 12.
# BUILD_DIR may be set (default: build-package beside the sources).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build-package}

bash "$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$(nproc)" --target Tessaromandel tessaromandel-cli theme_icons
# Only the installed programs are built: the package needs no tests.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$PWD"
rm -rf "$PWD/_CPack_Packages"
