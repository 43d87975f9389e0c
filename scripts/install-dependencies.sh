#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, only those that are missing.
#   scripts/install-dependencies.sh           the Linux build and the Python package
#   scripts/install-dependencies.sh windows   the Windows build as well: the MinGW-w64 cross
#                                             compiler (posix threads), Wine to run the tests,
#                                             and the GoogleTest sources it builds them with
set -euo pipefail
# (kzctl: CLI11 for its command line, the HDF5 C library for its scan files, h5dump to look at them)
packages=(cmake ninja-build g++ binutils libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev libhdf5-dev hdf5-tools)
# clang and its runtime libraries build the fuzz targets (libFuzzer); libtsan2 is g++'s
# ThreadSanitizer runtime.
packages+=(clang libclang-rt-14-dev libtsan2)
# the Python package (xavokz), its plots and scan files, and its tests, for the system's python3
packages+=(python3-numpy python3-matplotlib python3-h5py python3-pytest)
windows_packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 googletest)
for set in "$@"; do
  case "$set" in
    windows) packages+=("${windows_packages[@]}") ;;
    *) echo "unknown package set: $set (known: windows)" >&2; exit 2 ;;
  esac
done
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
