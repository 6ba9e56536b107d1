#!/bin/sh
# Starts one rig Xorg server (dummy driver) on a free display number, waits until it
# answers, and records "display=:N" and "pid=P" in the state file; the server lives
# on after this script. Usage: start-server.sh CONFIG STATEFILE LOGFILE
# When the server cannot start, the state file says why; outside CI that is a skip
# (status 77), under CI=true a failure.
config=$1 state=$2 log=$3
# A server left by an interrupted run (its cleanup never ran) goes first.
"$(dirname "$0")/stop-server.sh" "$state" >/dev/null
rm -f "$state"

unavailable() {
    echo "unavailable=$1" >"$state"
    echo "rig server for $config: $1"
    [ "${CI:-}" = true ] && exit 1
    exit 77
}

[ "$(id -u)" -eq 0 ] || unavailable "Xorg needs root to take -config with a path; not root"
command -v Xorg >/dev/null || unavailable "no Xorg on PATH (install xserver-xorg-core, xserver-xorg-video-dummy)"
command -v xrandr >/dev/null || unavailable "no xrandr on PATH to ask the server (install x11-xserver-utils)"

# A display is free when neither its socket nor its lock file exists; Xorg takes
# the lock itself, so a number taken meanwhile by another server just fails and
# the next one is tried.
display=20
while [ "$display" -lt 100 ]; do
    if [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; then
        display=$((display + 1))
        continue
    fi
    Xorg ":$display" -config "$config" -noreset -nolisten tcp -logfile "$log" \
        </dev/null >"$log.out" 2>&1 &
    pid=$!
    # Bounded wait: about 20 s for the server to answer a client.
    tries=0
    while [ "$tries" -lt 100 ]; do
        if ! kill -0 "$pid" 2>/dev/null; then
            break
        fi
        # Only our own server counts: another run's server may have taken this
        # number a moment before ours, and it would answer as well. Xorg writes
        # its pid into the lock file.
        if [ "$( { tr -d ' \n' <"/tmp/.X$display-lock"; } 2>/dev/null)" = "$pid" ] &&
            xrandr -display ":$display" -q >"$log.modes" 2>/dev/null; then
            printf 'display=:%s\npid=%s\n' "$display" "$pid" >"$state"
            echo "rig server :$display (pid $pid) from $config"
            grep -v disconnected "$log.modes"
            exit 0
        fi
        tries=$((tries + 1))
        sleep 0.2
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid"
        unavailable "Xorg :$display did not answer within 20 s (see $log)"
    fi
    wait "$pid" 2>/dev/null
    # Exited early: the number was taken after all, or the server cannot run here.
    if [ -e "/tmp/.X$display-lock" ]; then
        display=$((display + 1))
        continue
    fi
    tail -n 5 "$log.out"
    unavailable "Xorg :$display exited at start (see $log)"
done
unavailable "no free display number from 20 to 99"
