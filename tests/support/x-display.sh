#!/usr/bin/env bash
# Runs a command on an X display of its own, as a person's desktop is: Xvfb on a free display
# number, a window manager that activates windows as they map, both ended with the command.
# Several can run at once (ctest -j).
set -uo pipefail

dir=$(mktemp -d)
xvfb=""
wm=""
child=""
cleanup() {
    [ -n "$child" ] && kill "$child" 2>/dev/null
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

for tool in Xvfb openbox xdotool; do
    command -v "$tool" >/dev/null || { echo "$tool não está instalado (scripts/install-deps.sh)" >&2; exit 1; }
done

# Waits up to $1 seconds for a condition (the rest of the arguments) to hold.
until_true() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.05
    done
}

# Xvfb on a free display, then openbox on it. Returns non-zero (with the reason in $dir/why)
# when either does not come up; a loaded machine has seen the manager miss a fresh display.
start_display() {
    : >"$dir/display"
    # The server writes its display number once it takes connections.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
    xvfb=$!
    has_display() { [ -s "$dir/display" ] || ! kill -0 "$xvfb" 2>/dev/null; }
    if ! until_true 60 has_display || [ ! -s "$dir/display" ]; then
        { echo "Xvfb não iniciou:"; cat "$dir/xvfb.log"; } >"$dir/why"
        return 1
    fi
    export DISPLAY=":$(tr -d '[:space:]' <"$dir/display")"

    # Openbox's own settings and logs stay in the temporary folder.
    export XDG_CONFIG_HOME="$dir/config" XDG_CACHE_HOME="$dir/cache"
    openbox --sm-disable >"$dir/wm.log" 2>&1 &
    wm=$!
    # The manager is up once it announces its desktops on the root window.
    wm_ready() { xdotool get_num_desktops >/dev/null 2>&1 || ! kill -0 "$wm" 2>/dev/null; }
    if ! until_true 60 wm_ready || ! kill -0 "$wm" 2>/dev/null; then
        { echo "O gerenciador de janelas não iniciou:"; cat "$dir/wm.log"; } >"$dir/why"
        return 1
    fi
}

started=""
for attempt in 1 2 3; do
    if start_display; then
        started=1
        break
    fi
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    wm=""
    xvfb=""
done
if [ -z "$started" ]; then
    cat "$dir/why" >&2
    exit 1
fi

export QT_QPA_PLATFORM=xcb
# In the background, so that a stop (a test's time-out) ends the display as well.
"$@" &
child=$!
wait "$child"
status=$?
child=""
exit "$status"
