#!/bin/sh
# The real program starts and keeps running (its window open) until it is stopped.
"$1" &
pid=$!
sleep 3
if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    wait "$pid" 2>/dev/null
    exit 0
fi
wait "$pid"
echo "kelvora ended by itself with status $?" >&2
exit 1
