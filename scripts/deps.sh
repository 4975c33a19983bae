#!/usr/bin/env bash
# Installs the Debian packages Folivo needs to build, run and test, when any is missing.
# Sourced by scripts/run and scripts/test. The machines run as root; elsewhere sudo is used.
set -euo pipefail

FOLIVO_PACKAGES=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-image-formats-plugins qt6-svg-dev libqt6svg6
    libarchive-dev libwmf-dev libemf2svg-dev
    fonts-ipafont-gothic
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth x11-apps xdotool imagemagick
    desktop-file-utils zip libarchive-tools clang libclang-rt-14-dev clang-tidy clang-format
    python3 libx11-6 libxtst6 libjpeg-turbo-progs
)

folivo_missing_packages() {
    local missing=()
    local pkg
    for pkg in "${FOLIVO_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    echo "${missing[@]:-}"
}

folivo_install_deps() {
    local missing
    missing=$(folivo_missing_packages)
    [ -z "$missing" ] && return 0
    echo "Installing: $missing"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    # shellcheck disable=SC2086
    $sudo apt-get install -y -qq --no-install-recommends $missing
}
