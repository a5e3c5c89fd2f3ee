#!/bin/bash
# Usage: many_networks.sh COUNT FILE
# Writes COUNT networks for the simulator's --networks: "Network 0".."Network COUNT-1", every third
# open and the rest WPA2 (password "pw-N"), strengths spread over 0-100.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 COUNT FILE" >&2; exit 2; }
{
  echo "["
  sep=""
  for ((i = 0; i < $1; i++)); do
    if ((i % 3 == 0)); then
      echo "$sep{\"ssid\": \"Network $i\", \"strength\": $((i % 101)), \"security\": \"open\"}"
    else
      echo "$sep{\"ssid\": \"Network $i\", \"strength\": $((i % 101)), \"security\": \"wpa2\", \"password\": \"pw-$i\"}"
    fi
    sep=","
  done
  echo "]"
} >"$2"
