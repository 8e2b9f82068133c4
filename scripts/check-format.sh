#!/usr/bin/env bash
# Fails when a C++ source differs from the repository's .clang-format style.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
echo "format: every source follows .clang-format"
