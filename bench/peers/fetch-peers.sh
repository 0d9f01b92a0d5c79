#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Fetches what peers_bench compares against into a folder of its own (never into the system):
# Bootstrap 5.3.3 always; with --peers also browser-sync, Vite and the sass package Vite uses.
# Chromium comes from Debian (apt-get install chromium) and is not fetched here.
#   bench/peers/fetch-peers.sh [--peers] [FOLDER]
set -eu
peers=no
if [ "${1:-}" = "--peers" ]; then peers=yes; shift; fi
folder=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/fennelview-bench/peers}
mkdir -p "$folder"
cd "$folder"
[ -f package.json ] || printf '{ "name": "fennelview-peers-bench", "private": true }\n' > package.json
packages="bootstrap@5.3.3"
[ "$peers" = yes ] && packages="$packages browser-sync@3 vite@5 sass@1"
# shellcheck disable=SC2086
npm install --no-audit --no-fund --ignore-scripts --loglevel=error $packages
echo "$folder"
