#!/usr/bin/env bash
# Runs the server routines of the gateway inside GT.M, without velmd: a scratch database,
# the routines converted to their code page, the test routine TVELM, and a second M
# process for the cases that need two connections.
# usage: run.sh ROUTINE_DIR TEST_DIR CLBMAKER
set -euo pipefail
src=$1 tests=$2 clbmaker=$3

gtm_dist=$(ls -d /usr/lib/x86_64-linux-gnu/fis-gtm/V* 2>/dev/null | head -1)
[ -x "$gtm_dist/mumps" ] || { echo "GT.M not found"; exit 1; }
export gtm_dist
work=$(mktemp -d)
holder=
cleanup() {
  [ -n "$holder" ] && kill -9 "$holder" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/r" "$work/o"
export gtmgbldir=$work/t.gld
export gtmroutines="$work/o($work/r) $gtm_dist/libgtmutil.so $gtm_dist"
export gtm_chset=M

# Records must hold a FindEx of 8192 bytes; keys hold client-bank names.
printf 'change -segment DEFAULT -block_size=4096 -file=%s\nchange -region DEFAULT -record_size=1048576 -key_size=1019\nexit\n' \
  "$work/t.dat" | "$gtm_dist/mumps" -run GDE >"$work/gde.log" 2>&1
"$gtm_dist/mupip" create >"$work/create.log" 2>&1 || { cat "$work/create.log"; exit 1; }

# The code page a routine declares on its first line; plain ASCII otherwise.
for f in "$src"/*.m "$tests"/*.m; do
  cp=$(head -1 "$f" | sed -n 's/.*;; *\(cp1251\|cp866\) *$/\1/p')
  if [ -n "$cp" ]; then
    iconv -f UTF-8 -t "${cp^^}" "$f" >"$work/r/$(basename "$f")"
  else
    LC_ALL=C grep -q '[^ -~	]' "$f" && { echo "not ASCII: $f"; exit 1; }
    cp "$f" "$work/r/"
  fi
done
(cd "$work/o" && for f in "$work"/r/*.m; do "$gtm_dist/mumps" "$f"; done) >"$work/compile.log" 2>&1 \
  || { cat "$work/compile.log"; exit 1; }
if grep -q -- '-E-' "$work/compile.log"; then cat "$work/compile.log"; exit 1; fi

# Sample files: the demo's money-out file and a money-in file, as the gateway sends them.
"$clbmaker" out 6 11 "$work/clbout.dbf" --demo
"$clbmaker" in 3 12 "$work/clbin.dbf"
"$clbmaker" dump "$work/clbout.dbf" >"$work/out.txt"
"$clbmaker" dump "$work/clbin.dbf" >"$work/in.txt"

cd "$work"
fails=0
run() {  # run LABEL: one M process; its output must hold no FAIL and end with "done"
  local out
  out=$("$gtm_dist/mumps" -run "$1^TVELM" 2>&1) || true
  echo "$out" | iconv -f CP1251 -t UTF-8 | sed "s/^/[$1] /"
  if echo "$out" | grep -q FAIL || ! echo "$out" | grep -q "^done $1"; then fails=$((fails+1)); fi
}
wait_for() {  # wait_for VALUE: until the holder has answered VALUE
  for _ in $(seq 100); do
    [ "$("$gtm_dist/mumps" -run ack^TVELM 2>/dev/null)" = "$1" ] && return 0
    sleep 0.1
  done
  echo "holder did not answer $1"; fails=$((fails+1)); return 1
}

run main
# Two connections: a second M process holds user 2's session and the exclusive lock.
"$gtm_dist/mumps" -run hold^TVELM >"$work/hold.log" 2>&1 &
holder=$!
wait_for held && run busy
"$gtm_dist/mumps" -run "cmd^TVELM" logout >/dev/null
wait_for free && run free
"$gtm_dist/mumps" -run "cmd^TVELM" login >/dev/null
wait_for held && run busy
kill -9 "$holder"; wait "$holder" 2>/dev/null || true; holder=
run free   # a connection that died has lost its session and its lock

[ "$fails" -eq 0 ] && echo "all M routine tests passed" || { echo "$fails M test runs failed"; exit 1; }
