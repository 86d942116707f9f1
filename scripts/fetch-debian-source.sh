#!/bin/sh
# Fetches one of Debian's source packages at one exact version and unpacks it, with Debian's patches
# applied, into DEST/PACKAGE-VERSION (SQLite's for the recovery extension and the amalgamation, Qt's
# for the static Qt of the Windows build). It needs no change to the machine's apt configuration: a private
# list of deb-src entries, package lists and cache live under DEST. apt checks the signed indexes and the
# .dsc's hash; dpkg-source checks every file against the .dsc. Running it again does nothing once the
# tree is there.
#
#   fetch-debian-source.sh PACKAGE VERSION DEST
set -eu
package="$1"
version="$2"
dest="$3"
tree="$dest/$package-$version"
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
(cd "$apt/download" && apt-get "$@" source --download-only "$package=$version" >"$apt/source.log")
dsc="$apt/download/${package}_$(echo "$version" | sed 's/^[0-9]*://').dsc"
dpkg-source --no-copy -x "$dsc" "$tree.partial" >"$apt/unpack.log"
touch "$tree.partial/.unpacked"
mv "$tree.partial" "$tree"
rm -rf "$apt"
