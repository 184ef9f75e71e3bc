#!/bin/sh
# Checks an installed tree or the Debian package of a build, as a user gets them:
#   checkInstalledPrograms.sh install BUILD_DIR   (cmake --install into a scratch prefix)
#   checkInstalledPrograms.sh package BUILD_DIR   (the .deb, unpacked into a scratch root)
# Both must hold the two programs, their compressed man pages and the copyright file; the programs run from there,
# cut frames out of a video made by FFmpeg and merge them; man renders both pages.
set -eu
mode=$1
build=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

case $mode in
install)
    cmake --install "$build" --prefix "$scratch/root/usr" >"$scratch/install.log" 2>&1 ||
        fail "cmake --install: $(cat "$scratch/install.log")"
    ;;
package)
    (cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/deb") >"$scratch/cpack.log" 2>&1 ||
        fail "cpack: $(cat "$scratch/cpack.log")"
    set -- "$scratch"/deb/*.deb
    [ -f "$1" ] || fail "cpack made no .deb"
    deb=$1
    dpkg-deb -c "$deb" >"$scratch/contents"
    for file in ./usr/bin/tessaline ./usr/bin/kadrimo ./usr/share/man/man1/tessaline.1.gz \
        ./usr/share/man/man1/kadrimo.1.gz ./usr/share/doc/tessaline/copyright; do
        grep -q " $file\$" "$scratch/contents" || fail "$file is not in the package: $(cat "$scratch/contents")"
    done
    # dpkg-shlibdeps found the libraries' packages; exiftool is named by hand.
    depends=$(dpkg-deb -f "$deb" Depends)
    for package in libopencv-core libraw libimage-exiftool-perl libc6; do
        case $depends in *"$package"*) ;; *) fail "Depends lacks $package: $depends" ;; esac
    done
    dpkg-deb -x "$deb" "$scratch/root"
    ;;
*)
    fail "usage: $0 install|package BUILD_DIR"
    ;;
esac

bin=$scratch/root/usr/bin
[ -s "$scratch/root/usr/share/doc/tessaline/copyright" ] || fail "the copyright file is missing"
man=$scratch/root/usr/share/man/man1
for program in tessaline kadrimo; do
    [ -x "$bin/$program" ] || fail "$bin/$program is missing"
    "$bin/$program" --version | grep -q "^$program [0-9]" || fail "$program --version"
    gzip -t "$man/$program.1.gz" || fail "$program.1.gz is not compressed"
    MANWIDTH=80 man -l "$man/$program.1.gz" >"$scratch/$program.txt" 2>"$scratch/man.err" ||
        fail "man -l $program.1.gz: $(cat "$scratch/man.err")"
    grep -q "^NAME" "$scratch/$program.txt" || fail "$program.1 renders no NAME section"
    # Each option stands on a line of its own, its description below it.
    grep -Eq -- "^ +-o,--output [A-Z]+ REQUIRED\$" "$scratch/$program.txt" ||
        fail "$program.1 does not list -o,--output on a line of its own: $(grep -- --output "$scratch/$program.txt")"
done

cd "$scratch"
ffmpeg -loglevel error -f lavfi -i testsrc=duration=1:size=96x64:rate=10 -pix_fmt yuv420p clip.mp4 ||
    fail "ffmpeg could not make a video"
"$bin/kadrimo" clip.mp4 -o frames --to 0.3 --format png || fail "the installed kadrimo"
[ "$(ls frames | wc -l)" -eq 3 ] || fail "kadrimo wrote $(ls frames | wc -l) frames, not 3"
"$bin/tessaline" -o merged.hdr frames/*.png || fail "the installed tessaline"
[ -s merged.hdr ] || fail "tessaline wrote no merged.hdr"
echo "$mode: both programs and both man pages work from $mode"
