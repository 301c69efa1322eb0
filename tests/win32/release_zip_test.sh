#!/usr/bin/env bash
# The release zip as a Windows user gets it: the build's dist target writes
# it; it holds exactly the programs and README.txt (UTF-8 with a byte order
# mark, CR LF line ends, the Windows section with its Chinese texts); the
# programs unpacked from it run under Wine: Vardel.exe, under DebugLines,
# shows its window, and ends with status 0 on VardelSend's exit command;
# vardel-flash.exe tells its version.
#   release_zip_test.sh CMAKE WINDOWS_BUILD ZIP
set -euo pipefail
cmake=$1 build=$2 zip=$3
: "${WINEPREFIX:?run inside tools/wine/session.sh}"
here=$(cd "$(dirname "$0")" && pwd)
run="$here/../../tools/wine/run.sh"
scratch="$WINEPREFIX/drive_c/vardel-release-test"
program_pid=
finish() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap finish EXIT

rm -f "$zip"
"$cmake" --build "$build" --target dist >/dev/null
rm -rf "$scratch"
python3 - "$zip" "$scratch" <<'PY'
import sys, zipfile
zip_path, scratch = sys.argv[1:]
with zipfile.ZipFile(zip_path) as release:
    names = sorted(release.namelist())
    expected = sorted(["Vardel.exe", "VardelSend.exe", "DebugLines.exe", "vardel-flash.exe",
                       "README.txt"])
    if names != expected:
        sys.exit(f"FAIL: the zip holds {names}, not {expected}")
    readme = release.read("README.txt")
    if not readme.startswith(b"\xef\xbb\xbf"):
        sys.exit("FAIL: README.txt has no UTF-8 byte order mark")
    text = readme[3:].decode("utf-8")
    if "\n" in text.replace("\r\n", "") or not text.endswith("\r\n"):
        sys.exit("FAIL: a line of README.txt does not end with CR LF")
    for wanted in ["Windows: Vardel.exe\r\n", '"串口打开失败!"', "VardelSend exit",
                   "vardel-flash --port COM7 MTK51A.BIN\r\n", "vardel-flash --list-ports"]:
        if wanted not in text:
            sys.exit(f"FAIL: README.txt lacks {wanted!r}")
    if "](docs/" in text or "\n## " in text:
        sys.exit("FAIL: README.txt shows a picture it lacks, or holds another section")
    release.extractall(scratch)
PY

"$run" "$WINEPREFIX" "$scratch/DebugLines.exe" 'C:\vardel-release-test\Vardel.exe' >/dev/null &
program_pid=$!
"$run" "$WINEPREFIX" "$scratch/VardelSend.exe" show | grep -q '^window: ' ||
    { echo "FAIL: Vardel.exe from the zip shows no window"; exit 1; }
"$run" "$WINEPREFIX" "$scratch/VardelSend.exe" exit
status=0
wait "$program_pid" || status=$?
program_pid=
[ "$status" -eq 0 ] || { echo "FAIL: Vardel.exe from the zip ended with $status"; exit 1; }
version=$("$run" "$WINEPREFIX" "$scratch/vardel-flash.exe" --version)
[ "$version" = "vardel-flash 1.0.0.1" ] ||
    { echo "FAIL: vardel-flash.exe from the zip says ${version@Q}"; exit 1; }
echo "PASS: $(basename "$zip") holds the four programs and README.txt; its Vardel.exe and"
echo "vardel-flash.exe run"
