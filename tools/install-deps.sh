#!/usr/bin/env bash
# Makes sure the Debian packages named on the command line are installed.
# Nothing is touched when they all are. As root the missing ones are installed
# without questions; anyone else is told which ones to install and the script
# fails, so that a build never starts half-equipped.
set -euo pipefail

if [[ $# -eq 0 ]]; then
    echo "usage: $0 PACKAGE..." >&2
    exit 2
fi

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "install-deps: no dpkg-query here (not Debian?); not checking packages: $*" >&2
    exit 0
fi

# One query for all of them keeps the everything-is-there case fast.
installed=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "$@" 2>/dev/null |
    awk '$2 == "installed" { print $1 }' || true)

missing=()
for package in "$@"; do
    if ! grep -qxF -- "$package" <<<"$installed"; then
        missing+=("$package")
    fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
    exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
    {
        echo "Missing Debian packages: ${missing[*]}"
        echo "Install them as root, then run make again:"
        echo "  sudo apt-get install --no-install-recommends ${missing[*]}"
    } >&2
    exit 1
fi

echo "Installing missing Debian packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
