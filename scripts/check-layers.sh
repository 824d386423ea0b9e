#!/usr/bin/env bash
# Fails when a source file includes a header of an area its own area may not depend on. The order
# is the one src/CMakeLists.txt states:
#   data <- platform <- link, report, lot, history <- viewer, output, analysis <- shell
#   <- the programs
# (lot: the analysis's plain statistics and limits, src/analysis/lot_statistics.* and
# analysis_settings.*, which the exports use too; convert: the command-line converter).
set -euo pipefail
cd "$(dirname "$0")/.."

allowed() {
    case "$1" in
    data) echo "data" ;;
    platform) echo "data platform" ;;
    link) echo "data platform link" ;;
    report) echo "data platform report" ;;
    lot) echo "data platform lot" ;;
    viewer) echo "data platform link viewer" ;;
    output) echo "data platform report lot output" ;;
    analysis) echo "data platform report lot analysis" ;;
    convert) echo "data platform report lot output convert" ;;
    history) echo "data platform history" ;;
    shell) echo "data platform link report lot viewer output analysis history shell" ;;
    main) echo "data platform link report lot viewer output analysis history shell" ;;
    *) echo "" ;;
    esac
}

# The area of a file below src/ ("analysis/lot_statistics.h" -> lot).
area() {
    case "$1" in
    analysis/lot_statistics.* | analysis/analysis_settings.*) echo lot ;;
    main.cpp) echo main ;;
    *) echo "${1%%/*}" ;;
    esac
}

status=0
while IFS= read -r file; do
    rel=${file#src/}
    own=$(area "$rel")
    ok=" $(allowed "$own") "
    if [ "$ok" = "  " ]; then
        echo "check-layers: $file: area '$own' is not in the stated order" >&2
        status=1
        continue
    fi
    while IFS= read -r header; do
        dep=$(area "$header")
        case "$ok" in
        *" $dep "*) ;;
        *)
            echo "check-layers: $file includes $header: $own may not depend on $dep" >&2
            status=1
            ;;
        esac
    done < <(sed -n 's/^#include "\([a-z]*\/[^"]*\)".*/\1/p' "$file")
done < <(find src -name '*.cpp' -o -name '*.h' | sort)
[ $status -eq 0 ] && echo "check-layers: every include follows the order of the areas"
exit $status
