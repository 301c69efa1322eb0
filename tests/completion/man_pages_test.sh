#!/bin/bash
# The manual pages as man renders them: no warning from groff, and the
# configured device and version filled in.
# Usage: man_pages_test.sh PAGE.1.gz...
set -u
failures=0
for page in "$@"; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$page" 2>/dev/null)
    if [[ -n $warnings ]]; then
        printf 'FAIL %s warns:\n%s\n' "$page" "$warnings"
        failures=$((failures + 1))
    fi
    if [[ -z $text || $text == *@*@* ]]; then
        printf 'FAIL %s: empty, or a @VARIABLE@ left unfilled\n' "$page"
        failures=$((failures + 1))
    fi
done
((failures == 0)) && echo "man pages: $# without warnings"
