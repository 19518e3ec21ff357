#!/usr/bin/env bash
# Installs the built program into a temporary folder (DESTDIR, prefix /usr) as a package
# would, checks that every file is in its standard place and nothing else is installed,
# validates the menu entry and the software-centre description, and starts the INSTALLED
# program under Xvfb until its about box is up.
# Usage: run_install_test.sh <build folder> <source folder> <1 if the helper is built, else 0>
set -euo pipefail
build=$(readlink -f "$1")
source=$(readlink -f "$2")
with_helper=$3
app_id=org.quendral.Quendral

dest=$(mktemp -d /tmp/quendral-install.XXXXXX)
trap 'rm -rf "$dest"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
root="$dest/usr"

# Every installed file, and only these, where the FHS, the freedesktop.org standards
# and Debian put them.
expected=(
  bin/quendral
  share/applications/$app_id.desktop
  share/metainfo/$app_id.metainfo.xml
  share/icons/hicolor/scalable/apps/$app_id.svg
  share/man/man1/quendral.1.gz
  share/doc/quendral/copyright
  share/doc/quendral/changelog.gz
)
sizes=(16 32 48 64 128 256)
for size in "${sizes[@]}"; do expected+=("share/icons/hicolor/${size}x${size}/apps/$app_id.png"); done
if [ "$with_helper" = 1 ]; then expected+=(libexec/quendral/quendral-render); fi
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$root" && find . ! -type d | sed 's|^\./||' | sort) ||
  fail "installed files differ from the expected ones (< expected, > installed)"
[ -z "$(cd "$dest" && find . -mindepth 1 -maxdepth 1 ! -name usr)" ] || fail "files installed outside the prefix"

# The programs run from anywhere: executable, no search path for libraries, no path of
# this build or source folder inside.
programs=("$root/bin/quendral")
if [ "$with_helper" = 1 ]; then programs+=("$root/libexec/quendral/quendral-render"); fi
for program in "${programs[@]}"; do
  [ -x "$program" ] || fail "$program is not executable"
  dynamic=$(readelf -d "$program")
  ! grep -q -E 'R(UN)?PATH' <<< "$dynamic" || fail "$program carries a library search path"
  ! grep -q -F -e "$build" -e "$source" "$program" || fail "$program names a build or source folder"
done

# Each bitmap icon has the size of its folder.
for size in "${sizes[@]}"; do
  got=$(identify -format '%wx%h' "$root/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
  [ "$got" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $got"
done
gzip -t "$root/share/man/man1/quendral.1.gz" "$root/share/doc/quendral/changelog.gz"

# The menu entry and the description are valid, and what they name is installed.
desktop-file-validate "$root/share/applications/$app_id.desktop" | { grep -v ': hint: ' || true; } | { ! grep . ; } ||
  fail "desktop-file-validate found faults"
appstreamcli validate --no-net --strict "$root/share/metainfo/$app_id.metainfo.xml" >/dev/null ||
  { appstreamcli validate --no-net --strict "$root/share/metainfo/$app_id.metainfo.xml"; fail "appstreamcli validate"; }
appstreamcli validate-tree --no-net --strict "$root" >/dev/null ||
  { appstreamcli validate-tree --no-net --strict "$root"; fail "appstreamcli validate-tree"; }
entry() { sed -n "s/^$1=//p" "$root/share/applications/$app_id.desktop"; }
[ -x "$root/bin/$(entry Exec)" ] || fail "the menu entry starts $(entry Exec), which is not installed"
[ "$(entry Icon)" = "$app_id" ] || fail "the menu entry's icon is $(entry Icon)"

# The installed program starts and shows its about box from an unrelated folder. Where
# mount namespaces are allowed, it runs with the build and source folders hidden behind
# empty ones, so nothing of them can be found.
hide=()
if unshare --mount --propagation private true 2>/dev/null; then
  hide=(unshare --mount --propagation private sh -c \
    'mount -t tmpfs none "$1" && mount -t tmpfs none "$2" && shift 2 && exec "$@"' sh "$build" "$source")
else
  echo "note: no mount namespace here; the build and source folders stay visible" >&2
fi
bash "$(dirname "$0")/start_to_about_box.sh" "${hide[@]}" "$root/bin/quendral"

# The installed helper draws a metafile, an icon and a metafile's text and refuses a
# broken one, under its limits, its filter and its file confinement (the text shows that
# its fonts stay readable), with the build and source folders hidden.
# The test program is copied out of the build folder first.
if [ "$with_helper" = 1 ]; then
  cp "$build/tests/test_exchange" "$dest/test_exchange"
  QFIP_TEST_RENDER_HELPER="$root/libexec/quendral/quendral-render" "${hide[@]}" \
    "$dest/test_exchange" --gtest_filter=ClientTest.TheRealHelperDrawsAndRefuses --gtest_brief=1 ||
    fail "the installed helper does not draw"
fi
echo "install test: ${#expected[@]} files in place, entry and description valid, installed program started"
