#!/usr/bin/env bash
# test_package.sh BUILD_DIR CPACK: the .deb of BUILD_DIR as Debian's tools and a user meet it:
# lintian finds nothing, it holds its manual pages, copyright, changelog and units, and unpacked
# with dpkg -x into a scratch root its programs answer --help and --version, its velmd (through
# the launcher, on the GT.M installed) makes the demo, and its maintainer scripts stop and purge
# the service.
set -euo pipefail
build=$1
cpack=$2
src=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cpack" --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1 \
  || { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$(ls "$scratch"/pkg/*.deb)
root=$scratch/root
dpkg -x "$deb" "$root"
dpkg-deb -e "$deb" "$scratch/control"
version=$(dpkg-deb -f "$deb" Version)

if command -v lintian >/dev/null; then
  lintian --pedantic "$deb" >"$scratch/lintian.txt" 2>&1 || true
  if grep -E '^[EWPX]: ' "$scratch/lintian.txt"; then
    fail "lintian --pedantic reports the tags above"
  fi
else
  echo "lintian is not installed (scripts/deps.sh installs it): the package is not linted"
fi

contents=$(dpkg-deb -c "$deb" | awk '{print substr($6, 2)}')
has() { grep -qxF "$1" <<<"$contents" || fail "the package lacks $1"; }
for f in /usr/share/doc/velmbank/copyright /usr/share/doc/velmbank/changelog.gz \
         /usr/share/doc/velmbank/README.Debian /usr/lib/systemd/system/velmd.service \
         /usr/share/doc/velmbank/examples/velmbank-import.service \
         /usr/share/doc/velmbank/examples/velmbank-import.timer /usr/lib/velmbank/velmd \
         /usr/share/velmbank/m/sys/_ZVELMD.m /usr/share/velmbank/m/velm/ZZ001b.m \
         /usr/share/velmbank/m/velm/VELMDEMO.m /usr/share/velmbank/demo/clbout.dbf \
         /usr/share/velmbank/demo/clbin.dbf /usr/share/velmbank/demo/clbout1c.txt \
         /usr/share/velmbank/demo/clbin1c.txt /usr/share/applications/velmbank.desktop \
         /usr/share/applications/velmsetup.desktop; do
  has "$f"
done
# Every file under /etc is the administrator's: a conffile.
for f in $(grep '^/etc/.*[^/]$' <<<"$contents"); do
  grep -qxF "$f" "$scratch/control/conffiles" || fail "$f is not a conffile"
done
grep -q "^velmbank ($version)" <(zcat "$root/usr/share/doc/velmbank/changelog.gz") \
  || fail "the changelog's latest entry is not version $version"

# Every program: a manual page, --help on stdout with exit 0, --version naming the package's.
programs=(velmbank velmbank-import velmsetup velmsetup-console velmd xapicall velmdist clbmaker dbfdump)
for p in "${programs[@]}"; do
  has "/usr/share/man/man1/$p.1.gz"
  exe=$root/usr/bin/$p
  [ -x "$exe" ] || fail "the package lacks /usr/bin/$p"
  QT_QPA_PLATFORM=offscreen "$exe" --help >"$scratch/help.txt" 2>"$scratch/help.err" \
    || fail "$p --help exits $?: $(cat "$scratch/help.err")"
  grep -q "usage: $p" "$scratch/help.txt" || fail "$p --help prints no usage on stdout"
  name=$(zcat "$root/usr/share/man/man1/$p.1.gz" | sed -n '/^\.SH NAME/{n;s/\\-/-/g;p;q}')
  [[ $name == "$p - "?* ]] || fail "the manual page of $p has no NAME line for it ($name)"
  [ "$(QT_QPA_PLATFORM=offscreen "$exe" --version)" = "$p $version" ] || fail "$p --version is not '$p $version'"
done
grep -q -- '--task' <("$root/usr/bin/velmbank-import" --help) || fail "velmbank-import --help says nothing of --task"

# Desktop entries start the programs without a file for a profile and show the package's icons.
for app in velmbank velmsetup; do
  entry=$root/usr/share/applications/$app.desktop
  [ "$(sed -n 's/^Exec=//p' "$entry")" = "$app" ] || fail "$app.desktop does not start plain $app"
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -e "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "$app.desktop shows icon $icon, which the package lacks"
done
# The units as systemd reads them, their programs those of the package.
mkdir "$scratch/units"
for u in usr/lib/systemd/system/velmd.service usr/share/doc/velmbank/examples/velmbank-import.service \
         usr/share/doc/velmbank/examples/velmbank-import.timer; do
  sed "s|=/usr/bin/|=$root/usr/bin/|" "$root/$u" >"$scratch/units/$(basename "$u")"
done
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify --man=no "$scratch"/units/* || fail "systemd-analyze verify refuses the units"
fi

# Every library the programs load comes from a package the .deb depends on; none is found
# through a path the build put into a program.
depends=$(dpkg-deb -f "$deb" Depends)
names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//')
owner() {
  local p
  for p in "$1" "${1#/usr}" "/usr$1"; do
    dpkg -S "$p" >"$scratch/owner" 2>/dev/null && { sed -n '1s/:.*//p' "$scratch/owner"; return; }
  done
}
libs=$(ldconfig -p)
for exe in "$root"/usr/bin/* "$root"/usr/lib/velmbank/velmd; do
  head -c4 "$exe" | grep -q 'ELF' || continue
  ! readelf -d "$exe" | grep -E 'R(UN)?PATH' || fail "$(basename "$exe") carries a library path"
  ! grep -qaF "$src" "$exe" || fail "$(basename "$exe") carries the path of the tree it was built in"
  for lib in $(readelf -d "$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path=$(awk -v l="$lib" '$1 == l && !p { print $NF; p = 1 }' <<<"$libs")
    [ -n "$path" ] || path=$(ls /usr/lib/x86_64-linux-gnu/fis-gtm/V*/"$lib" 2>/dev/null | head -1)
    pkg=$(owner "$(readlink -f "$path")")
    [ -n "$pkg" ] || pkg=$(owner "$path")
    [ -n "$pkg" ] || fail "$(basename "$exe") needs $lib, which no installed package provides"
    # fis-gtm-7.0 is the versioned package behind fis-gtm.
    grep -qxF -e "$pkg" -e "${pkg%-[0-9]*}" <<<"$names" \
      || fail "$(basename "$exe") needs $lib from $pkg, which the package does not depend on ($depends)"
  done
done

# velmd from the package makes the demo with the routines it was installed with.
unset VELMD_M_DIR gtm_dist
"$root/usr/bin/velmd" demo "$scratch/demo" >"$scratch/demo.log" 2>&1 || { cat "$scratch/demo.log"; fail "velmd demo"; }
for f in velmd.conf velmbank.ini clbout.dbf clbin.dbf; do
  [ -e "$scratch/demo/$f" ] || fail "velmd demo made no $f"
done
# The package's samples are the demo's.
for f in clbout.dbf clbin.dbf clbout1c.txt clbin1c.txt; do
  cmp -s "$scratch/demo/$f" "$root/usr/share/velmbank/demo/$f" || fail "the packaged $f differs from the demo's"
done
# Without the packaged routines it says so, naming the packaged folder: it read no other.
mv "$root/usr/share/velmbank/m/velm" "$root/usr/share/velmbank/m/velm.away"
if "$root/usr/bin/velmd" demo "$scratch/demo2" >"$scratch/demo2.log" 2>&1; then
  fail "velmd demo succeeded without the packaged routines: it reads routines from elsewhere"
fi
grep -qF "$root/usr/share/velmbank/m/velm" "$scratch/demo2.log" || { cat "$scratch/demo2.log"; fail "velmd named another folder"; }
mv "$root/usr/share/velmbank/m/velm.away" "$root/usr/share/velmbank/m/velm"

# The maintainer scripts under systemd, seen in a mount namespace of their own where systemd
# seems to run and its helpers only say what they were asked.
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
  mkdir "$scratch/bin"
  for helper in deb-systemd-invoke deb-systemd-helper systemctl; do
    printf '#!/bin/sh\necho %s "$@" >>%s\n' "$helper" "$scratch/calls" >"$scratch/bin/$helper"
    chmod +x "$scratch/bin/$helper"
  done
  PATH=$scratch/bin:$PATH unshare -m sh -c "mount -t tmpfs none /run && mkdir -p /run/systemd/system &&
    sh '$scratch/control/prerm' remove && sh '$scratch/control/prerm' upgrade 0.2" \
    || fail "prerm failed"
  grep -qx 'deb-systemd-invoke stop velmd.service' "$scratch/calls" || fail "prerm remove does not stop velmd.service"
  [ "$(grep -c stop "$scratch/calls")" = 1 ] || fail "prerm stops the service on an upgrade"
fi

echo "package $(basename "$deb"): $(wc -l <<<"$contents") entries, lintian clean, ${#programs[@]} programs with manual pages answer --help and --version, velmd demo ran from it"
