#!/usr/bin/env bash
# The backports source that scripts/setup derives from a machine's configured Debian sources:
# deb822 and one-line forms, disabled and commented entries, other suites, and no source at all.
# Also checks this machine's own configuration yields a source. Prints each mismatch; exit 1 on any.
set -euo pipefail
setup="$(dirname "$0")/../setup"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# check NAME EXPECTED: runs the derivation on $work/NAME (an /etc/apt look-alike).
check() {
  local actual
  actual=$("$setup" --print-backports-source "$work/$1")
  if [[ $actual != "$2" ]]; then
    printf 'FAIL %s\n--- expected\n%s\n--- actual\n%s\n' "$1" "$2" "$actual"
    failures=$((failures + 1))
  fi
}
apt_dir() { mkdir -p "$work/$1/sources.list.d"; }
stanza() {
  printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\n' "$1"
  [[ -z ${2:-} ]] || printf 'Signed-By: %s\n' "$2"
}
key=/usr/share/keyrings/debian-archive-keyring.gpg

# deb822, as a new Debian system writes it: the security source is not the mirror.
apt_dir deb822
cat >"$work/deb822/sources.list.d/debian.sources" <<TEXT
# The main archive
Types: deb deb-src
URIs: file:/srv/mirror/debian file:/srv/second/debian
Suites: bookworm bookworm-updates
Components: main contrib
Signed-By: $key

Types: deb
URIs: file:/srv/mirror/debian-security
Suites: bookworm-security
Components: main
Signed-By: $key
TEXT
check deb822 "$(stanza file:/srv/mirror/debian "$key")"

# Disabled stanzas, deb-src only, other suites and components, an inline key: passed over.
apt_dir skips
cat >"$work/skips/sources.list.d/a.sources" <<TEXT
Types: deb
URIs: file:/srv/disabled/debian
Suites: bookworm
Components: main
Enabled: no

Types: deb-src
URIs: file:/srv/source-only/debian
Suites: bookworm
Components: main

Types: deb
URIs: file:/srv/contrib-only/debian
Suites: bookworm
Components: contrib

Types: deb
URIs: file:/srv/trixie/debian
Suites: trixie
Components: main
TEXT
cat >"$work/skips/sources.list.d/b.sources" <<TEXT
Types: deb
URIs: file:/srv/inline/debian
Suites: bookworm
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 -----END PGP PUBLIC KEY BLOCK-----
TEXT
check skips "$(stanza file:/srv/inline/debian)"

# One-line sources.list: options in brackets, comments, cdrom, and a later deb822 file.
apt_dir oneline
cat >"$work/oneline/sources.list" <<TEXT
# deb file:/srv/commented/debian bookworm main
deb cdrom:[Debian 12]/ bookworm main
deb-src file:/srv/src/debian bookworm main
deb file:/srv/updates/debian bookworm-updates main
deb [arch=amd64 signed-by=/etc/keys/debian.gpg] file:/srv/one/debian bookworm main non-free
TEXT
printf 'Types: deb\nURIs: file:/srv/later/debian\nSuites: bookworm\nComponents: main\n' \
  >"$work/oneline/sources.list.d/z.sources"
check oneline "$(stanza file:/srv/one/debian /etc/keys/debian.gpg)"

apt_dir plain
echo "deb file:/srv/plain/debian/ bookworm main" >"$work/plain/sources.list.d/plain.list"
check plain "$(stanza file:/srv/plain/debian/)"

# Nothing usable: no output (the setup then stops with a message).
apt_dir none
echo "deb file:/srv/other/debian bookworm-backports main" >"$work/none/sources.list.d/x.list"
check none ""
mkdir -p "$work/empty"
check empty ""

# This machine's own configuration gives a source with a URI, when it has Debian sources at all.
if grep -rqs bookworm /etc/apt/sources.list /etc/apt/sources.list.d/; then
  own=$("$setup" --print-backports-source)
  if ! grep -q '^URIs: [a-z+]*:' <<<"$own"; then
    printf 'FAIL this machine: %s\n' "$own"
    failures=$((failures + 1))
  fi
fi

((failures == 0)) && echo "PASS backports source" || exit 1
