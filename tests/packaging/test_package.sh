#!/usr/bin/env bash
# Builds the Debian package from the build folder, unpacks it into a scratch root and checks what
# a user gets: the installed command runs (--version needs no display, a window says that there is
# none), the desktop entry and the AppStream file validate, the dependency line names the shared
# libraries and Python and recommends the office, the office helper says what is missing when
# LibreOffice's bridge is absent, and lintian (when installed) finds no error or warning.
# usage: test_package.sh <build dir>
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) ||
  { cat "$scratch/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$scratch"/out/vidazorov_*.deb)
root=$scratch/root
dpkg-deb -x "$deb" "$root"
echo "package: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
echo "Recommends: $(dpkg-deb -f "$deb" Recommends)"

for f in usr/bin/vidazorov usr/lib/vidazorov/vidazorov usr/lib/vidazorov/vidazorov-office.py \
         usr/lib/vidazorov/vidazorov.doc usr/share/applications/vidazorov.desktop \
         usr/share/icons/hicolor/scalable/apps/vidazorov.svg \
         usr/share/metainfo/org.vidazorov.vidazorov.metainfo.xml usr/share/man/man1/vidazorov.1.gz; do
  [ -e "$root/$f" ] || fail "$f is not in the package"
done
[ -L "$root/usr/bin/vidazorov" ] || fail "usr/bin/vidazorov is not a link"
[ -x "$root/usr/lib/vidazorov/vidazorov-office.py" ] || fail "the office helper is not executable"

version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/vidazorov" --version)
[ "$version" = "vidazorov 1.1" ] || fail "--version printed '$version'"
set +e
env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/vidazorov" --no-such-option 2>"$scratch/err"
rc=$?
set -e
[ "$rc" = 2 ] || fail "an unknown option ended with status $rc"
grep -q "unknown option '--no-such-option'" "$scratch/err" || fail "no message for an unknown option"
# Without a display: one line that says so and how to start it, and status 1 (not the toolkit's
# abort).
set +e
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/vidazorov" 2>"$scratch/err"
rc=$?
set -e
[ "$rc" = 1 ] || fail "without a display the program ended with status $rc"
[ "$(wc -l <"$scratch/err")" = 1 ] && grep -q "xvfb-run" "$scratch/err" ||
  fail "without a display it said: $(cat "$scratch/err")"

desktop-file-validate "$root/usr/share/applications/vidazorov.desktop" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.vidazorov.vidazorov.metainfo.xml" ||
  fail "appstreamcli validate"
zcat "$root/usr/share/man/man1/vidazorov.1.gz" | grep -q '^\.SH OPTIONS' || fail "man page"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6printsupport6 libc6 fonts-liberation2 python3; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
[ "$recommends" = "libreoffice-writer, libreoffice-calc, python3-uno" ] ||
  fail "Recommends: $recommends"

# Without python3-uno (-S keeps the system's packages out of the path), the helper answers every
# office request with what is missing instead of failing silently.
answer=$(echo '{"id": 1, "op": "create", "progid": "Word.Basic", "office": {"pipe": "x"}}' |
  timeout 20 python3 -S "$root/usr/lib/vidazorov/vidazorov-office.py")
[[ $answer == *'"ok": false'* && $answer == *python3-uno* ]] ||
  fail "the helper without the office bridge answered: $answer"
for f in usr/share/doc/vidazorov/copyright usr/share/doc/vidazorov/changelog.gz; do
  [ -e "$root/$f" ] || fail "$f is not in the package"
done
# The program is hardened: its relocations are resolved at start (and then read-only), and it
# calls the checked variants of the string and memory functions. Only release builds are: a
# sanitizer or debug build (CI's second pass) packs what it has.
cache=$build/CMakeCache.txt
if grep -q '^VZ_SANITIZE:BOOL=ON' "$cache" || grep -q '^CMAKE_BUILD_TYPE:STRING=Debug' "$cache"; then
  echo "hardening not checked: a sanitizer or debug build"
else
  [[ $(readelf -d "$root/usr/lib/vidazorov/vidazorov") == *BIND_NOW* ]] ||
    fail "not linked with -z now"
  [[ $(readelf --dyn-syms -W "$root/usr/lib/vidazorov/vidazorov") =~ __[a-z]+_chk ]] ||
    fail "not built with _FORTIFY_SOURCE"
fi

# Lintian at its default level, errors and warnings alike (it only reports, a machine without it
# skips this part).
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" >"$scratch/lintian" 2>&1 || true
  echo "lintian:"
  sed 's/^/  /' "$scratch/lintian"
  if grep -qE '^[EW]: ' "$scratch/lintian"; then fail "lintian reports errors or warnings"; fi
else
  echo "lintian is not installed: the package was not reviewed by it"
fi
echo "package checks passed"
