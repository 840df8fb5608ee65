#!/usr/bin/env bash
# Installs everything the project needs to build, run and test on Debian 12. Run as root.
set -euo pipefail
packages=(
  # build
  build-essential cmake pkg-config
  qtbase5-dev qtbase5-dev-tools
  libzip-dev libdeflate-dev zlib1g-dev libssl-dev
  # fonts so the Chinese window texts render; Qt's own dialog texts in Chinese
  fonts-wqy-microhei qttranslations5-l10n
  # the Debian package and its checks
  dpkg-dev file desktop-file-utils appstream man-db
  # tests: Windows cross compile, sanitizers and fuzzing, screenshots, independent readers
  g++-mingw-w64-x86-64 clang-14 libclang-rt-14-dev clang-format-14
  xvfb x11-apps imagemagick xdg-utils
  python3 python3-openpyxl python3-xlsxwriter libreoffice-calc-nogui
  python3-xlrd python3-xlwt python3-olefile
  # peak memory of a child alone
  time
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
