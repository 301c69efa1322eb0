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

# A name may carry an architecture (qt6-base-dev:armhf): the ARM builds take
# their libraries from Debian's packages of that architecture (multiarch).
# The machine's own architecture is written without one.
native=$(dpkg --print-architecture)

# One query for all of them keeps the everything-is-there case fast.
installed=$(dpkg-query -W -f='${binary:Package} ${db:Status-Status}\n' "$@" 2>/dev/null |
    awk '$2 == "installed" { print $1 }' | sed "s/:$native\$//" || true)

missing=()
foreign=()
for package in "$@"; do
    if ! grep -qxF -- "${package%:"$native"}" <<<"$installed"; then
        missing+=("$package")
        if [[ $package == *:* ]]; then foreign+=("${package##*:}"); fi
    fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
    exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
    {
        echo "Missing Debian packages: ${missing[*]}"
        echo "Install them as root, then run make again:"
        for arch in $(printf '%s\n' "${foreign[@]}" | sort -u); do
            echo "  sudo dpkg --add-architecture $arch"
        done
        [[ ${#foreign[@]} -eq 0 ]] || echo "  sudo apt-get update"
        echo "  sudo apt-get install --no-install-recommends ${missing[*]}"
    } >&2
    exit 1
fi

echo "Installing missing Debian packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
for arch in $(printf '%s\n' "${foreign[@]}" | sort -u); do
    if [[ $arch != "$native" ]] && ! dpkg --print-foreign-architectures | grep -qxF "$arch"; then
        echo "Adding the architecture $arch"
        dpkg --add-architecture "$arch"
    fi
done
# A mirror caught in the middle of a sync fails the update for a while ("File
# has unexpected size"); it is tried again before the install, which says
# plainly what it still cannot find.
updated=no
for wait in 15 30 0; do
    if apt-get update -qq; then
        updated=yes
        break
    fi
    if [[ $wait -gt 0 ]]; then
        echo "apt-get update failed; trying again in $wait s" >&2
        sleep "$wait"
    fi
done

apt_options=()
# Libraries of another architecture must be of the very version of the
# machine's own. When the security archive's index of one architecture cannot
# be had, the two architectures see different candidates and apt finds no
# solution; the point release has both at one version, so the install then
# prefers it to the security archive. Only ever as a fallback, and said.
if [[ $updated == no ]] &&
    ! apt-get install -s --no-install-recommends "${missing[@]}" </dev/null >/dev/null 2>&1; then
    pins=$(mktemp -d)
    trap 'rm -rf "$pins"' EXIT
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$pins/security.pref"
    echo "An index is missing; installing from the point release before the security archive" >&2
    apt_options=(-o "Dir::Etc::PreferencesParts=$pins")
fi

# Packages of another architecture must install beside the machine's own;
# should apt want to remove anything for them, nothing is done.
removed=$(apt-get install -s --no-install-recommends "${apt_options[@]}" "${missing[@]}" </dev/null |
    sed -n 's/^Remv //p' || true)
if [[ -n $removed ]]; then
    echo "Installing ${missing[*]} would remove: $removed" >&2
    echo "Not installing; resolve this by hand." >&2
    exit 1
fi
apt-get install -y -qq --no-install-recommends "${apt_options[@]}" "${missing[@]}" </dev/null
