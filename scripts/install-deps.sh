#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine, skipping what is
# already there. Safe to run again.
set -euo pipefail
needed=(cmake g++ make libgtest-dev libxxhash-dev default-jdk-headless)
if [ "${BV_WITH_FUZZ:-0}" = 1 ]; then
  needed+=(clang libclang-rt-14-dev)
fi
missing=()
for pkg in "${needed[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
# A JDK already on PATH is as good as Debian's default one.
if command -v javac >/dev/null 2>&1 && command -v jar >/dev/null 2>&1; then
  missing=("${missing[@]/default-jdk-headless}")
fi
pkgs=()
for p in "${missing[@]}"; do [ -n "$p" ] && pkgs+=("$p"); done
if [ ${#pkgs[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${pkgs[@]}"
fi
