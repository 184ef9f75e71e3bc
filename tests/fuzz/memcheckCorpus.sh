#!/bin/sh
# Runs the fuzz corpus test under valgrind's memcheck, the decoder programs it starts
# included, and fails on any error in any of them: above all a byte of an image that no
# decoder wrote, seen where the image is written out (the decoder program's pipe, the test's own
# write to /dev/null).
# usage: memcheckCorpus.sh VALGRIND TEST_PROGRAM
set -u
valgrind=$1
program=$2
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
"$valgrind" --error-exitcode=99 --trace-children=yes --log-file="$logs/memcheck.%p" "$program" --gtest_filter='FuzzCorpusTest.*'
status=$?
failed=$(grep -L "ERROR SUMMARY: 0 errors" "$logs"/memcheck.*)
for log in $failed; do cat "$log"; done
if [ "$status" -ne 0 ] || [ -n "$failed" ]; then
    echo "memcheck: status $status, errors in $(echo $failed | wc -w) of $(ls "$logs" | wc -l) processes" >&2
    exit 1
fi
echo "memcheck: no error in $(ls "$logs" | wc -l) processes"
