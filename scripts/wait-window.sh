#!/usr/bin/env bash
# Prints the id of the top-level X window titled TITLE as soon as it exists; fails when it
# has not appeared within SECONDS (default 5).
#   scripts/wait-window.sh TITLE [SECONDS]
set -euo pipefail
title=${1:?usage: wait-window.sh TITLE [SECONDS]}
tries=$(( ${2:-5} * 20 ))
for _ in $(seq "$tries"); do
    wid=$(xwininfo -root -children | awk -v t="\"$title\":" '$2 == t { print $1; exit }')
    if [ -n "$wid" ]; then
        echo "$wid"
        exit 0
    fi
    sleep 0.05
done
exit 1
