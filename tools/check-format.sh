#!/bin/sh
# Fails, naming the files, when a C++ source differs from what clang-format
# makes of it (`clang-format -i FILE` mends one).
cd "$(dirname "$0")/.."
status=0
for f in $(git ls-files '*.cc' '*.h'); do
  if ! clang-format --style=file --dry-run -Werror "$f" > /dev/null 2>&1; then
    echo "not formatted: $f"
    status=1
  fi
done
exit $status
