#!/bin/sh
# Stands in for Corvane in the process tests: records how it was started, then does what STUB_MODE says.
printf '%s' "$#" > "$STUB_DIR/argc"
printf '%s' "$1" > "$STUB_DIR/argv1"
printf '%s' "$STUB_VALUE" > "$STUB_DIR/env"
echo "to stdout"
echo "to stderr" >&2
case "$STUB_MODE" in
  exit) exit "$STUB_EXIT_CODE" ;;
  sleep) exec sleep 30 ;;
  stubborn) trap "" TERM; echo ready; while :; do sleep 1; done ;;
esac
