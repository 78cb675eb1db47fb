#!/usr/bin/env bash
# Checks of what `cmake --install` and `cpack -G DEB` deliver.
#
#   install_check.sh install|desktop|mime|man|deb SOURCE_DIR BUILD_DIR
#
# Exit status 0 passed, 1 failed, 77 skipped (a tool the check needs is missing).
set -euo pipefail
check=$1
src=$2
build=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
skip() {
    echo "SKIP: $*"
    exit 77
}
have() { command -v "$1" >/dev/null 2>&1; }

# A memory image: TOS := SOS + TOS with a pop of DS at 0, the halt word at 4,
# DS holding 2 and 3.
make_image() {
    head -c 2148 /dev/zero >"$1"
    printf '\x61\x01\x00\x4f\xff\xff\xff\xff' | dd of="$1" conv=notrunc status=none
    printf '\x02\x00\x00\x00\x03\x00\x00\x00' | dd of="$1" bs=1 seek=2002 conv=notrunc status=none
}

# Runs a runner on the image and checks the trace and the final state.
check_runner() {
    local runner=$1 image=$tmp/sum.emu out
    make_image "$image"
    out=$("$runner" --state "$image") || fail "$runner exited with $?"
    grep -qx 'PC: 00000000 IR: 6101004F 01100001000000010000000001001111' <<<"$out" ||
        fail "no heading line in: $out"
    grep -qx 'TOS: 00000005' <<<"$out" || fail "TOS not written in: $out"
    grep -qx 'Halt' <<<"$out" || fail "no Halt in: $out"
    grep -q '^DS: 00000005 00000000 ' <<<"$out" || fail "wrong final DS in: $out"
}

gui_built() { [ -x "$build/simulator/kovar3" ]; }

case $check in
install)
    prefix=$tmp/prefix
    cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
    # The guides and examples that the simulator's help menu opens.
    expected=(bin/kovar3-run share/man/man1/kovar3-run.1 share/doc/kovar3/README.md
        share/doc/kovar3/user-guide.md share/doc/kovar3/assembly.md
        share/doc/kovar3/images/main-window.png share/doc/kovar3/examples/sum.kasm)
    if gui_built; then
        expected+=(bin/kovar3 share/applications/kovar3.desktop share/mime/packages/kovar3.xml
            share/icons/hicolor/scalable/apps/kovar3.svg share/man/man1/kovar3.1)
        if have rsvg-convert; then
            for s in 16 32 48 64 128 256; do
                expected+=("share/icons/hicolor/${s}x$s/apps/kovar3.png")
            done
        fi
    fi
    # Every installed program comes with its manual page.
    for program in "$prefix"/bin/*; do
        expected+=("share/man/man1/$(basename "$program").1")
    done
    for f in "${expected[@]}"; do
        [ -e "$prefix/$f" ] || [ -e "$prefix/$f.gz" ] || fail "not installed: $f"
    done
    for png in "$prefix"/share/icons/hicolor/*x*/apps/kovar3.png; do
        [ -e "$png" ] || continue
        size=$(basename "$(dirname "$(dirname "$png")")")
        if have file; then
            file "$png" | grep -q "${size/x/ x } *," || fail "$png is not $size: $(file "$png")"
        fi
    done
    check_runner "$prefix/bin/kovar3-run"
    if gui_built; then
        version=$(QT_QPA_PLATFORM=offscreen "$prefix/bin/kovar3" --version 2>/dev/null)
        [[ $version == "kovar3 "* ]] || fail "kovar3 --version printed: $version"
        status=0
        QT_QPA_PLATFORM=offscreen "$prefix/bin/kovar3" a.emu b.emu >/dev/null 2>&1 || status=$?
        [ "$status" -eq 2 ] || fail "two images: exit $status instead of 2"
    fi
    ;;
desktop)
    have desktop-file-validate || skip "desktop-file-validate is not installed"
    desktop-file-validate "$src/data/kovar3.desktop" || fail "the desktop entry is not valid"
    grep -qx 'Exec=kovar3 %f' "$src/data/kovar3.desktop" || fail "Exec does not pass the file"
    grep -q '^MimeType=.*application/x-kovar3-image;' "$src/data/kovar3.desktop" ||
        fail "the desktop entry does not open memory images"
    ;;
mime)
    xml=$src/data/kovar3-mime.xml
    checked=no
    if have xmllint; then
        xmllint --noout "$xml" || fail "$xml is not well-formed"
        checked=yes
    fi
    if have update-mime-database; then
        mkdir -p "$tmp/mime/packages"
        cp "$xml" "$tmp/mime/packages/kovar3.xml"
        update-mime-database "$tmp/mime" >/dev/null 2>&1 || fail "update-mime-database failed"
        grep -qx 'application/x-kovar3-image:\*\.emu' "$tmp/mime/globs" ||
            fail "*.emu is not mapped to application/x-kovar3-image"
        checked=yes
    fi
    [ $checked = yes ] || skip "neither xmllint nor update-mime-database is installed"
    ;;
man)
    have groff || skip "groff is not installed"
    for page in "$src"/docs/man/*.1; do
        warnings=$(groff -k -man -Tutf8 -ww -z "$page" 2>&1)
        [ -z "$warnings" ] || fail "$page: $warnings"
    done
    ;;
deb)
    for tool in cpack dpkg-deb dpkg-shlibdeps; do
        have $tool || skip "$tool is not installed"
    done
    (cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1) ||
        { cat "$tmp/cpack.log" >&2; fail "cpack failed"; }
    deb=$(ls "$tmp"/out/kovar3_*.deb)
    [ "$(dpkg-deb -f "$deb" Package)" = kovar3 ] || fail "package name"
    [ "$(dpkg-deb -f "$deb" Section)" = education ] || fail "section"
    depends=$(dpkg-deb -f "$deb" Depends)
    grep -q 'libc6' <<<"$depends" || fail "no libraries found for Depends: $depends"
    if gui_built; then
        grep -q 'libqt6widgets6' <<<"$depends" || fail "Qt missing from Depends: $depends"
        grep -q 'qt6-translations-l10n' <<<"$depends" || fail "Qt's translations missing: $depends"
    fi
    dpkg-deb -x "$deb" "$tmp/root"
    check_runner "$tmp/root/usr/bin/kovar3-run"
    ;;
*)
    fail "unknown check $check"
    ;;
esac
echo "PASS: $check"
