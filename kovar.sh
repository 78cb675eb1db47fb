#!/usr/bin/env bash
# Installs what is missing (Debian 12), builds, and then either runs the
# tests or starts the simulator.
#
#   ./kovar.sh test        build everything and run all tests
#   ./kovar.sh run [IMAGE] build the simulator and the runner only, then start
#                          the simulator (loading IMAGE when given)
#   ./kovar.sh sanitize    build and run all tests under ASan and UBSan
#   ./kovar.sh package     build everything and make a Debian package in build/
#   ./kovar.sh web [--build]
#                          build the browser edition into web/dist/ and serve it
#                          at http://127.0.0.1:8080/ (--build: only build it)
set -euo pipefail
cd "$(dirname "$0")"

# The simulator itself: compiler, build tools, Qt, fonts and Qt's own texts
# (standard buttons, file dialogs, context menus) in Russian.
run_packages=(cmake ninja-build g++ qt6-base-dev fonts-dejavu-core fonts-liberation2 qt6-translations-l10n)
# The browser edition: the WebAssembly toolchain for the engine (llvm-19's
# archiver reads clang-19's link-time-optimised objects), and Node with npm
# for the page's build (Node 20 or later; a machine that has node and npm
# from elsewhere keeps them).
wasm_packages=(clang-19 lld-19 llvm-19 wasi-libc libc++-19-dev-wasm32 libc++abi-19-dev-wasm32 libclang-rt-19-dev-wasm32)
node_packages=()
command -v node >/dev/null 2>&1 || node_packages+=(nodejs)
command -v npm >/dev/null 2>&1 || node_packages+=(npm)
web_packages=(cmake ninja-build "${wasm_packages[@]}" "${node_packages[@]}")
# Everything the tests need besides: GoogleTest, Google Benchmark, locales;
# the icon's PNG sizes, the checks of the desktop entry and the file type,
# the manual pages, and the Debian package (dpkg-shlibdeps needs dpkg-dev and
# file); Debian's Chromium for the page's tests.
packages=("${run_packages[@]}" libgtest-dev libbenchmark-dev locales)
packages+=(librsvg2-bin desktop-file-utils shared-mime-info libxml2-utils groff-base dpkg-dev file)
packages+=("${wasm_packages[@]}" "${node_packages[@]}" chromium)

install_missing() { # packages (all of the list above when none are given)
    local wanted=("$@")
    [ ${#wanted[@]} -gt 0 ] || wanted=("${packages[@]}")
    local missing=()
    for p in "${wanted[@]}"; do
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

# The engine for the page (cmake/wasm32-wasi.cmake), then the page itself.
build_web() {
    cmake -S . -B build-wasm -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/wasm32-wasi.cmake \
        -DKOVAR_GUI=OFF -DKOVAR_BENCH=OFF
    cmake --build build-wasm -j "$(nproc)" --target kovar-engine
    web/build.sh build-wasm/web/engine/kovar-engine.wasm web/dist
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
    install_missing "${run_packages[@]}"
    build_targets build kovar3 kovar3-run
    shift
    exec ./build/simulator/kovar3 "$@"
    ;;
package)
    install_missing
    build build
    (cd build && cpack -G DEB)
    ;;
web)
    install_missing "${web_packages[@]}"
    build_web
    [ "${2:-}" = "--build" ] && exit 0
    echo "KOVAR 3 in the browser: http://127.0.0.1:8080/"
    cd web
    exec npx --no-install vite preview --host 127.0.0.1 --port 8080 --strictPort
    ;;
*)
    echo "usage: $0 test | run [IMAGE] | sanitize | package | web [--build]" >&2
    exit 2
    ;;
esac
