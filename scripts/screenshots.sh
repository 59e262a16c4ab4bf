#!/usr/bin/env bash
# Screenshots of every window for the user guide (docs/guia.md), taken from the program's own
# windows in a virtual display with the demo's sample data: docs/imagens/NAME.png.
#
#   scripts/screenshots.sh [BUILD_FOLDER] [NAME...]
# A new window goes into the list in src/app/Capturas.cpp.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$root" && realpath "${1:-build}")
shift || true
out="$root/docs/imagens"
work="$build/capturas"

cmake --build "$build" -j "$(nproc)" --target fiscora fiscora-capturas
rm -rf "$work"
mkdir -p "$work/programa" "$work/certificados" "$out"
cp "$build/bin/"{fiscora.ini,info.fsc,fiscora.mdb,gia_limpa.mdb} "$work/programa/"
sqlite3 "$work/programa/fiscora.mdb" <"$root/resources/demo/contribuintes.sql"
# Public certificates of the demo's companies, so the chooser has something to list.
cp "$root"/resources/demo/certificados/{ribeirao-verde,estrela-do-vale,contador-demo}.cer "$work/certificados/"
export FISCORA_CERTIFICADOS="$work/certificados"
# The upload windows open in the demo's GIA and PGDAS folders.
export FISCORA_DEMO="$root/resources/demo"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/bin/fiscora-capturas" --pasta "$work/programa" "$out" "$@"
