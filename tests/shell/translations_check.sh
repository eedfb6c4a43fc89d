#!/bin/bash
# Fails while a text of the sources has no finished translation in one of the
# languages: lupdate brings copies of the .ts files up to date with the
# sources (a new or changed text comes in unfinished), then every message must
# have a finished translation with the same places %1...%9 as its source.
# lupdate's own warnings (a text it cannot give its class) fail it too.
# Usage: translations_check.sh LUPDATE SOURCES-LIST TS-FILE...
set -euo pipefail
lupdate=$1 sources=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for ts in "$@"; do
  copy=$work/$(basename "$ts")
  cp "$ts" "$copy"
  "$lupdate" -silent -locations none -no-obsolete "@$sources" -ts "$copy" 2>"$work/warnings"
  if [ -s "$work/warnings" ]; then
    cat "$work/warnings"
    status=1
  fi
  awk -v file="$(basename "$ts")" '
    function places(text,   n, counts) {
      counts = ""
      for (n = 1; n <= 9; n++) counts = counts gsub("%" n, "", text) " "
      return counts
    }
    BEGIN { RS = "</message>" }
    /<source>/ {
      source = $0; sub(/.*<source>/, "", source); sub(/<\/source>.*/, "", source)
      translation = $0; sub(/.*<translation/, "", translation)
      attributes = translation; sub(/>.*/, "", attributes)
      sub(/^[^>]*>/, "", translation); sub(/<\/translation>.*/, "", translation)
      if (attributes ~ /unfinished/ || translation == "") {
        printf "%s: no finished translation of \"%s\"\n", file, source; bad = 1
      } else if (places(source) != places(translation)) {
        printf "%s: the translation of \"%s\" has other places %%1...%%9\n", file, source; bad = 1
      }
    }
    END { exit bad }' "$copy" || status=1
done
if [ "$status" != 0 ]; then
  echo "Translate the texts above in resources/translations (cmake --build build --target update_translations"
  echo "adds new texts to the .ts files)."
fi
exit "$status"
