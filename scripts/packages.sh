# Sourced by the other scripts: installs the Debian packages the build needs, when they are missing
# (Qt's private headers: the window tests switch the toolkit's accessibility on to hear its events).
# The second group is the Windows cross-build and its run under wine (scripts/build-windows: MinGW-w64,
# GoogleTest's sources, tclsh and make for SQLite's amalgamation, NSIS for the setup program); the third
# the Debian package (scripts/package: the man page, the desktop entry's check, lintian).
VELUMBRA_PACKAGES="cmake ninja-build g++ pkg-config sqlite3 libsqlite3-dev dpkg-dev xz-utils debian-archive-keyring libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-private-dev qt6-translations-l10n qt6-l10n-tools fonts-liberation2 fonts-dejavu-core xvfb xauth xdotool openbox imagemagick dbus at-spi2-core poppler-utils
  orca speech-dispatcher speech-dispatcher-espeak-ng espeak-ng python3-speechd alsa-utils
  g++-mingw-w64-x86-64-posix googletest wine64 make tcl nsis
  desktop-file-utils lintian fakeroot file strace"

velumbra_install_packages() {
    local missing=""
    for p in $VELUMBRA_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
    # shellcheck disable=SC2086
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
}
