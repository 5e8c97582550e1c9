#!/bin/sh
# Ends the office that the integration tests started, should they have died before doing so.
# The pid file holds the office's process group (0 while it starts) and its private profile
# folder, a fresh temporary folder: only processes running with that profile are ended.
pidfile=$1
[ -f "$pidfile" ] || exit 0
profile=$(sed -n 2p "$pidfile")
rm -f "$pidfile"
case $profile in /*/vz-office-*) ;; *) exit 0 ;; esac
pids=$(pgrep -f -- "-env:UserInstallation=file://$profile")
if [ -n "$pids" ]; then
  kill -TERM $pids 2>/dev/null
  i=0
  while [ $i -lt 50 ] && pgrep -f -- "-env:UserInstallation=file://$profile" >/dev/null; do
    sleep 0.1
    i=$((i + 1))
  done
  pids=$(pgrep -f -- "-env:UserInstallation=file://$profile")
  [ -n "$pids" ] && kill -KILL $pids 2>/dev/null
fi
rm -rf "$profile"
exit 0
