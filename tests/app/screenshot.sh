#!/bin/sh
# Starts the program on a virtual X display, waits until its window is mapped and painted, and
# saves a PNG of the whole screen (1280 × 800, black where no window is).
# Usage: screenshot.sh <program> <output.png> [program arguments...]
set -eu
if [ $# -lt 2 ]; then
    echo "usage: $0 <program> <output.png> [arguments...]" >&2
    exit 2
fi

# Start the display-number search at a number of our own, so two runs at once rarely race.
exec xvfb-run -a -n $((99 + $$ % 400)) -s "-screen 0 1280x800x24 -br -nolisten tcp" sh -c '
    program=$1 output=$2
    shift 2
    QT_QPA_PLATFORM=xcb "$program" "$@" &
    pid=$!
    tries=0
    until xwininfo -root -tree 2>/dev/null | grep -q "\"Tessaromandel5.1\""; do
        tries=$((tries + 1))
        if [ $tries -gt 100 ] || ! kill -0 $pid 2>/dev/null; then
            echo "the window did not appear" >&2
            kill $pid 2>/dev/null || true
            exit 1
        fi
        sleep 0.1
    done
    sleep 1
    status=0
    import -window root "png:$output" || status=$?
    kill $pid 2>/dev/null || true
    wait $pid 2>/dev/null || true
    exit $status
' screenshot "$@"
