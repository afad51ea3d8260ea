#!/bin/sh
# Fails unless RepairSourceFile is the only symbol the library defines for others.
lib="$1"
syms=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sort -u)
if [ "$syms" != "RepairSourceFile" ]; then
  echo "unexpected exported symbols in $lib:"; echo "$syms"; exit 1
fi
echo "only RepairSourceFile is exported"
