# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# What the end-to-end runners share. Sourcing it makes a folder of their own (`work`, removed at
# exit unless KEEP is set) and starts an X server of their own; then come the program's windows,
# the places of its controls, the settings it leaves and the table of cases. For a runner that
# has set -euo pipefail; `app` is the program's process id while it runs.

work=$(mktemp -d)
app=
cleanup() {
    [ -n "$app" ] && kill -KILL "$app" 2>/dev/null
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    [ -n "${KEEP:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT

# A display of our own (-displayfd picks a free number), at 96 dpi so that 15 twips are a pixel;
# no reset when a program, its only client, goes, or the next one could not connect.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")" XDG_RUNTIME_DIR="$work/run"
mkdir -m 0700 "$XDG_RUNTIME_DIR"

# Where the controls are, in twips from the window's (or the dialog's) client area: left, top,
# width, height, as the layout places them.
declare -A at=(
    [Frq0]="120 320 375 615" [Frq2]="795 320 375 615" [Frq5]="1815 320 375 615"
    [HScrFrq0]="120 920 1095 225" [Lvl0]="2600 320 375 615" [Lvl1]="2960 320 375 615"
    [Lvl2]="3300 320 375 615" [Lvl3]="3650 320 375 615" [Lvl4]="3980 320 375 615"
    [HScrLvl]="2600 920 1740 225" [AMm0]="240 1400 270 390" [AMm1]="480 1400 270 390"
    [AMk1]="840 1640 740 255" [FMm0]="1900 1400 270 390" [FMm1]="2140 1400 270 390"
    [FMk1]="2500 1640 820 255" [Exc2]="5235 320 375 615" [Typ]="5640 80 1040 200"
    [Off]="5640 560 660 200" [Swp]="6360 560 340 660" [HScrDly]="5415 1295 1320 225"
    [Cnf]="4440 1600 600 330" [Raz]="5040 1600 525 330" [Onn]="5560 1600 1200 330"
    [vVal1]="720 600 615 285" [Test]="0 1440 735 375" [OK]="840 1440 735 375"
)

# Waits for a condition, at most 10 s; false when it never came.
until_true() { for _ in $(seq 200); do "$@" && return 0; sleep 0.05; done; return 1; }

# click WINDOW CONTROL [BUTTON]
click() {
    local l t w h && read -r l t w h <<<"${at[$2]:?unknown control $2}"
    xdotool mousemove --window "$1" $(((l + w / 2) / 15)) $(((t + h / 2) / 15)) click "${3:-1}"
}

# The first of the program's visible windows titled $1, in `found` (xdotool's own --sync polls
# by halves of a second).
window() {
    found=$(xdotool search --all --onlyvisible --pid "$app" --name "$1" 2>/dev/null | head -n1)
    [ -n "$found" ]
}

# stored NAME CONFIG [VALUE=N...]: a close has written all five values into the settings under
# CONFIG, and those named with the values given.
stored() {
    local name=$1 all value
    all=$(tr -d ' \n' <"$2/Tamrisk Software/registry.json")
    shift 2
    for value in X Y Board PAd SAd "$@"; do
        [[ $value == *=* ]] && value="${value%=*}\":{\"dword\":${value#*=}}" || value="$value\""
        [[ $all == *"\"$value"* ]] || { echo "$name: $value not stored"; return 1; }
    done
}

# run_table FUNCTION [NAME...] <TABLE: FUNCTION for each row "name | field | ...", with the
# fields trimmed; blank rows, rows starting with "#" and, when names are given, rows not named
# are skipped. Prints the tally; true when every row passed.
run_table() {
    local func=$1 passed=0 failed=0 fields i
    shift
    while IFS='|' read -ra fields; do
        for i in "${!fields[@]}"; do read -r "fields[$i]" <<<"${fields[i]}"; done
        [[ -z ${fields[0]:-} || ${fields[0]} == \#* ]] && continue
        [ $# -gt 0 ] && [[ " $* " != *" ${fields[0]} "* ]] && continue
        if "$func" "${fields[@]}"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
        # A row that failed half-way leaves its program, which would take the next one's clicks.
        if [ -n "$app" ]; then kill -KILL "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true; app=; fi
    done
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
}
