#!/usr/bin/env bash
# Installs what is missing (Debian 12), builds, and then either runs the
# tests or starts the simulator.
#
#   ./kovar.sh test        build everything and run all tests
#   ./kovar.sh run [IMAGE] build the simulator and the runner only, then start
#                          the simulator (loading IMAGE when given)
#   ./kovar.sh sanitize    build and run all tests under ASan and UBSan
#   ./kovar.sh package     build everything and make a Debian package in build/
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ qt6-base-dev libgtest-dev libbenchmark-dev fonts-dejavu-core fonts-liberation2 locales)
# Qt's own texts (standard buttons, file dialogs, context menus) in Russian.
packages+=(qt6-translations-l10n)
# The icon's PNG sizes, the checks of the desktop entry and the file type,
# the manual pages, and the Debian package (dpkg-shlibdeps needs dpkg-dev and file).
packages+=(librsvg2-bin desktop-file-utils shared-mime-info libxml2-utils groff-base dpkg-dev file)
# The WebAssembly build of the libraries and programs (the browser edition's
# engine), and Node to run it in the tests.
packages+=(clang-19 lld-19 llvm-19 wasi-libc libc++-19-dev-wasm32 libc++abi-19-dev-wasm32 libclang-rt-19-dev-wasm32 nodejs)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

build() { # folder, extra cmake arguments...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j "$(nproc)"
}

build_targets() { # folder, targets...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja
    cmake --build "$dir" -j "$(nproc)" --target "$@"
}

run_tests() {
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$1" --output-on-failure -j "$(nproc)"
}

case "${1:-}" in
test)
    install_missing
    build build
    run_tests build
    ;;
sanitize)
    install_missing
    build build-sanitize -DKOVAR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests build-sanitize
    ;;
run)
    install_missing
    build_targets build kovar3 kovar3-run
    shift
    exec ./build/simulator/kovar3 "$@"
    ;;
package)
    install_missing
    build build
    (cd build && cpack -G DEB)
    ;;
*)
    echo "usage: $0 test | run [IMAGE] | sanitize | package" >&2
    exit 2
    ;;
esac
