#!/usr/bin/env bash
# Prints the lines of code and of tests (non-blank, non-comment lines of *.cpp and *.h)
# per folder and in total, and the ratio of tests to code. The last line is the total.
set -euo pipefail
cd "$(dirname "$0")/.."

code_folders=(disk records scan signatures results cli app)

# Non-blank lines outside // and /* */ comments.
count() {
  local files
  files=$(find "$@" \( -name '*.cpp' -o -name '*.h' \) -type f 2>/dev/null | sort)
  [[ -z "$files" ]] && { echo 0; return; }
  # shellcheck disable=SC2086
  awk '
    {
      line = $0
      out = ""
      while (length(line) > 0) {
        if (inblock) {
          end = index(line, "*/")
          if (end == 0) { line = ""; break }
          line = substr(line, end + 2); inblock = 0; continue
        }
        start = index(line, "/*"); slash = index(line, "//")
        if (slash > 0 && (start == 0 || slash < start)) { out = out substr(line, 1, slash - 1); line = ""; break }
        if (start > 0) { out = out substr(line, 1, start - 1); line = substr(line, start + 2); inblock = 1; continue }
        out = out line; line = ""
      }
      if (out ~ /[^ \t\r]/) n++
    }
    END { print n + 0 }' $files
}

code_total=0
for folder in "${code_folders[@]}"; do
  [[ -d "$folder" ]] || continue
  n=$(count "$folder")
  code_total=$((code_total + n))
  printf 'code   %-12s %6d\n' "$folder" "$n"
done
test_total=0
for folder in tests/*/; do
  folder=${folder%/}
  n=$(count "$folder")
  test_total=$((test_total + n))
  printf 'tests  %-12s %6d\n' "${folder#tests/}" "$n"
done
awk -v c="$code_total" -v t="$test_total" \
  'BEGIN { printf "total: code %d, tests %d, tests/code %.2f\n", c, t, (c ? t / c : 0) }'
