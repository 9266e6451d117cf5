#!/bin/sh
# Runs a test program under valgrind's leak check: any memory lost, or any
# other error valgrind finds, fails the test. Skipped (77) without valgrind.
# valgrind.supp, beside this script, holds the loader's false reports.
#   under-valgrind.sh PROGRAM [ARGUMENT...]
command -v valgrind >/dev/null 2>&1 || { echo "valgrind is not installed"; exit 77; }
exec valgrind -q --leak-check=full --error-exitcode=9 --suppressions="$(dirname "$0")/valgrind.supp" "$@"
