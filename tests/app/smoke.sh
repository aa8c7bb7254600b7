#!/bin/sh
# The real program starts and keeps running (its window open) until it is stopped.
# A home of its own: what it remembers and the thumbnails it makes stay out of the user's.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
HOME=$home XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache "$1" &
pid=$!
sleep 3
if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    wait "$pid" 2>/dev/null
    exit 0
fi
wait "$pid"
status=$?
echo "kelvora ended by itself with status $status" >&2
exit 1
