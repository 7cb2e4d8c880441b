#!/usr/bin/env bash
# The package as Debian and the software centres check it: lintian on the
# .deb and its debug-symbol package, then the catalogue entry and the desktop
# entry as installed. Any error or warning fails; lintian's notes are shown.
set -euo pipefail
deb="${1:?usage: check_package.sh DEB DEBUG_DDEB}"
ddeb="${2:?usage: check_package.sh DEB DEBUG_DDEB}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

echo "== lintian $(basename "$deb") $(basename "$ddeb")"
lintian --fail-on error,warning --display-info "$deb" "$ddeb"

dpkg-deb -x "$deb" "$work"
# validate-tree: what `appstreamcli validate` checks in the catalogue entry,
# and that the desktop entry it launches is installed beside it.
echo "== appstreamcli validate-tree"
appstreamcli validate-tree --no-net "$work"

echo "== desktop-file-validate"
shopt -s nullglob
desktop=("$work"/usr/share/applications/*.desktop)
if [ ${#desktop[@]} -ne 1 ]; then
  echo "FAIL: the package holds ${#desktop[@]} desktop entries, not one"
  exit 1
fi
# It exits 0 on warnings: any word from it fails.
findings="$(desktop-file-validate "${desktop[0]}" 2>&1)" || true
if [ -n "$findings" ]; then
  echo "$findings"
  exit 1
fi
echo "the package passes lintian, appstreamcli and desktop-file-validate"
