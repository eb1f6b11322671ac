#!/usr/bin/env bash
# test_package.sh BUILD_DIR CPACK: the .deb of BUILD_DIR unpacked with dpkg -x into a scratch
# root; what it holds is complete and consistent, and its velmd and velmbank-import run from there.
set -euo pipefail
build=$1
cpack=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cpack" --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1 \
  || { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$(ls "$scratch"/pkg/*.deb)
root=$scratch/root
dpkg -x "$deb" "$root"

for f in bin/velmbank bin/velmbank-import bin/velmsetup bin/velmsetup-console bin/velmd bin/xapicall \
         bin/velmdist bin/clbmaker bin/dbfdump share/velmbank/m/sys/_ZVELMD.m share/velmbank/m/velm/ZZ001b.m \
         share/velmbank/m/velm/VELMDEMO.m share/velmbank/demo/clbout.dbf share/velmbank/demo/clbin.dbf \
         share/applications/velmbank.desktop share/applications/velmsetup.desktop \
         lib/systemd/system/velmd.service; do
  [ -e "$root/usr/$f" ] || fail "the package lacks /usr/$f"
done

# Desktop entries and the unit name programs and icons that the package holds.
for app in velmbank velmsetup; do
  entry=$root/usr/share/applications/$app.desktop
  exe=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -x "$root/usr/bin/$exe" ] || fail "$app.desktop runs $exe, which the package lacks"
  [ -e "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "$app.desktop shows icon $icon, which the package lacks"
done
grep -E '^Exec(Start|StartPre)=' "$root/usr/lib/systemd/system/velmd.service" | while IFS='=' read -r _ cmd; do
  exe=${cmd%% *}
  [ -x "$root$exe" ] || fail "velmd.service runs $exe, which the package lacks"
done

# Every library the programs load comes from a package the .deb depends on.
depends=$(dpkg-deb -f "$deb" Depends)
names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//')
owner() {
  local p
  for p in "$1" "${1#/usr}" "/usr$1"; do
    dpkg -S "$p" >"$scratch/owner" 2>/dev/null && { sed -n '1s/:.*//p' "$scratch/owner"; return; }
  done
}
libs=$(ldconfig -p)
for exe in "$root"/usr/bin/*; do
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
unset VELMD_M_DIR
"$root/usr/bin/velmd" demo "$scratch/demo" >"$scratch/demo.log" 2>&1 || { cat "$scratch/demo.log"; fail "velmd demo"; }
for f in velmd.conf velmbank.ini clbout.dbf clbin.dbf; do
  [ -e "$scratch/demo/$f" ] || fail "velmd demo made no $f"
done
# Without the packaged routines it says so, naming the packaged folder: it read no other.
mv "$root/usr/share/velmbank/m/velm" "$root/usr/share/velmbank/m/velm.away"
if "$root/usr/bin/velmd" demo "$scratch/demo2" >"$scratch/demo2.log" 2>&1; then
  fail "velmd demo succeeded without the packaged routines: it reads routines from elsewhere"
fi
grep -qF "$root/usr/share/velmbank/m/velm" "$scratch/demo2.log" || { cat "$scratch/demo2.log"; fail "velmd named another folder"; }

"$root/usr/bin/velmbank-import" --help >"$scratch/help.txt" 2>&1 || fail "velmbank-import --help"
grep -q -- '--task' "$scratch/help.txt" || { cat "$scratch/help.txt"; fail "velmbank-import --help says nothing of --task"; }
echo "package $(basename "$deb"): $(dpkg-deb -c "$deb" | wc -l) entries, velmd demo and velmbank-import --help ran from it"
