#!/usr/bin/env bash
# The package installs over an older version and is removed cleanly, in a
# scratch root of its own (dpkg --root; nothing is installed on the system):
# the upgrade drops what the new version no longer ships, the installed
# commands start, the package and its debug symbols install as their md5sums
# say, removal and purge leave nothing behind, and a user's profile and
# workspace are never touched.
set -euo pipefail
deb="${1:?usage: upgrade_test.sh DEB DEBUG_DDEB}"
ddeb="${2:?usage: upgrade_test.sh DEB DEBUG_DDEB}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
root="$work/root"
admin="$root/var/lib/dpkg"
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
touch "$admin/status" "$admin/available"
# dpkg wants ldconfig and start-stop-daemon on the PATH, also for a root of
# its own.
export PATH="$PATH:/usr/sbin:/sbin"
status=0
fail() {
  echo "FAIL: $*"
  status=1
}
# dpkg in the scratch root; its chatter (the libraries the scratch root lacks)
# is shown only when it fails. Every path is installed, also where the
# machine's dpkg configuration leaves out manual pages and documents (as
# container images do).
scratch_dpkg() {
  if ! dpkg --root="$root" --log=/dev/null --force-not-root --force-depends --path-include='*' \
    "$@" >"$work/dpkg.out" 2>&1; then
    cat "$work/dpkg.out"
    fail "dpkg $*"
  fi
}
installed_version() {
  dpkg-query --admindir="$admin" -W -f='${Version} ${db:Status-Status}' "${1:-trellium}" \
    2>/dev/null || true
}
version="$(dpkg-deb -f "$deb" Version)"

# A user's files, which no step may change.
home="$root/home/user"
mkdir -p "$home/.config/Brackwater" "$home/.local/share/Trellium"
printf '[Ports]\nCOM7=/dev/pts/3\n' >"$home/.config/Brackwater/Trellium.ini"
printf 'workspace\0\1\2' >"$home/.local/share/Trellium/trellium.ws9"
(cd "$root" && sha256sum home/user/.config/Brackwater/Trellium.ini \
  home/user/.local/share/Trellium/trellium.ws9) >"$work/user-files.sha256"

# The older version: the same programs under version 0.9, with the desktop
# entry under the name it had before it took the catalogue's id.
old="$work/old"
dpkg-deb -R "$deb" "$old"
sed -i 's/^Version: .*/Version: 0.9/' "$old/DEBIAN/control"
mv "$old"/usr/share/applications/*.desktop "$old/usr/share/applications/trellium.desktop"
rm -r "$old/usr/share/metainfo"
(cd "$old" && find usr -type f -exec md5sum {} + >DEBIAN/md5sums)
dpkg-deb --root-owner-group -b "$old" "$work/trellium_0.9.deb" >/dev/null

echo "== install 0.9, then $version over it"
scratch_dpkg -i "$work/trellium_0.9.deb"
[ "$(installed_version)" = "0.9 installed" ] || fail "0.9 is not installed: $(installed_version)"
[ -e "$root/usr/share/applications/trellium.desktop" ] || fail "0.9's desktop entry is missing"
scratch_dpkg -i "$deb"
[ "$(installed_version)" = "$version installed" ] ||
  fail "$version is not installed over 0.9: $(installed_version)"
[ ! -e "$root/usr/share/applications/trellium.desktop" ] ||
  fail "the upgrade left 0.9's desktop entry behind"
while read -r path; do
  [ -e "$root/$path" ] || [ -L "$root/$path" ] || fail "$path is not installed"
done < <(dpkg-deb --fsys-tarfile "$deb" | tar -t)

echo "== the installed commands start"
for program in trellium-cli trellium; do
  if ! answer="$(HOME="$work" "$root/usr/bin/$program" --version 2>&1)"; then
    fail "$program --version failed: $answer"
  elif [[ "$answer" != *" $version" ]]; then
    fail "$program --version says '$answer'"
  fi
done
crc="$(HOME="$work" "$root/usr/bin/trellium-cli" crc CRC-16/MODBUS 123456789 2>&1)" || true
[ "$crc" = "4B37" ] || fail "the installed trellium-cli computes CRC-16/MODBUS as '$crc'"

echo "== the debug symbols install beside it; every file is as its md5sums say"
scratch_dpkg -i "$ddeb"
[ "$(installed_version trellium-dbgsym)" = "$version installed" ] ||
  fail "trellium-dbgsym $version is not installed: $(installed_version trellium-dbgsym)"
# As debsums checks: every file a package installs is in its md5sums, by its
# path, with its sum.
for package in trellium trellium-dbgsym; do
  sums="$admin/info/$package.md5sums"
  (cd "$root" && md5sum --quiet -c "$sums" 2>&1) || fail "$package's md5sums do not match"
  while read -r path; do
    if [ -f "$root$path" ] && [ ! -L "$root$path" ] && ! grep -q "  ${path#/}\$" "$sums"; then
      fail "$package's md5sums lack $path"
    fi
  done < <(dpkg-query --admindir="$admin" -L "$package")
done

echo "== remove (and purge what dpkg keeps)"
scratch_dpkg -r trellium-dbgsym trellium
for package in trellium trellium-dbgsym; do
  if [[ "$(installed_version "$package")" == *config-files ]]; then
    scratch_dpkg -P "$package"
  fi
  [ -z "$(installed_version "$package")" ] ||
    fail "$package is still known after removal: $(installed_version "$package")"
done
left="$(cd "$root" && find . -mindepth 1 \( -path ./var -o -path ./home \) -prune -o -print)"
[ -z "$left" ] || fail "the purge left behind: $left"

(cd "$root" && sha256sum --quiet -c "$work/user-files.sha256") ||
  fail "the user's profile or workspace changed"
[ "$status" -eq 0 ] && echo "the package upgrades 0.9, starts, verifies, and is removed cleanly"
exit "$status"
