#!/bin/bash
# Each layer compiles against BUILD/layers/<layer>/ only. This checks, with the
# target's compiler, that a source of each layer finds the headers of the layers
# below it and fails to compile when it includes a header from a higher layer.
# Usage: check-layer-includes.sh CXX LAYERS_DIR
set -u
cxx=$1
layers=$(cd "$2" && pwd) || exit 1

# One header of each folder, and what each layer may include.
declare -A sample=(
  [afx]=afx/ScopedWin.h [util]=util/TextEncoding.h [download]=download/DownloadTimings.h
  [update]=update/ResourceList.h [ui]=ui/DialogBase.h [res]=res/resource.h [launcher]=launcher/LauncherLog.h)
declare -A sees=(
  [afx]="afx"
  [util]="afx util"
  [download]="afx util download"
  [update]="afx util download update"
  [ui]="afx util res ui"
  [launcher]="afx util download update ui res launcher")

# The probe lives in a folder of its own: a quoted include is looked up next to
# the including file first, and that must not be the source tree.
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
probe=$probe_dir/probe.cpp

failures=0
for layer in afx util download update ui launcher; do
  for folder in afx util download update ui res launcher; do
    header=${sample[$folder]}
    printf '#include "%s"\n' "$header" > "$probe"
    if [[ " ${sees[$layer]} " == *" $folder "* ]]; then
      # Found is enough here; the build compiles the allowed headers anyway.
      output=$(cd "$probe_dir" && "$cxx" -std=c++17 -E -I "$layers/$layer" probe.cpp 2>&1 >/dev/null)
      compiled=$?
      if [[ $compiled -ne 0 ]]; then
        echo "FAIL: $layer cannot include $header:"; echo "$output" | head -5; failures=$((failures + 1))
      fi
      continue
    fi
    output=$(cd "$probe_dir" && "$cxx" -std=c++17 -DUNICODE -D_UNICODE -fsyntax-only -I "$layers/$layer" probe.cpp 2>&1)
    compiled=$?
    if [[ $compiled -eq 0 ]]; then
      echo "FAIL: $layer includes $header, a higher layer's header"; failures=$((failures + 1))
    elif [[ $output != *"$header: No such file or directory"* ]]; then
      echo "FAIL: $layer including $header failed for another reason:"; echo "$output" | head -5
      failures=$((failures + 1))
    fi
  done
done
[[ $failures -eq 0 ]] && echo "layer includes: every layer sees exactly its own and lower folders"
exit $((failures > 0))
