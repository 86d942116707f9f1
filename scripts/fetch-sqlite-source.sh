#!/bin/sh
# Fetches Debian's source package of SQLite at one exact version and unpacks it, with Debian's patches
# applied, into DEST/sqlite3-VERSION. It needs no change to the machine's apt configuration: a private
# list of deb-src entries, package lists and cache live under DEST. apt checks the signed indexes and the
# .dsc's hash; dpkg-source checks every file against the .dsc. Running it again does nothing once the
# tree is there.
#
#   fetch-sqlite-source.sh VERSION DEST
set -eu
version="$1"
dest="$2"
tree="$dest/sqlite3-$version"
[ -f "$tree/.unpacked" ] && exit 0

mirror="${VELUMBRA_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
security="${VELUMBRA_DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
apt="$dest/apt"
rm -rf "$apt" "$tree" "$tree.partial"
mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$apt/download"
cat >"$apt/sources.list" <<LIST
deb-src [signed-by=$keyring] $mirror bookworm main
deb-src [signed-by=$keyring] $mirror bookworm-updates main
deb-src [signed-by=$keyring] $security bookworm-security main
LIST
set -- -q -o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts" \
  -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o "APT::Sandbox::User=$(id -un)" \
  -o Debug::NoLocking=1
apt-get "$@" update >"$apt/update.log"
(cd "$apt/download" && apt-get "$@" source --download-only "sqlite3=$version" >"$apt/source.log")
dsc="$apt/download/sqlite3_$(echo "$version" | sed 's/^[0-9]*://').dsc"
dpkg-source --no-copy -x "$dsc" "$tree.partial" >"$apt/unpack.log"
touch "$tree.partial/.unpacked"
mv "$tree.partial" "$tree"
rm -rf "$apt"
