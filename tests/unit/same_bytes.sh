#!/usr/bin/env bash
# The asset generator writes the same bytes every run: run it again and compare every file.
# Usage: same_bytes.sh GENERATOR BUILD_DIRECTORY
set -euo pipefail
again=$(mktemp -d)
trap 'rm -rf "$again"' EXIT
"$1" "$again"
cd "$again"
find . -type f | while read -r file; do cmp "$file" "$2/$file"; done
