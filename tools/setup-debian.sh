#!/usr/bin/env bash
# Installs every tool the build and the tests need on a fresh Debian 12 machine.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  g++ cmake ninja-build make python3 pkg-config libusb-1.0-0-dev \
  umockdev libumockdev-dev gir1.2-umockdev-1.0 \
  libgtest-dev libgmock-dev googletest libbenchmark-dev \
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev \
  wine wine64 fonts-wine xvfb xauth \
  pngcheck \
  clang-14 libclang-rt-14-dev libpng-dev libopencv-dev
