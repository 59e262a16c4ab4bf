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

cmake --build "$build" -j "$(nproc)" --target fiscora fiscora-capturas fiscora-servidor
rm -rf "$work"
mkdir -p "$work/programa" "$work/certificados" "$out"
cp "$build/bin/"{fiscora.ini,info.fsc,fiscora.mdb,gia_limpa.mdb} "$work/programa/"
sqlite3 "$work/programa/fiscora.mdb" <"$root/resources/demo/contribuintes.sql"
# Public certificates of the demo's companies, so the chooser has something to list.
cp "$root"/resources/demo/certificados/{ribeirao-verde,estrela-do-vale,contador-demo}.cer "$work/certificados/"
export FISCORA_CERTIFICADOS="$work/certificados" FISCORA_PREFERENCIAS="$work/preferencias"
# The stand-in server with the demo's companies, on a free loopback port, so the main window shows
# a company's transmissions and a receipt's details.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/servidor"
cp "$build/bin/info.fsc" "$work/servidor/versao.txt"
printf '[servidor]\r\nhost=127.0.0.1\r\nport=%s\r\n' "$port" >"$work/programa/fiscora.ini"
"$build/bin/fiscora-servidor" --endereco 127.0.0.1 --porta "$port" --porta-portal "$port" \
    --dados "$work/servidor" --semente "$root/resources/demo/semente.json" 2>"$work/servidor.log" &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -f "$work/servidor/pronto" ] && break; sleep 0.1; done
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
unset QT_QPA_PLATFORM
# The upload and import windows show the demo's files where the guide has a user of the packages
# copy them, ~/demonstracao, for a user "contador" who exists only in this run: the pictures show
# no path of this machine. /home is an empty folder of a mount namespace of the capture's own.
namespace=(unshare --mount --propagation private)
[ "$(id -u)" -ne 0 ] && namespace=(unshare --user --map-root-user --mount --propagation private)
"${namespace[@]}" bash -euc '
    demo=$1 capturas=$2 programa=$3 out=$4
    shift 4
    mount -t tmpfs tmpfs /home
    mkdir -p /home/contador/demonstracao
    cp -a "$demo/gia" "$demo/pgdas" "$demo/exportacao-novagia.mdb" /home/contador/demonstracao/
    export HOME=/home/contador FISCORA_DEMO=/home/contador/demonstracao
    xvfb-run -a -s "-screen 0 1280x1024x24" "$capturas" --pasta "$programa" "$out" "$@"
' bash "$root/resources/demo" "$build/bin/fiscora-capturas" "$work/programa" "$out" "$@"
