#!/usr/bin/env bash
# Times Lexhaul's start under Xvfb: from the process's start to the start-up message on
# screen, and from the message's OK to the window on screen. Prints the median of N runs.
#   bench/startup.sh <path to lexhaul> [runs]
set -euo pipefail
exe=$(realpath "$1")
runs=${2:-5}
for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install xvfb xdotool)" >&2; exit 1; }
done
export exe runs
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    [[ $(id -u) -eq 0 ]] && export QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox
    now() { date +%s%N; }
    # xdotool'"'"'s own --sync looks only every half second; look every few milliseconds.
    await() { until xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; do sleep 0.005; done; }
    work=$(mktemp -d)
    cp "$exe" "$work/"
    : > "$work/抓关键字网址.txt"
    message=() window=()
    for ((i = 0; i < runs; i++)); do
        start=$(now)
        "$work/lexhaul" >/dev/null 2>&1 &
        await "^Lexhaul\$"
        shown=$(now)
        answered=$(now)
        # No window manager gives the box the focus: give it, and press OK until it goes.
        until xdotool search --onlyvisible --name "Lexhaul获取工具" >/dev/null 2>&1; do
            box=$(xdotool search --onlyvisible --name "^Lexhaul\$" | head -n 1)
            [[ -n "$box" ]] && xdotool windowfocus "$box" key Return 2>/dev/null
            sleep 0.005
        done
        opened=$(now)
        message+=($(( (shown - start) / 1000000 )))
        window+=($(( (opened - answered) / 1000000 )))
        kill %1; wait %1 2>/dev/null || true
    done
    median() { printf "%s\n" "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
    echo "start-up message on screen: median $(median "${message[@]}") ms of ${message[*]}"
    echo "window on screen after OK:  median $(median "${window[@]}") ms of ${window[*]}"
    rm -rf "$work"
'
