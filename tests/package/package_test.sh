#!/bin/bash
# Builds the Debian package from the build tree (as `make deb` does, into a
# folder of its own) and checks what it holds: the files and their modes, the
# control fields, the dependencies of every library the program links, the
# manual page against --help, the AppStream metadata and the translations of
# both, and lintian's verdict.
# Usage: package_test.sh BUILD_DIR OUTPUT_DIR PROGRAM
set -euo pipefail
build=$1 out=$2 program=$3
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

version=$("$program" --version | sed -n 's/^tavora-wizard //p')
arch=$(dpkg --print-architecture)
rm -rf "$out"
mkdir -p "$out"
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
    cat "$out/cpack.log"
    echo "FAIL: cpack" >&2
    exit 1
fi
deb=$out/tavora-wizard_${version}_${arch}.deb
if [ ! -f "$deb" ]; then
    echo "FAIL: no $(basename "$deb") for version '$version'; made: $(ls "$out")" >&2
    exit 1
fi

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tavora-wizard ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), the program says $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
for name in Maintainer Section Priority Homepage Description; do
    [ -n "$(field $name)" ] || fail "no $name field"
done
# Every library the program links is reached through Depends: the package
# that holds the library on this machine is named there.
depends=$(field Depends)
depends_names=$(tr ',|' '\n\n' <<<"$depends" | awk '{ print $1 }')
depends_on() { grep -qxF "$1" <<<"$depends_names"; }
for library in $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path=$(ldd "$program" | awk -v lib="$library" '$1 == lib { print $3 }')
    owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -1 | cut -d: -f1) ||
        owner=$(dpkg -S "$path" | head -1 | cut -d: -f1)
    depends_on "$owner" || fail "$library ($owner) is not in Depends: $depends"
done
# The libraries opened at run time (dlopen) and the platform plugin and face.
for runtime in libpulse0 libproxy1v5 qt6-qpa-plugins fonts-dejavu-extra; do
    depends_on "$runtime" || fail "$runtime is not in Depends: $depends"
done

# The files, all owned by root, with Debian's modes, and nothing else.
listing=$(dpkg-deb -c "$deb")
files=$(awk '$1 !~ /^d/ { print $1, $2, $6 }' <<<"$listing" | sort)
expected=$(sort <<'FILES'
-rwxr-xr-x root/root ./usr/bin/tavora-wizard
-rw-r--r-- root/root ./usr/share/applications/tavora-wizard.desktop
-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/tavora-wizard.svg
-rw-r--r-- root/root ./usr/share/metainfo/live.tavora.wizard.metainfo.xml
-rw-r--r-- root/root ./usr/share/man/man1/tavora-wizard.1.gz
-rw-r--r-- root/root ./usr/share/doc/tavora-wizard/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/tavora-wizard/copyright
FILES
)
[ "$files" = "$expected" ] || fail "files differ from the expected list:
$(diff <(echo "$expected") <(echo "$files"))"
odd_dirs=$(awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root")' <<<"$listing")
[ -z "$odd_dirs" ] || fail "directories with other modes or owners: $odd_dirs"

root=$out/root
dpkg-deb -x "$deb" "$root"
file "$root/usr/bin/tavora-wizard" | grep -q ', stripped' || fail "the program is not stripped"
packaged_version=$("$root/usr/bin/tavora-wizard" --version) || fail "the packaged program does not run"
[ "$packaged_version" = "tavora-wizard $version" ] || fail "packaged --version: $packaged_version"
zcat "$root/usr/share/doc/tavora-wizard/changelog.gz" | head -1 | grep -qF "tavora-wizard ($version)" ||
    fail "the changelog does not start with version $version"

# The manual page renders without warnings and names every option of --help.
manual=$root/usr/share/man/man1/tavora-wizard.1.gz
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$manual" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "manual page warnings: $warnings"
rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --nh --nj -l "$manual" 2>/dev/null)
grep -qF "tavora-wizard $version" <<<"$rendered" || fail "the manual page does not show version $version"
for option in $("$program" --help | grep -oE '(^|[ [|])--?[a-z]+' | grep -oE -- '--?[a-z]+' | sort -u); do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$rendered" || fail "the manual page does not describe $option"
done

metainfo=$root/usr/share/metainfo/live.tavora.wizard.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "AppStream metadata is not valid"
grep -qF "<release version=\"$version\"" "$metainfo" || fail "AppStream metadata lacks release $version"
# The name, summary and description in each language the window speaks.
desktop=$root/usr/share/applications/tavora-wizard.desktop
for language in de fr es; do
    for key in Name GenericName Comment; do
        grep -q "^$key\[$language\]=." "$desktop" || fail "the desktop entry has no $key[$language]"
    done
    for element in name summary p li; do
        grep -q "<$element xml:lang=\"$language\">" "$metainfo" ||
            fail "the AppStream metadata has no <$element> in $language"
    done
done

lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"

[ "$failures" = 0 ] || exit 1
echo "$(basename "$deb") holds what it should"
