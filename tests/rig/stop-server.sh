#!/bin/sh
# Stops the rig Xorg server recorded in a state file by its own process id, after
# checking that the id still belongs to that server. Usage: stop-server.sh STATEFILE
state=$1
[ -f "$state" ] || { echo "no state file $state: nothing to stop"; exit 0; }
pid=$(sed -n 's/^pid=//p' "$state")
display=$(sed -n 's/^display=//p' "$state")
rm -f "$state"
[ -n "$pid" ] || { echo "no server was started"; exit 0; }
if ! tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q "Xorg $display "; then
    echo "pid $pid is no longer the server on $display: nothing to stop"
    exit 0
fi
kill -TERM "$pid"
# Bounded wait: about 10 s, then the server is killed.
tries=0
while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 50 ]; do
    tries=$((tries + 1))
    sleep 0.2
done
if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
    echo "server $display (pid $pid) did not stop on SIGTERM; killed"
    exit 1
fi
echo "stopped server $display (pid $pid)"
