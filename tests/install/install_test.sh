#!/usr/bin/env bash
# Installs the current build into a temporary prefix, as a user would, and checks what they
# get: exactly the shipped files, executables that answer --version and --help, manual pages
# that render without a warning, and the README's option and result-code rows in ringcalib(1).
# Usage: install_test.sh <build dir> <source dir> <project version>
set -euo pipefail
build="$1" source="$2" version="$3"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

diff <(printf '%s\n' bin/ringcalib bin/ringcalib-compare bin/ringcalib-export bin/ringcalib-synth \
  share/doc/ringcalib/README.md share/man/man1/ringcalib-compare.1.gz \
  share/man/man1/ringcalib-export.1.gz share/man/man1/ringcalib-synth.1.gz \
  share/man/man1/ringcalib.1.gz) \
  <(cd "$prefix" && find . -type f -printf '%P\n' | LC_ALL=C sort)

for tool in ringcalib ringcalib-synth ringcalib-compare ringcalib-export; do
  [[ "$("$prefix/bin/$tool" --version)" == *" version: $version"* ]] ||
    { echo "$tool --version does not print $version"; exit 1; }
  [[ "$("$prefix/bin/$tool" --help)" == *"--version"* ]] || { echo "$tool --help fails"; exit 1; }
done

for page in "$prefix"/share/man/man1/*.1.gz; do
  warnings="$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)" || warnings+=" (man failed)"
  [ -z "$warnings" ] || { echo "$page: $warnings"; exit 1; }
done

# Tags of the rendered page's tagged paragraphs, to find the README's table rows in.
tags="$(LC_ALL=C MANWIDTH=80 man -l "$prefix/share/man/man1/ringcalib.1.gz" | sed 's/^ *//; s/  .*//')"
rows="$(sed -n 's/^| \(`-[^|]*\|[0-9]*\) |.*/\1/p' "$source/README.md" | tr -d '`' | sed 's/ *$//')"
[ -n "$rows" ] || { echo "no option or result-code rows found in the README"; exit 1; }
while IFS= read -r row; do
  grep -qxF -- "$row" <<<"$tags" || { echo "README row '$row' is not in ringcalib(1)"; exit 1; }
done <<<"$rows"
echo "installed and checked: $(cd "$prefix" && find . -type f | wc -l) files"
