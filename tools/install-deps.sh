#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the fixture builders need,
# skipping those already present. Needs root, or sudo.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  libblkid-dev libmount-dev libutf8proc-dev
  nlohmann-json3-dev libzip-dev
  libgtest-dev libgmock-dev
  zstd strace python3
  libfuse3-dev fuse3
  dosfstools mtools fdisk exfatprogs e2fsprogs
  qt6-base-dev
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
