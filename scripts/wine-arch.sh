#!/usr/bin/env bash
# Prints the Windows build whose programs can run under Wine on this host: win32 when the
# kernel runs 32-bit code (32-bit Wine starts), else win64.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo win32
else
  echo win64
fi
