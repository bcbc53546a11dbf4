#!/bin/sh
# Stands in for corvane-devicesim in the process tests: announces its socket, then acknowledges each command line.
[ "$1" = "--socket" ] || exit 64
shift
socket="$1"
shift
echo "args $*"
echo "USBMUXD_SOCKET_ADDRESS=UNIX:$socket"
while read -r line; do
  echo "ok $line"
  [ "$line" = quit ] && exit 0
done
exit 3
