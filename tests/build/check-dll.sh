#!/usr/bin/env bash
# Static checks of a built vornix.dll:
#   - it exports exactly the expected names, undecorated, and nothing by
#     ordinal only;
#   - it needs no compiler runtime DLL (libstdc++, libgcc, winpthread);
#   - it carries the expected resources with their ids, languages and sizes,
#     for every resource type that resources/ declares.
#
# check-dll.sh --objdump TOOL --dll FILE --exports FILE --resources FILE
#              --declared-in DIR [--skip-missing]
# Exit 0 pass, 1 fail, 77 skipped (no DLL and --skip-missing, unless
# VX_REQUIRE_DLL=1).
set -uo pipefail

objdump="" dll="" exports_file="" resources_file="" declared_in="" skip_missing=0
while [[ $# -gt 0 ]]; do
  case $1 in
    --objdump) objdump=$2; shift 2 ;;
    --dll) dll=$2; shift 2 ;;
    --exports) exports_file=$2; shift 2 ;;
    --resources) resources_file=$2; shift 2 ;;
    --declared-in) declared_in=$2; shift 2 ;;
    --skip-missing) skip_missing=1; shift ;;
    *) echo "check-dll: unknown argument $1" >&2; exit 2 ;;
  esac
done

if [[ ! -f $dll ]]; then
  if [[ $skip_missing == 1 && ${VX_REQUIRE_DLL:-0} != 1 ]]; then
    echo "SKIP: $dll not built"
    exit 77
  fi
  echo "FAIL: $dll not found"
  exit 1
fi
if ! command -v "$objdump" >/dev/null; then
  echo "FAIL: $objdump not found"
  exit 1
fi

dump=$("$objdump" -p "$dll") || { echo "FAIL: $objdump cannot read $dll"; exit 1; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# --- exports --------------------------------------------------------------
strip_comments() { sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$1"; }

expected_exports=$(strip_comments "$exports_file" | awk '{print $1}' | sort)
actual_exports=$(awk '
  /^\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
  inside && /^[[:space:]]*$/ { inside = 0 }
  inside && match($0, /\[ *[0-9]+\] +[^ ]+/) {
    entry = substr($0, RSTART, RLENGTH); sub(/\[ *[0-9]+\] +/, "", entry); print entry
  }' <<<"$dump" | sort)
if [[ "$actual_exports" != "$expected_exports" ]]; then
  fail "exported names differ (expected < > actual):"
  diff <(echo "$expected_exports") <(echo "$actual_exports") | grep '^[<>]'
fi
if grep -q '@' <<<"$actual_exports"; then
  fail "decorated export names: $(grep '@' <<<"$actual_exports" | tr '\n' ' ')"
fi
address_count=$(awk '/Export Address Table[[:space:]]+[0-9a-fA-F]+$/ { print $NF; exit }' <<<"$dump")
[[ -n $address_count ]] && address_count=$((16#$address_count))
expected_count=$(grep -c . <<<"$expected_exports")
if [[ "${address_count:-0}" != "$expected_count" ]]; then
  fail "export address table has ${address_count:-no} entries, expected $expected_count"
fi

# --- runtime DLLs ---------------------------------------------------------
runtime=$(awk '/DLL Name:/ { print $3 }' <<<"$dump" | grep -iE '^lib.*\.dll$' || true)
if [[ -n $runtime ]]; then
  fail "needs compiler runtime DLLs: $(tr '\n' ' ' <<<"$runtime")"
fi

# --- resources ------------------------------------------------------------
# Flatten the resource directory to "TYPE ID LANGUAGE SIZE" lines. Depth in
# the tree shows as the indentation after the offset column.
actual_resources=$(awk '
  function hex(s,   n, i) {
    sub(/^0x/, "", s); s = tolower(s); n = 0
    for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
    return n
  }
  /^[0-9a-f]+ +(Entry|Leaf):/ {
    match($0, /^[0-9a-f]+ +/); depth = RLENGTH - length($1)
    if ($2 == "Entry:") {
      if ($3 == "name:") { key = $0; sub(/.*\]: /, "", key); sub(/, Value:.*/, "", key) }
      else { key = $4; sub(/,$/, "", key); key = hex(key) }
      if (depth == 3) type = key
      else if (depth == 5) id = key
      else if (depth == 7) lang = sprintf("0x%04x", key)
    } else if ($2 == "Leaf:") {
      size = $0; sub(/.*Size: /, "", size); sub(/,.*/, "", size)
      print type, id, lang, hex(size)
    }
  }' <<<"$dump" | sort)

declared_types() {
  # A type counts as declared once the resource lists name it.
  local type=$1
  [[ -n $declared_in ]] || return 0
  grep -qs -- "$type" "$declared_in"/CMakeLists.txt "$declared_in"/*.cmake
}

expected_resources=$(strip_comments "$resources_file")
for type in $(awk '{ print $1 }' <<<"$expected_resources" | sort -u); do
  if ! declared_types "$type"; then
    echo "note: resources/ does not declare $type yet; not required"
    continue
  fi
  want_ids=$(awk -v t="$type" '$1 == t { print $2 }' <<<"$expected_resources" | sort -n | tr '\n' ' ')
  have_ids=$(awk -v t="$type" '$1 == t { print $2 }' <<<"$actual_resources" | sort -n | tr '\n' ' ')
  if [[ "$want_ids" != "$have_ids" ]]; then
    fail "$type ids: expected [${want_ids% }], found [${have_ids% }]"
  fi
  while read -r _ id lang size; do
    row=$(awk -v t="$type" -v i="$id" '$1 == t && $2 == i' <<<"$actual_resources")
    [[ -n $row ]] || continue
    while read -r _ _ have_lang have_size; do
      if [[ $lang != - && $have_lang != "$lang" ]]; then
        fail "$type $id has language $have_lang, expected $lang"
      fi
      if [[ $size != - && $have_size != "$size" ]]; then
        fail "$type $id has $have_size bytes, expected $size"
      elif [[ $have_size == 0 ]]; then
        fail "$type $id is empty"
      fi
    done <<<"$row"
  done < <(awk -v t="$type" '$1 == t' <<<"$expected_resources")
done

echo "exports: $(tr '\n' ' ' <<<"$actual_exports")"
echo "resources:"
sed 's/^/  /' <<<"$actual_resources"
if [[ $failures -gt 0 ]]; then
  echo "$failures check(s) failed for $dll"
  exit 1
fi
echo "PASS: $dll"
