#!/usr/bin/env bash
# The wizard walked by X input events alone, as a person with a card image walks it:
# the built program started under Xvfb (xcb; no window manager, so windows get the
# keyboard with `xdotool windowfocus`), driven by keys: Next by its accelerator,
# "Load Drive Image..." from the drive's menu (Shift+F10), the image's partition
# chosen with the arrow keys, Tab and Space for the auto-pilot, the destination
# typed. Then the auto-pilot runs both passes and their recoveries to the summary
# by itself. The files written are counted against the recoveries' own count, and
# every file of the card (deleted ones included) must be among them, byte-exact by
# MD5, in its folder. Last, the summary's "Explore Recovered Files" with a desktop
# that opens nothing must answer with an error box. Every step leaves a screenshot;
# a failure names the last one.
#
# Usage: wizard_walk.sh PROGRAM CARD_IMAGE CARD_MANIFEST SCREENSHOT_DIR
set -uo pipefail

program="$1" image="$2" manifest="$3" shots="$4"
if [ -z "${WALK_UNDER_XVFB:-}" ]; then
  exec env WALK_UNDER_XVFB=1 xvfb-run -a -s '-screen 0 1280x900x24' "$0" "$@"
fi

work="$(mktemp -d)"
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$shots" "$work/config" "$work/out"
rm -f "$shots"/walk_*.png
export QT_QPA_PLATFORM=xcb VANDREL_CONFIG_DIR="$work/config" XDG_RUNTIME_DIR="$work"
# A desktop that cannot open anything: the summary's commands must say so.
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 4\n' >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
export PATH="$work/bin:$PATH"
log="$work/program.log"
n=0
last=""
shot() {  # name: the screen as it is now
  n=$((n + 1))
  last="$shots/walk_$(printf %02d "$n")_$1.png"
  import -window root "$last" 2>/dev/null
}
fail() {
  shot failure
  echo "walk: $* (screenshot: $last)" >&2
  echo "--- program log ---" >&2
  tail -n 40 "$log" >&2
  exit 1
}
# Waits until the screen stops changing (two equal looks in a row, at most 6 s):
# a slow machine gets the time it needs, a fast one none.
settle() {
  local prev="" now i
  for i in $(seq 30); do
    sleep 0.2
    now="$(import -window root rgb:- 2>/dev/null | md5sum)"
    [ "$now" = "$prev" ] && return
    prev="$now"
  done
}
keys() {
  xdotool key --delay 60 "$@"
  settle
}
# The visible window whose title matches, tried for up to $2 seconds.
find_window() {
  local w="" i
  for i in $(seq $(($2 * 5))); do
    w="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)"
    [ -n "$w" ] && break
    sleep 0.2
  done
  echo "$w"
}
count() { grep -c -- "$1" "$log" 2>/dev/null || true; }

cp "$image" "$work/card.img"
"$program" >"$log" 2>&1 &
pid=$!

sheet="$(find_window 'Vandrel' 30)"
[ -n "$sheet" ] || fail "the wizard's window did not appear"
settle
xdotool windowfocus --sync "$sheet"
shot welcome

# Step 1: the drive page; the tree has the keyboard. The first drive's menu.
keys alt+n
shot drive_page
keys Down
keys shift+F10
shot drive_menu
# "Select", "Create Drive Image...", "Load Drive Image..."
keys Down Down Down Return
dialog="$(find_window '^Open$' 10)"
[ -n "$dialog" ] || fail "Load Drive Image... of the drive's menu opened no dialog"
xdotool windowfocus --sync "$dialog"
xdotool type --delay 15 "$work/card.img"
shot open_dialog
keys Return
xdotool windowfocus --sync "$sheet"
# The image is selected; its partition lies beneath it.
keys Right Down
shot partition_chosen
keys alt+n
shot file_types
keys alt+n
shot scan_mode
keys alt+n
shot auto_pilot
# Step 4: the auto-pilot's check box has the keyboard; Space, then Tab to the folder.
keys space Tab ctrl+a
xdotool type --delay 15 "$work/out/"
settle
shot auto_pilot_on
keys alt+n

# The auto-pilot: both passes and their recoveries, no click.
done=""
for i in $(seq 240); do
  passes="$(count 'Analysis completed.')"
  recoveries="$(count 'Recovery completed.')"
  if [ "$passes" -ge 2 ]; then
    expected=1
    tail_pass="$(grep 'Analysis completed.' "$log" | tail -n 1)"
    case "$tail_pass" in *"Found 0 folder(s) and 0 file(s)"*) ;; *) expected=2 ;; esac
    if [ "$recoveries" -ge "$expected" ] && [ -z "$(xdotool search --onlyvisible --name 'Recovering' 2>/dev/null)" ]; then
      done=1
      break
    fi
  fi
  [ "$(count 'Recovery aborted.')" -gt 0 ] && fail "a recovery was aborted"
  kill -0 "$pid" 2>/dev/null || fail "the program ended"
  sleep 0.5
done
[ -n "$done" ] || fail "the auto-pilot did not reach the summary"
settle
shot summary

python3 - "$manifest" "$work/out" "$log" <<'PY' || fail "the files written do not match the card"
import hashlib, json, os, sys
manifest, out, log = sys.argv[1:4]
written = {}
for root, _, names in os.walk(out):
    for name in names:
        path = os.path.join(root, name)
        written[os.path.relpath(path, out)] = hashlib.md5(open(path, "rb").read()).hexdigest()
lines = open(log, encoding="utf-8", errors="replace").read().splitlines()
started = sum("FileRecovery: Recovering file:" in l for l in lines)
lost = sum(("recovery skipped" in l or "recovery cancelled" in l or "failed because file size == 0" in l) for l in lines)
ok = True
if len(written) != started - lost:
    print(f"walk: {len(written)} files on disk, the recoveries count {started - lost}")
    ok = False
for f in json.load(open(manifest))["files"]:
    folder, name = os.path.split(f["path"])
    # A deleted 8.3 name lost its first character on the card.
    found = [p for p, md5 in written.items() if md5 == f["md5"] and os.path.dirname(p) == folder
             and (os.path.basename(p) == name or (f["state"] == "deleted" and os.path.basename(p)[1:] == name[1:]))]
    if not found:
        print(f"walk: {f['state']} {f['path']} was not recovered byte-exact in its folder")
        ok = False
print(f"walk: {len(written)} files written, {len(json.load(open(manifest))['files'])} of the card among them")
sys.exit(0 if ok else 1)
PY

# The summary's "Explore Recovered Files" (its first control, which has the
# keyboard) with a desktop that fails: an error box, never silence.
xdotool windowfocus --sync "$sheet"
before="$(xdotool search --onlyvisible --name . 2>/dev/null | sort)"
keys space
box=""
for i in $(seq 50); do
  box="$(comm -13 <(echo "$before") <(xdotool search --onlyvisible --name . 2>/dev/null | sort) | head -n 1)"
  [ -n "$box" ] && break
  sleep 0.2
done
settle
shot explore_failed
[ -n "$box" ] || fail "Explore Recovered Files with a failing desktop showed no error box"
xdotool windowfocus --sync "$box"
keys Return
echo "walk: passed; screenshots in $shots"
