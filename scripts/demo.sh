#!/usr/bin/env bash
# The product as a newcomer meets it. Installs what is missing, builds (release preset), makes
# or keeps the demo data folder, starts velmd for this session and stops it at the end.
#
#   bash scripts/demo.sh         the gateway velmbank on the demo; without a display the
#                                unattended import of both sample files, and screenshots of the
#                                login dialog and the main window made under xvfb-run
#   bash scripts/demo.sh setup   the installer velmsetup on a distribution of the gateway's
#                                server routines; without a display the same installation
#                                through the installer's stages, with its log
#
# The demo folder is $VELM_DEMO_DIR, or ~/velmbank-demo. VELM_DEMO_HEADLESS=1 takes the path
# without a display even where there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD

mode=${1:-gateway}
if [ "$mode" != gateway ] && [ "$mode" != setup ]; then
  echo "usage: bash scripts/demo.sh [setup]" >&2
  exit 2
fi
headless=1
if [ -z "${VELM_DEMO_HEADLESS:-}" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  headless=
fi

say() { printf '\n== %s\n' "$*"; }

# What is missing: the build's packages, and for screenshots without a display xdotool,
# which types into the login dialog.
bash scripts/deps.sh
if [ -n "$headless" ] && [ "$mode" = gateway ] && ! command -v xdotool >/dev/null; then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  echo "installing: xdotool"
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends xdotool \
    || { "${as_root[@]}" apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
         "${as_root[@]}" apt-get install -y -qq --no-install-recommends xdotool; }
fi

say "Building (release preset, build/release)"
[ -f build/release/build.ninja ] || cmake --preset release >/dev/null
cmake --build build/release -j "$(nproc)" --target velmd velmbank velmbank-import velmsetup velmsetup-console velmdist
bin=$src/build/release
velmd=$bin/server/velmd/velmd

demo=${VELM_DEMO_DIR:-$HOME/velmbank-demo}
mkdir -p "$demo"
demo=$(cd "$demo" && pwd)
say "Demo data in $demo (kept between runs)"
"$velmd" demo "$demo"
if [ "$mode" = setup ]; then
  ns=VELMW
  "$velmd" namespace "$demo" "$ns"
fi

# The server for this session: the usual ports when they are free, any free ones otherwise.
port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
ports=(--xapi-port 0 --vism-port 0)
if port_free 1973 && port_free 1972; then
  ports=(--xapi-port 1973 --vism-port 1972)
fi
"$velmd" serve "$demo" "${ports[@]}" >"$demo/velmd.ports" 2>"$demo/velmd.log" &
server=$!
stop_server() {
  kill -TERM "$server" 2>/dev/null && wait "$server" 2>/dev/null || true
}
trap stop_server EXIT
trap 'exit 130' INT TERM
for _ in $(seq 100); do
  grep -q '^vism ' "$demo/velmd.ports" 2>/dev/null && break
  kill -0 "$server" 2>/dev/null || { cat "$demo/velmd.log" >&2; exit 1; }
  sleep 0.1
done
xapi_port=$(awk '$1 == "xapi" { print $2 }' "$demo/velmd.ports")
vism_port=$(awk '$1 == "vism" { print $2 }' "$demo/velmd.ports")
[ -n "$xapi_port" ] && [ -n "$vism_port" ] || { echo "velmd did not start:" >&2; cat "$demo/velmd.log" >&2; exit 1; }
# The profile keeps its CR LF line ends.
sed -i "s/^Port=[0-9]*/Port=$xapi_port/" "$demo/velmbank.ini"
echo "velmd serves $demo: XAPI on port $xapi_port, VisM on port $vism_port (log: $demo/velmd.log)"

# ---- the installer ----------------------------------------------------------------------------
if [ "$mode" = setup ]; then
  dist=$demo/setup
  rm -rf "$dist/src"
  mkdir -p "$dist/src"
  # The gateway's server half; VELMDEMO only seeds the demo.
  for f in "$src"/server/m/velm/*.m; do
    [ "$(basename "$f")" = VELMDEMO.m ] || cp "$f" "$dist/src/"
  done
  cat >"$dist/manifest.txt" <<'EOF'
product = Шлюз ВЕЛЬМ-Банк
version = 2.8
date = 09.12.2024
key = 1
password = Секрет
programs = ZZ001 ZZ001a ZZ001b ZZ001c %cplogG %caA03
EOF
  say "The distribution: velmdist"
  "$bin/tools/velmdist/velmdist" "$dist/src" "$dist/manifest.txt" "$dist/velminstal.dat"
  if [ -z "$headless" ]; then
    say "velmsetup in $dist"
    echo "Connection: IP 127.0.0.1, port $vism_port; account velmsetup, password velmsetup;"
    echo "namespace $ns (made for this; percent routines go to %SYS anyway)."
    (cd "$dist" && "$bin/velmsetup/ui/velmsetup")
    echo "The installer's log: $dist/velmsetup.txt"
  else
    say "Installing into namespace $ns through the installer's stages (no display)"
    (cd "$dist" && VELMSETUP_USER=velmsetup VELMSETUP_PASSWORD=velmsetup \
       "$bin/velmsetup/console/velmsetup-console" "$ns" 127.0.0.1 "$vism_port")
    echo
    echo "The installer's log: $dist/velmsetup.txt"
  fi
  exit 0
fi

# ---- the gateway ------------------------------------------------------------------------------
if [ -z "$headless" ]; then
  say "velmbank in $demo"
  echo "Login «Регистрация»: user 1, password velm1, personal password lich1"
  echo "(users 2 and 3 have fewer rights: server/m/README.md). Closing the main window ends the demo."
  (cd "$demo" && "$bin/velmbank/shell/velmbank")
  exit 0
fi

export VELMBANK_USER=1 VELMBANK_PASSWORD=velm1 VELMBANK_PRIVATE=lich1
summary=()
for task in 1 2; do
  if [ $task = 1 ]; then what="money out, clbout.dbf"; else what="money in, clbin.dbf"; fi
  say "velmbank-import --task $task ($what)"
  rc=0
  "$bin/velmbank/batch/velmbank-import" --profile "$demo/velmbank.ini" --task $task --surname Иванова \
    --similar close --protocol "$demo/import-task$task.txt" >"$demo/import-task$task.out" || rc=$?
  cat "$demo/import-task$task.out"
  # 1 is refused records, which the listing shows; 2 and 3 are failures.
  [ $rc -le 1 ] || { echo "velmbank-import failed (exit $rc)" >&2; exit $rc; }
  last=$(grep -v $'\t' "$demo/import-task$task.out" | tail -1 || true)
  records=$(grep -c $'\t' "$demo/import-task$task.out" || true)
  summary+=("task $task: $records records; ${last:-nothing created or closed}")
done

say "Screenshots of velmbank under xvfb-run"
shots=$demo/.screens
rm -rf "$shots"
mkdir -p "$shots"
export VELMBANK_SCREENSHOTS=$shots SRC_BIN=$bin DEMO=$demo
# Types into the login dialog once it shows; the program closes its main window after its picture.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -u
  cd "$DEMO"
  "$SRC_BIN/velmbank/shell/velmbank" 2>"$VELMBANK_SCREENSHOTS/velmbank.err" &
  app=$!
  wait_for() { for _ in $(seq 300); do [ -e "$1" ] && return 0; kill -0 $app 2>/dev/null || return 1; sleep 0.1; done; return 1; }
  wait_for "$VELMBANK_SCREENSHOTS/Registration.png" || { kill $app 2>/dev/null; exit 1; }
  # No window manager gives the dialog the keyboard: it is given by hand.
  win=$(xdotool search --onlyvisible --name "Регистрация" | head -1)
  [ -n "$win" ] && timeout 5 xdotool windowfocus --sync "$win"
  xdotool type --delay 20 1 && xdotool key Tab && xdotool type --delay 20 velm1 \
    && xdotool key Tab && xdotool type --delay 20 lich1 && xdotool key Return
  wait_for "$VELMBANK_SCREENSHOTS/fmTaskMan.png" || { kill $app 2>/dev/null; exit 1; }
  # The main window closes after its picture: the program logs out and ends by itself.
  for _ in $(seq 100); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
  kill $app 2>/dev/null && { echo "velmbank did not end" >&2; exit 1; }
  wait $app
' || { echo "the screenshots failed:" >&2; cat "$shots/velmbank.err" >&2; exit 1; }
mv "$shots/Registration.png" "$demo/velmbank-login.png"
mv "$shots/fmTaskMan.png" "$demo/velmbank-main.png"

say "Done"
printf '%s\n' "${summary[@]}"
echo "protocols: $demo/import-task1.txt $demo/import-task2.txt"
echo "screenshots: $demo/velmbank-login.png $demo/velmbank-main.png"
