#!/usr/bin/env bash
# Prints the non-blank lines of product code (src/) and of test code (tests/,
# fuzz/) and their ratio; the suite is meant to stay near a third of the code.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
  local n=0
  for dir in "$@"; do
    [ -d "$dir" ] || continue
    n=$((n + $(find "$dir" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.py' -o -name '*.sh' \) \
      -exec grep -hv '^[[:space:]]*$' {} + | wc -l)))
  done
  echo "$n"
}
code=$(count src)
tests=$(count tests fuzz)
echo "product code (src/): $code non-blank lines"
echo "test code (tests/, fuzz/): $tests non-blank lines"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests / code: %.2f\n", t / c }'
