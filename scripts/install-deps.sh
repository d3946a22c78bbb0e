#!/usr/bin/env bash
# Installs what Kanvo's build, tests and app need, only where it is missing.
# Safe to run again: with everything present it only checks and returns.
# --bench also tries the viewers the benchmarks compare against; they are
# optional, and the benchmarks skip a viewer's rows when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

# Debian/Ubuntu packages: build tools, Qt 6, icons, the JPEG and PNG codecs
# (libjpeg-turbo, with TurboJPEG for the benchmarks' baseline; libspng and
# libdeflate; zlib, with which the hostile-file test writes its bombs), test
# and benchmark libraries, Node.js, the X tools the whole-app tests drive (and
# Xlib with XTest, which the benchmarks' screen sampler reads the screen and
# presses keys with), the validators and packaging tools the install tests use,
# for the corpus test the reference decoders (djpeg, pngtopam), and colord's
# ICC profiles (the corpus test's and the benchmarks' tagged files).
debian_packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev clang-format
    qt6-base-dev qt6-svg-dev libqt6svg6 qt6-image-formats-plugins qt6-qpa-plugins libgl-dev
    breeze-icon-theme fonts-dejavu-core
    libjpeg-dev libturbojpeg0-dev libspng-dev libdeflate-dev zlib1g-dev liblcms2-dev libxcb1-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool imagemagick libx11-dev libxtst-dev
    desktop-file-utils appstream dpkg-dev file
    libjpeg-turbo-progs netpbm colord-data
)
# Only for ./bench.sh: the other viewers to time against, each a package of
# the same name as its command.
bench_packages=(feh geeqie qimgv nsxiv gwenview eog)

missing_debian_packages() { # prints those of the packages "$@" that are not installed
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            echo "$pkg"
        fi
    done
}

missing_node() {
    # A Node.js from another source (with its own npm) is fine; only add
    # Debian's when there is none.
    command -v node >/dev/null || echo nodejs
    command -v npm >/dev/null || echo npm
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        echo "install-deps: need root (or sudo) to run: $*" >&2
        exit 1
    fi
}

install_debian() {
    local missing
    missing=$(missing_debian_packages "${debian_packages[@]}"; missing_node)
    if [ -n "$missing" ]; then
        echo "install-deps: installing:" $missing
        as_root apt-get update -qq
        # shellcheck disable=SC2086
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
    fi
}

install_debian_bench() { # best effort: a viewer apt cannot find or install is left out
    local missing pkg
    missing=$(missing_debian_packages "${bench_packages[@]}")
    [ -n "$missing" ] || return 0
    as_root apt-get update -qq || true
    for pkg in $missing; do
        if ! apt-cache show "$pkg" >/dev/null 2>&1; then
            echo "install-deps: apt has no $pkg (the benchmarks skip it)" >&2
            continue
        fi
        echo "install-deps: installing for the benchmarks: $pkg"
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$pkg" ||
            echo "install-deps: could not install $pkg (the benchmarks skip it)" >&2
    done
}

install_macos() {
    local formulae=(cmake ninja qt jpeg-turbo libspng libdeflate little-cms2 googletest google-benchmark node imagemagick
                    netpbm)
    local missing=()
    local f
    for f in "${formulae[@]}"; do
        brew list --formula "$f" >/dev/null 2>&1 || missing+=("$f")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        brew install "${missing[@]}"
    fi
}

install_npm_packages() {
    # The generate script and the local server resolve their packages from
    # the repository's node_modules; reinstall only when the lock file changed.
    [ -f package-lock.json ] || return 0
    if [ ! -f node_modules/.package-lock.json ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
        npm ci --no-audit --no-fund --loglevel=error
    fi
}

if command -v apt-get >/dev/null && command -v dpkg-query >/dev/null; then
    install_debian
    if [ "${1:-}" = --bench ]; then
        install_debian_bench
    fi
elif [ "$(uname -s)" = Darwin ] && command -v brew >/dev/null; then
    install_macos
else
    echo "install-deps: unsupported system; install these yourself:" >&2
    echo "  CMake >= 3.25, Ninja, a C++20 compiler, Qt 6 (Widgets, Network, Concurrent, Test, Svg)," >&2
    echo "  the Breeze icon theme, libjpeg-turbo (with TurboJPEG), libspng, libdeflate, GoogleTest," >&2
    echo "  Google Benchmark," >&2
    echo "  Node.js >= 18 with npm, desktop-file-utils, appstream, dpkg-dev," >&2
    echo "  for the whole-app tests Xvfb, xauth, xdotool and ImageMagick, for the corpus test" >&2
    echo "  libjpeg-turbo's djpeg, netpbm, Little CMS 2 and colord's ICC profiles, and for the" >&2
    echo "  benchmarks Xlib with XTest, colord's ICC profiles and, optional, the viewers" >&2
    echo "  feh, geeqie, qimgv, nsxiv, gwenview and eog." >&2
    exit 1
fi
install_npm_packages
