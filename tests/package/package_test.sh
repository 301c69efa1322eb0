#!/usr/bin/env bash
# The Debian packages as a user gets them: made with the build's CPack
# settings (what `make package` makes), each checked with lintian, unpacked
# into a scratch folder, its program's libraries all found, and its program
# started: the dialog program offscreen against a port that is not there,
# ended with SIGTERM, status 0; the command line with --version. A build for
# another processor runs its programs under VARDEL_EMULATOR.
#   package_test.sh BUILD_DIR VERSION DEVICE TRIPLET PACKAGE...
set -uo pipefail
build=$1 version=$2 device=$3 triplet=$4
shift 4
packages=()  # the names of the programs this build has; the others come empty
for package in "$@"; do [ -n "$package" ] && packages+=("$package"); done
arch=$(dpkg-architecture -t"$triplet" -qDEB_HOST_ARCH 2>/dev/null)
read -ra run <<<"${VARDEL_EMULATOR:-}"
work=$(mktemp -d)
program_pid=
finish() {
    [ -n "$program_pid" ] && kill -KILL "$program_pid" 2>/dev/null
    rm -rf "$work"
}
trap finish EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
made=$(cd "$work/out" && ls ./*.deb | sed 's|^\./||' | sort)
wanted=$(for package in "${packages[@]}"; do echo "${package}_${version}_${arch}.deb"; done | sort)
[ "$made" = "$wanted" ] || fail "made: $made; wanted: $wanted"

# The libraries the program asks for, all found by its loader.
libraries_found() {
    LD_TRACE_LOADED_OBJECTS=1 "${run[@]}" "$1" >"$work/ldd" 2>&1 || { cat "$work/ldd"; return 1; }
    ! grep -q "not found" "$work/ldd" || { cat "$work/ldd"; return 1; }
}

check_vardel() {
    local root=$1 depends=$2
    for needed in fonts-wqy-microhei libqt6widgets6 libc6; do
        grep -q "\b$needed\b" <<<"$depends" || fail "vardel: Depends lacks $needed"
    done
    program="$root/usr/lib/vardel/vardel"
    [ -x "$program" ] || fail "no program in a folder of its own"
    [ "$(readlink -f "$root/usr/bin/vardel")" = "$program" ] || fail "usr/bin/vardel"
    libraries_found "$program" || fail "vardel: a library is not found"

    # A machine that has a device at the program's "COM4:" path gets an empty
    # file put in its place, in a mount namespace of the test's own: the test
    # never touches a real port.
    local start=("${run[@]}" "$program")
    if [ -e "$device" ]; then
        : >"$work/no-port"
        start=(unshare --mount --propagation private sh -c 'mount --bind "$1" "$2" && shift 2 && exec "$@"'
               sh "$work/no-port" "$device" "${start[@]}")
    fi
    QT_QPA_PLATFORM=offscreen "${start[@]}" >"$work/out.log" 2>&1 &
    program_pid=$!
    sleep $((2 * ${VARDEL_TIME_SCALE:-1}))
    kill -0 "$program_pid" 2>/dev/null || { cat "$work/out.log"; fail "vardel did not keep running"; }
    kill -TERM "$program_pid"
    local status=0
    wait "$program_pid" || status=$?
    program_pid=
    cat "$work/out.log"
    [ "$status" -eq 0 ] || fail "vardel ended with $status after SIGTERM"
}

check_vardel_flash() {
    local root=$1 depends=$2
    grep -q "\blibc6\b" <<<"$depends" || fail "vardel-flash: Depends lacks libc6"
    ! grep -qi "qt\|font" <<<"$depends" || fail "vardel-flash depends on Qt or a font: $depends"
    program="$root/usr/bin/vardel-flash"
    [ -x "$program" ] || fail "no usr/bin/vardel-flash"
    [ -f "$root/usr/lib/udev/rules.d/70-vardel.rules" ] || fail "no udev rule"
    libraries_found "$program" || fail "vardel-flash: a library is not found"
    "${run[@]}" "$program" --version >"$work/version" 2>&1 || { cat "$work/version"; fail "--version"; }
    [ -s "$work/version" ] || fail "--version said nothing"
    cat "$work/version"
}

for package in "${packages[@]}"; do
    deb="$work/out/${package}_${version}_${arch}.deb"
    echo "$package: Depends: $(dpkg-deb -f "$deb" Depends)"
    [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "$package: not for $arch"
    [ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "$package: no description"
    lintian --fail-on error "$deb" || fail "$package: lintian"
    dpkg-deb -x "$deb" "$work/$package" || fail "dpkg-deb -x $package"
    "check_${package//-/_}" "$work/$package" "$(dpkg-deb -f "$deb" Depends)"
done
echo "PASS"
