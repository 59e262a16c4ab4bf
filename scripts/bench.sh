#!/usr/bin/env bash
# Speed against the peer tools, medians of repeated runs in one go:
#   P2 fiscora --listar  vs  mdb-export FILE tblGIA | grep IE   (two-GIA package, 32,767-GIA export)
#   P3 upload of 100 MiB through the windows' path  vs  curl -F, same stand-in server
#   P4 Transferencia.ver2 round trip  vs  curl with the same envelope, same stand-in server
#   P5 process start to the start-up window  vs  a minimal Qt Widgets program (in Xvfb)
#   the batch of 200 taxpayers  vs  the stand-in server's own time for the same requests
#
#   scripts/bench.sh [BUILD_FOLDER] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$root" && realpath "${1:-build}")
runs=${2:-21}
cmake --build "$build" -j "$(nproc)" --target bench_gia_listing bench_upload bench_round_trip bench_startup_window \
    bench_batch bench_janela_minima fiscora fiscora-servidor
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
echo "== P2: listagem das GIAs de um contribuinte =="
"$build/bench/bench_gia_listing" "$build/bin" "$runs"
echo "== P3: envio de 100 MiB =="
"$build/bench/bench_upload" "$build/bin" "$(( runs < 7 ? runs : 7 ))" 100
echo "== P4: Transferencia.ver2 =="
"$build/bench/bench_round_trip" "$build/bin" "$runs"
echo "== Lote: 200 contribuintes =="
"$build/bench/bench_batch" "$build/bin" "$(( runs < 5 ? runs : 5 ))" 200
echo "== P5: início até a janela de abertura (Xvfb) =="
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/bench_startup_window" "$build/bin" "$runs"
