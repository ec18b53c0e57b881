#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine, skipping what is
# already there. Safe to run again.
#
#   scripts/install-deps.sh            the build and test tools
#   BV_WITH_DESKTOP=1 scripts/install-deps.sh
#                                      the same, then the desktop test tools
#   scripts/install-deps.sh --desktop  only the desktop test tools
#
# The desktop test tools (a virtual X server, the zenity dialog program and
# the X window lister) serve one test, which shows a real window; ./test.sh
# asks for them. A failure to install them is reported and does not fail
# the script: that test then says it was skipped and why.
set -euo pipefail
desktop_only=0
if [ "${1:-}" = --desktop ]; then
  desktop_only=1
elif [ $# -gt 0 ]; then
  echo "usage: $0 [--desktop]" >&2
  exit 2
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
updated=0
apt_install() {
  if [ "$updated" = 0 ]; then
    $sudo apt-get update -qq || return 1
    updated=1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$@"
}
missing_of() {
  local pkg
  for pkg in "$@"; do
    dpkg -s "$pkg" >/dev/null 2>&1 || echo "$pkg"
  done
}

if [ "$desktop_only" = 0 ]; then
  needed=(cmake g++ make libgtest-dev default-jdk-headless zlib1g-dev libssl-dev libzstd-dev libxxhash-dev)
  if [ "${BV_WITH_FUZZ:-0}" = 1 ]; then
    needed+=(clang libclang-rt-14-dev)
  fi
  mapfile -t missing < <(missing_of "${needed[@]}")
  # A JDK already on PATH is as good as Debian's default one.
  if command -v javac >/dev/null 2>&1 && command -v jar >/dev/null 2>&1; then
    missing=("${missing[@]/default-jdk-headless}")
  fi
  pkgs=()
  for p in "${missing[@]}"; do [ -n "$p" ] && pkgs+=("$p"); done
  if [ ${#pkgs[@]} -gt 0 ]; then
    apt_install "${pkgs[@]}"
  fi
fi

if [ "$desktop_only" = 1 ] || [ "${BV_WITH_DESKTOP:-0}" = 1 ]; then
  mapfile -t desktop < <(missing_of xvfb zenity x11-utils)
  if [ ${#desktop[@]} -gt 0 ]; then
    if ! apt_install --no-install-recommends "${desktop[@]}"; then
      echo "install-deps: could not install ${desktop[*]}; the window test will be skipped" >&2
      [ "$desktop_only" = 1 ] && exit 1
    fi
  fi
fi
exit 0
