#!/bin/sh
# Checks that every C++ file the repository tracks is formatted as its .clang-format says; names
# the files that are not and fails.
# Usage: tests/check_format.sh SOURCE_DIR
set -eu
cd "$1"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
