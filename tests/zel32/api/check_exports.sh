#!/bin/sh
# The shared library exports the twenty functions of zel32.h and nothing else.
set -eu
lib="$1"
expected="RfaAbort RfaCloseFile RfaCloseLink RfaCopy RfaDelete RfaDir RfaIoctl RfaListen RfaLook RfaMd RfaOpenFile RfaOpenLink RfaPrint RfaProtection RfaRd RfaReadFile RfaRename RfaSubmit RfaWriteFile ZelInit"
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVW]$/ {print $3}' | sed 's/@.*//' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exported: $actual"
  echo "expected: $expected"
  exit 1
fi
echo "exports ok"
