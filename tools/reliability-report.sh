#!/usr/bin/env bash
# Measures what docs/reliability.md reports and writes its table: the fault
# matrix, a soak of SOAK_RUNS upgrades, and each fuzz target for FUZZ_SECONDS.
#   tools/reliability-report.sh            (make reliability-report)
# Needs the default build (make build); builds the fuzz targets itself.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${BUILD:-build/default}
SOAK_RUNS=${SOAK_RUNS:-200}
SOAK_SEED=${SOAK_SEED:-2026}
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
DOC=docs/reliability.md
E2E="$BUILD/tests/e2e_tests"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

crashes=0
run() {  # run NAME COMMAND...: a crash is a death by signal or a sanitizer report
    local name=$1 status=0
    shift
    "$@" >"$work/$name.log" 2>&1 || status=$?
    if [ "$status" -gt 128 ] || grep -q 'ERROR: AddressSanitizer\|runtime error:' "$work/$name.log"; then
        crashes=$((crashes + 1))
    fi
    if [ "$status" -ne 0 ]; then
        echo "$name failed (status $status):" >&2
        tail -n 30 "$work/$name.log" >&2
        exit 1
    fi
}

echo "fault matrix and end-to-end runs..."
run matrix "$E2E" --gtest_filter='FaultMatrix*:UpgradeEndToEnd*' --gtest_output="json:$work/matrix.json"
matrix_cases=$(python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(sum(1 for s in d["testsuites"] if s["name"].startswith("FaultMatrix") for t in s["testsuite"]))' "$work/matrix.json")
e2e_cases=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["tests"])' "$work/matrix.json")
read -r matrix_done matrix_bytes matrix_bad < <(sed -nE 's/^e2e totals: upgrades completed ([0-9]+), bytes verified ([0-9]+), corrupted images ([0-9]+)$/\1 \2 \3/p' "$work/matrix.log")

echo "soak of $SOAK_RUNS upgrades (seed $SOAK_SEED)..."
run soak env VARDEL_SOAK_RUNS="$SOAK_RUNS" VARDEL_SOAK_SEED="$SOAK_SEED" "$E2E" --gtest_filter='Soak.*'
read -r soak_faults soak_done soak_bytes soak_bad < <(sed -nE 's/^soak: seed [0-9]+, runs [0-9]+, faults injected ([0-9]+), upgrades completed ([0-9]+), bytes verified ([0-9]+), corrupted images ([0-9]+)$/\1 \2 \3 \4/p' "$work/soak.log")

echo "fuzzing, $FUZZ_SECONDS s a target..."
run fuzz make --no-print-directory fuzz FUZZ_SECONDS="$FUZZ_SECONDS"
parser_execs=$(sed -nE 's/^stat::number_of_executed_units: ([0-9]+)$/\1/p' build/fuzz/parser_fuzz.log)
engine_execs=$(sed -nE 's/^stat::number_of_executed_units: ([0-9]+)$/\1/p' build/fuzz/engine_fuzz.log)

table=$(cat <<TABLE
| Measure | Value |
|---|---|
| Cases in the fault matrix | $matrix_cases (with the other end-to-end runs: $e2e_cases cases, all passed) |
| Faults injected | $((matrix_cases + soak_faults)) ($matrix_cases matrix cases, $soak_faults drawn in the soak) |
| Upgrades completed | $((matrix_done + soak_done)) ($matrix_done end-to-end, $soak_done soak of $SOAK_RUNS, seed $SOAK_SEED) |
| Bytes verified by the MCU | $((matrix_bytes + soak_bytes)) |
| Corrupted images | $((matrix_bad + soak_bad)) |
| Crashes | $crashes |
| Fuzz executions, reply parser | $parser_execs in $FUZZ_SECONDS s |
| Fuzz executions, whole engine | $engine_execs in $FUZZ_SECONDS s |

Measured on $(date -u +%Y-%m-%d) on $(nproc) cores ($(uname -m), $(. /etc/os-release && echo "$PRETTY_NAME")) with \`SOAK_RUNS=$SOAK_RUNS FUZZ_SECONDS=$FUZZ_SECONDS tools/reliability-report.sh\`.
TABLE
)

python3 - "$DOC" "$table" <<'PY'
import sys
path, table = sys.argv[1], sys.argv[2]
text = open(path, encoding="utf-8").read()
begin, end = "<!-- table:begin -->", "<!-- table:end -->"
head, rest = text.split(begin, 1)
_, tail = rest.split(end, 1)
open(path, "w", encoding="utf-8").write(f"{head}{begin}\n{table}\n{end}{tail}")
PY
echo "$table"
