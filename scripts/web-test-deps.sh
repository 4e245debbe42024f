#!/usr/bin/env bash
# Installs what the browser tests and benchmark need, when missing: Debian's Chromium and node (npm
# too, unless a node from elsewhere brought its own), then puppeteer-core at the version pinned by
# tests/web/package-lock.json, with `npm ci` into tests/web/node_modules. It downloads no browser.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
web=$here/../tests/web

missing=()
for package in chromium nodejs; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$package")
done
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
fi

# Again only when the lock file changed since the last install.
stamp=$web/node_modules/.package-lock.json
if [ ! -f "$stamp" ] || [ "$web/package-lock.json" -nt "$stamp" ]; then
  (cd "$web" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
fi
