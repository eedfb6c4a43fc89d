#!/bin/sh
# Runs a program in a network namespace of its own, with only a downed
# loopback, so that no name lookup leaves the machine. Making one needs root
# (CAP_SYS_ADMIN): for a user who may not, the test is skipped (exit status
# 77, the tests' SKIP_RETURN_CODE) rather than failed.
if ! unshare --net true 2>/dev/null; then
  echo "skipped: this user may not make a network namespace"
  exit 77
fi
exec unshare --net "$@"
