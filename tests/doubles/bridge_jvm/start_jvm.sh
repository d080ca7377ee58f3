#!/bin/sh
# Started by the bridge jvm.dll through setsid, so that the JVM has a session of its own
# and a Ctrl-C meant for Wine does not reach it. Runs the Linux java with its output
# appended to OUT and writes java's exit status to STATUS when it ends. An argument
# "--paths PREFIX N P1 ... PN" becomes PREFIX and the real paths of P1 to PN joined by
# ":": Wine's unix names pass through dosdevices/c:, whose colon would split a path list.
# usage: start_jvm.sh OUT STATUS JAVA ARG...
out=$1 status=$2
shift 2
exec >>"$out" 2>&1 </dev/null
count=$#
while [ "$count" -gt 0 ]; do
  arg=$1
  shift
  count=$((count - 1))
  if [ "$arg" = --paths ]; then
    arg=$1 n=$2 separator=
    shift 2
    count=$((count - 2 - n))
    while [ "$n" -gt 0 ]; do
      arg=$arg$separator$(realpath -m -- "$1")
      separator=:
      shift
      n=$((n - 1))
    done
  fi
  set -- "$@" "$arg"
done
"$@"
echo $? >"$status"
