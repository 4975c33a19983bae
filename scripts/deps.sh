#!/usr/bin/env bash
# Installs the Debian packages Folivo needs to build, run and test, when any is missing.
# Sourced by scripts/run and scripts/test. The machines run as root; elsewhere sudo is used.
set -euo pipefail

# Packages are installed without their recommendations, so whatever the program or the tests
# need from a recommendation is named here: fonts-urw-base35 holds the fonts libwmf draws
# every WMF with (only recommended by libwmf; without it no WMF shows). The SVG image and
# icon plugins come with libqt6svg6 and the JPEG and GIF ones with Qt's GUI library itself.
# qt6-wayland lets Folivo run natively on a Wayland desktop instead of through XWayland.
# libavif and libjxl are opened when the first AVIF or JPEG XL page is met: their -dev
# packages give the headers and bring the libraries. The tests and the benchmark make 7z
# books with p7zip-full and the benchmark's AVIF pages with libavif-bin.
# The Debian package is built with CPack (dpkg-dev's dpkg-shlibdeps, file, binutils) and
# checked with lintian, appstream's validator and man.
FOLIVO_PACKAGES=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-image-formats-plugins qt6-svg-dev libqt6svg6 qt6-wayland
    libarchive-dev libdeflate-dev libisal-dev libwmf-dev libemf2svg-dev libjpeg62-turbo-dev
    libavif-dev libjxl-dev
    fonts-ipafont-gothic fonts-urw-base35
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth x11-apps xdotool imagemagick
    desktop-file-utils zip libarchive-tools clang libclang-rt-14-dev clang-tidy clang-format
    python3 libx11-6 libxtst6 libjpeg-turbo-progs p7zip-full libavif-bin
    lintian appstream dpkg-dev file man-db binutils
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

# Stops with one line naming what is missing, so that a missing package shows as such and
# not as failing tests further on.
folivo_check_deps() {
    local missing
    missing=$(folivo_missing_packages)
    if [ -n "$missing" ]; then
        echo "Missing packages: $missing (install them: apt-get install --no-install-recommends $missing)" >&2
        return 1
    fi
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
