#!/usr/bin/env bash
# Checks the Debian package as a new user meets it, in a throwaway Debian 12 root made
# with debootstrap (minbase, so nothing but what the package depends on is there):
# `apt-get install ./quendral_<version>_<arch>.deb`, `quendral` started from PATH under
# Xvfb to its about box, then `apt-get purge` and `apt-get autoremove`, after which none
# of the package's files and none of the packages it brought in are left. Runs as root;
# every mount lives in a mount namespace of its own and goes with it; the root folder is
# removed at the end. Usage: package-check.sh [path of the .deb] (default: build/quendral_*.deb)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${QFIP_PACKAGE_CHECK_INNER:-}" ]; then
  deb=$(readlink -f "${1:-$(ls build/quendral_*.deb | tail -n 1)}")
  [ -f "$deb" ] || { echo "no package: run scripts/package.sh first" >&2; exit 1; }
  export QFIP_PACKAGE_CHECK_INNER=1
  exec unshare --mount --propagation private bash "$0" "$deb"
fi

deb=$1
root=$(mktemp -d /var/tmp/quendral-bookworm.XXXXXX)
chmod 755 "$root"   # apt downloads as the unprivileged _apt user
cleanup() {
  for m in "$root/dev/pts" "$root/dev" "$root/proc" "$root/sys"; do umount -l "$m" 2>/dev/null || true; done
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  DEBIAN_FRONTEND=noninteractive "$@"; }
installed() { in_root dpkg-query -W -f='${binary:Package}\n' | sort; }

echo "== debootstrap bookworm (minbase) into $root"
debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian > "$root.log" 2>&1 ||
  { tail -n 20 "$root.log"; exit 1; }
rm -f "$root.log"
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --rbind /dev "$root/dev"
cp /etc/resolv.conf "$root/etc/resolv.conf"
in_root apt-get update -qq
before=$(installed)

echo "== apt-get install ./$(basename "$deb")"
cp "$deb" "$root/tmp/"
in_root apt-get install -y -qq --no-install-recommends "./tmp/$(basename "$deb")" > /dev/null
in_root dpkg-query -W -f='${Package} ${Version} ${Status}\n' quendral
with_package=$(installed)
files=$(in_root dpkg-query -L quendral | while read -r f; do [ -d "$root$f" ] || echo "$f"; done)
echo "$files"

echo "== quendral from PATH under Xvfb"
in_root apt-get install -y -qq --no-install-recommends xvfb xdotool x11-utils > /dev/null
mkdir -p "$root/opt/check"
cp tests/install/start_to_about_box.sh "$root/opt/check/"
in_root bash /opt/check/start_to_about_box.sh quendral
in_root apt-get purge -y -qq xvfb xdotool x11-utils > /dev/null
in_root apt-get autoremove --purge -y -qq > /dev/null
[ "$(installed)" = "$with_package" ] || { echo "the checking tools left packages behind" >&2; exit 1; }

echo "== apt-get purge quendral, apt-get autoremove --purge"
in_root apt-get purge -y -qq quendral > /dev/null
in_root apt-get autoremove --purge -y -qq > /dev/null
if in_root dpkg-query -W quendral 2>/dev/null; then echo "dpkg still knows quendral" >&2; exit 1; fi
left=$(echo "$files" | while read -r f; do [ ! -e "$root$f" ] || echo "$f"; done)
[ -z "$left" ] || { echo "files left behind:"; echo "$left"; exit 1; } >&2
diff <(echo "$before") <(installed) || { echo "packages left behind (> above)" >&2; exit 1; }
echo "package check: installed in a fresh Debian 12 root, started to its about box, purged without leftovers"
