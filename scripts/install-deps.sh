#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the package checks and the demo need, when
# any is missing.
set -euo pipefail
packages=(
    build-essential cmake pkg-config ccache
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libsqlite3-dev libpng-dev sqlite3 mdbtools mdbtools-dev libcpp-httplib-dev libssl-dev openssl zlib1g-dev python3
    libcurl4-openssl-dev libpoppler-cpp-dev
    libgtest-dev libbenchmark-dev
    xvfb xauth x11-apps xdotool openbox imagemagick fonts-dejavu-core
    libp11-dev libp11-kit-dev p11-kit p11-kit-modules softhsm2 opensc libpcsclite1
    file desktop-file-utils qt6-translations-l10n curl libxcb1-dev lintian util-linux mount iproute2
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Instalando pacotes: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -q
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
