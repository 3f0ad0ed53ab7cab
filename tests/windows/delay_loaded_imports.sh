#!/bin/sh
# The launcher imports at its start only what a hidden start needs: every DLL of the delay-load
# list (the window's graphics, the HTTP client, COM, user32 and the rest) must be absent from
# its ordinary import table. One function called but missing from that list would bring its DLL
# back into every start.
# Usage: delay_loaded_imports.sh OBJDUMP EXE
set -eu
objdump=$1
exe=$2
plain=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:lower:]' '[:upper:]')
status=0
for dll in USER32.DLL GDI32.DLL D2D1.DLL DWRITE.DLL WINHTTP.DLL OLE32.DLL OLEAUT32.DLL \
           SHELL32.DLL OLEACC.DLL; do
  if printf '%s\n' "$plain" | grep -qx "$dll"; then
    echo "$dll is imported at the start; its functions called now:" >&2
    "$objdump" -p "$exe" | awk -v dll="$dll" '
      toupper($0) ~ "DLL NAME: " dll { inside = 1; next }
      inside && NF == 0 { exit }
      inside && NF >= 3 && $1 ~ /^[0-9a-f]+$/ { print "  " $3 }' >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "imports at the start: $(printf '%s ' $plain)"
exit "$status"
