#!/usr/bin/env bash
# The Debian changelog made from CHANGELOG.md: the project's own file parses as a Debian
# changelog with the present version released; an Unreleased section with items becomes an
# UNRELEASED top entry, an empty one none; items are wrapped within 78 columns with their
# words kept; the release date keeps its day of the week; a heading that is neither a version
# nor Unreleased fails and writes nothing.
#   tests/packaging/debian_changelog_test.sh SOURCE_DIR
set -euo pipefail
src=${1:?source dir}
gen=$src/packaging/debian-changelog
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
fail() { echo "FAIL: $*" >&2; status=1; }
# FIELD of every entry, newest first, on one line.
all() { dpkg-parsechangelog -l "$1" --format rfc822 --all | sed -n "s/^$2: //p" | paste -sd' '; }
# Change lines over 78 columns (the trailer lines are not change text).
long_lines() { grep -v '^ -- ' "$1" | awk 'length > 78'; }
who="EVKIT714 developers <evkit714@example.org>"

# The project's CHANGELOG.md: its versions, newest first, the present one among them.
"$gen" "$src/CHANGELOG.md" evkit714 3.0.2 "$who" "$tmp/real"
versions=$(all "$tmp/real" Version)
released=$(all "$tmp/real" Distribution)
[[ " $versions " == *" 3.0.2 "* ]] || fail "3.0.2 missing from the versions: $versions"
[[ $released == *unstable* ]] || fail "no released entry: $released"
[ -z "$(long_lines "$tmp/real")" ] || fail "lines over 78 columns: $(long_lines "$tmp/real")"

cat >"$tmp/with.md" <<'MD'
# Changelog

Intro text that is not an entry.

## Unreleased

- A change of the next version with `code` and enough words to need wrapping at the
  seventy-eighth column of the Debian changelog, so its second line is indented.
- Second change.

## 2.1.0 - 2024-02-29

A paragraph item.

- Leap day release.
MD
"$gen" "$tmp/with.md" pkg 2.1.0 "$who" "$tmp/with"
[ "$(dpkg-parsechangelog -l "$tmp/with" -S Version)" = 2.1.0+next ] || fail "top version"
[ "$(dpkg-parsechangelog -l "$tmp/with" -S Distribution)" = UNRELEASED ] || fail "top distribution"
[ "$(all "$tmp/with" Version)" = "2.1.0+next 2.1.0" ] || fail "versions: $(all "$tmp/with" Version)"
grep -qxF ' -- EVKIT714 developers <evkit714@example.org>  Thu, 29 Feb 2024 00:00:00 +0000' \
  "$tmp/with" || fail "release trailer: $(grep '^ --' "$tmp/with" | tail -1)"
[ "$(grep -c '^  \* ' "$tmp/with")" -eq 4 ] || fail "expected 4 items: $(cat "$tmp/with")"
grep -q 'Intro' "$tmp/with" && fail "the text before the first section became an entry"
grep -q '`' "$tmp/with" && fail "backticks kept"
[ -z "$(long_lines "$tmp/with")" ] || fail "lines over 78 columns: $(long_lines "$tmp/with")"
# The wrapped item keeps all its words, in order, continuation lines indented by four.
words=$(awk '/^  \* A change/ { on = 1 } on && /^  \* Second/ { on = 0 } on' "$tmp/with" |
        sed 's/^  \* //; s/^    //' | paste -sd' ')
[ "$words" = "A change of the next version with code and enough words to need wrapping at the seventy-eighth column of the Debian changelog, so its second line is indented." ] ||
  fail "wrapped item: $words"
grep -q '^    ' "$tmp/with" || fail "no continuation line"

# An empty Unreleased section: no entry for it; the release is the top entry.
sed '/^- A change/,/^- Second/d' "$tmp/with.md" >"$tmp/empty.md"
"$gen" "$tmp/empty.md" pkg 2.1.0 "$who" "$tmp/empty"
[ "$(dpkg-parsechangelog -l "$tmp/empty" -S Version)" = 2.1.0 ] ||
  fail "empty Unreleased made an entry: $(head -1 "$tmp/empty")"

# A heading it does not understand: an error, and the output file is not written.
printf '## Version two\n\n- x\n' >"$tmp/bad.md"
echo old >"$tmp/out"
if "$gen" "$tmp/bad.md" pkg 2 "$who" "$tmp/out" 2>"$tmp/err"; then fail "bad heading accepted"; fi
grep -q 'unexpected heading: ## Version two' "$tmp/err" || fail "error text: $(cat "$tmp/err")"
[ "$(cat "$tmp/out")" = old ] || fail "the output was replaced after a failure"
[ ! -e "$tmp/out.tmp" ] || fail "a temporary file was left behind"

[ $status -eq 0 ] && echo "debian changelog: ok"
exit $status
