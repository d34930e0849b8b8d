#!/usr/bin/env bash
# Installs what Vellumin needs to build, run and test on Debian 12.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends \
  cmake ninja-build g++ clang libclang-rt-14-dev freeglut3-dev libglew-dev libglu1-mesa-dev libgl-dev libegl-dev \
  libgl1-mesa-dri libegl-mesa0 xvfb xauth xdotool x11-utils imagemagick qt6-base-dev libfreetype-dev fonts-roboto \
  liblzma-dev libjpeg-dev libpng-dev libxi-dev libxcursor-dev libxfixes-dev libx11-dev libxxf86vm-dev libxrandr-dev libcurl4-openssl-dev \
  libgtest-dev libbenchmark-dev
