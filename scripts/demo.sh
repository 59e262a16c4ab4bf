#!/usr/bin/env bash
# Starts the stand-in server on loopback with sample data, then Fiscora against it.
# FISCORA_DEMO_HTTPS=1: over TLS, with a certificate from the build's test authority (build/tls),
# which the demo's fiscora.ini names in "certificados".
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/$build/bin"
demo="$root/$build/demo"
rm -rf "$demo"
mkdir -p "$demo/programa" "$demo/servidor"
cp -a "$bin/." "$demo/programa/"
rm -f "$demo/programa/fiscora-servidor"
# A few of the seeded companies are already registered in the client's local database.
if [ -f "$root/resources/demo/contribuintes.sql" ] && [ -f "$demo/programa/fiscora.mdb" ]; then
    sqlite3 "$demo/programa/fiscora.mdb" <"$root/resources/demo/contribuintes.sql"
fi
# Token modules to read (scripts/demo-token.sh names SoftHSM2's).
if [ -n "${FISCORA_DEMO_MODULOS:-}" ]; then
    printf '\r\n[certificados]\r\nmodulos=%s\r\n' "$FISCORA_DEMO_MODULOS" >>"$demo/programa/fiscora.ini"
fi
# The demo keeps its own certificate store: importing a sample certificate leaves the user's alone.
export FISCORA_CERTIFICADOS="$demo/certificados"
# ... and its own preferences (the last folder and certificates), so the user's stay as they are.
export FISCORA_PREFERENCIAS="$demo/preferencias"
# The server publishes the same version as the client: no update at start.
cp "$bin/info.fsc" "$demo/servidor/versao.txt"
seed=()
[ -f "$root/resources/demo/semente.json" ] && seed=(--semente "$root/resources/demo/semente.json")
if [ -d "$root/resources/demo/dados" ]; then cp -a "$root/resources/demo/dados/." "$demo/servidor/"; fi

# The server signs the updater with the build's demo key, whose public half is in the program folder.
key=()
[ -f "$root/$build/chave-atualizacao/fiscora-atualizacao.key" ] &&
    key=(--chave-atualizacao "$root/$build/chave-atualizacao/fiscora-atualizacao.key")
tls=()
if [ -n "${FISCORA_DEMO_HTTPS:-}" ]; then
    "$root/scripts/gerar-certificado-tls.sh" ac "$root/$build/tls"
    "$root/scripts/gerar-certificado-tls.sh" servidor "$root/$build/tls" "$demo/servidor-tls" 127.0.0.1 localhost
    tls=(--certificado "$demo/servidor-tls.pem" --chave-certificado "$demo/servidor-tls.key")
    printf '\r\n[servidor]\r\nprotocolo=https\r\ncertificados=%s\r\n' "$root/$build/tls/ac-teste.pem" >>"$demo/programa/fiscora.ini"
fi
"$bin/fiscora-servidor" --endereco 127.0.0.1 --porta 8080 --dados "$demo/servidor" "${seed[@]}" "${key[@]}" \
    "${tls[@]}" \
    2>"$demo/servidor.log" &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -f "$demo/servidor/pronto" ] && break; sleep 0.1; done
if [ ! -f "$demo/servidor/pronto" ]; then
    echo "O servidor local não iniciou; veja $demo/servidor.log" >&2
    exit 1
fi
echo "Servidor local em ${tls:+https://}127.0.0.1:8080 (dados em $demo/servidor, registro em $demo/servidor.log)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    "$demo/programa/fiscora" --pasta "$demo/programa"
else
    export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
    # No display: run in a virtual one, keep a screenshot, and stop after a few seconds.
    echo "Sem tela disponível: executando em Xvfb por ${DEMO_SEGUNDOS:-8} s; captura em $demo/tela.png"
    xvfb-run -a -s "-screen 0 1280x800x24" bash -c "
        '$demo/programa/fiscora' --pasta '$demo/programa' & app=\$!
        sleep ${DEMO_SEGUNDOS:-8}
        import -window root '$demo/tela.png' || true
        kill \$app 2>/dev/null || true"
fi
