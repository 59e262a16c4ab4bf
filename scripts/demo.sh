#!/usr/bin/env bash
# Starts the stand-in server with sample data, then Fiscora against it, in BUILD/demo.
#
#   scripts/demo.sh [BUILD]
#
# Any user may run it: the server and the program run in a network namespace of their own
# (unshare -rn), where the server may listen on port 80 (the program fetches the version file and
# the receipts from there) and takes no address of this machine. Without unshare, root runs it on
# this machine's network; anyone else is told why it cannot run.
#
# The demo folder is kept from one run to the next: the programs are refreshed from the build,
# the data stay (local database, certificates, preferences, server data). FISCORA_DEMO_NOVO=1
# (make demo-novo) starts afresh.
#
#   FISCORA_DEMO_ENDERECO  the server's address (127.0.0.1)
#   FISCORA_DEMO_PORTA     the port of its web service and uploads (8080)
#   FISCORA_DEMO_ISOLADO=0 this machine's network, no namespace (root, or port 80 allowed)
#   FISCORA_DEMO_HTTPS=1   over TLS, with a certificate from the build's test authority (build/tls),
#                          which the demo's fiscora.ini names in "certificados"
#
# Without a display it runs in Xvfb, opens the main window with a company selected, keeps a
# picture of it in BUILD/demo/tela.png and stops.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/$build/bin"
demo="$root/$build/demo"
address=${FISCORA_DEMO_ENDERECO:-127.0.0.1}
port=${FISCORA_DEMO_PORTA:-8080}

if [ -z "${FISCORA_DEMO_NA_REDE_PROPRIA:-}" ] && [ "${FISCORA_DEMO_ISOLADO:-1}" != 0 ]; then
    case "${DISPLAY:-}" in
    "" | :* | unix:* | /*) ;;
    *)
        echo "A tela $DISPLAY é alcançada pela rede, que um espaço de rede próprio não vê:" \
            "a demonstração usa a rede deste computador." >&2
        FISCORA_DEMO_ISOLADO=0
        ;;
    esac
fi
if [ -z "${FISCORA_DEMO_NA_REDE_PROPRIA:-}" ] && [ "${FISCORA_DEMO_ISOLADO:-1}" != 0 ]; then
    # A new network namespace has only loopback, and down: ip (iproute2) brings it up.
    if unshare -rn sh -c 'PATH=$PATH:/usr/sbin:/sbin ip link set lo up' 2>/dev/null; then
        exec unshare -rn env FISCORA_DEMO_NA_REDE_PROPRIA=1 bash "$0" "$@"
    fi
    if [ "$(id -u)" -ne 0 ]; then
        cat >&2 <<EOF
A demonstração não pôde criar um espaço de rede próprio (unshare -rn), onde um usuário comum
escuta na porta 80 do servidor local: o unshare (pacote util-linux) ou o ip (pacote iproute2)
falta, ou este sistema não permite espaços de nomes de usuário (sysctl
kernel.unprivileged_userns_clone=1 os permite).
Execute como root, ou libere as portas a partir da 80 (sudo sysctl
net.ipv4.ip_unprivileged_port_start=80) e rode com FISCORA_DEMO_ISOLADO=0.
EOF
        exit 1
    fi
    echo "Sem espaço de rede próprio (unshare -rn falhou): a demonstração usa a rede deste computador."
fi
if [ -n "${FISCORA_DEMO_NA_REDE_PROPRIA:-}" ]; then
    PATH=$PATH:/usr/sbin:/sbin ip link set lo up
fi

if [ -n "${FISCORA_DEMO_NOVO:-}" ]; then rm -rf "$demo"; fi
mkdir -p "$demo/programa" "$demo/servidor"
# The programs and the files they ship with, from this build; the local database only the first time.
first_run=0
[ -f "$demo/programa/fiscora.mdb" ] || first_run=1
for f in "$bin"/*; do
    case "$(basename "$f")" in
    fiscora-servidor) continue ;;
    fiscora.mdb) [ "$first_run" = 1 ] || continue ;;
    esac
    cp -a "$f" "$demo/programa/"
done
# A few of the seeded companies are already registered in the client's local database.
if [ "$first_run" = 1 ] && [ -f "$root/resources/demo/contribuintes.sql" ]; then
    sqlite3 "$demo/programa/fiscora.mdb" <"$root/resources/demo/contribuintes.sql"
fi
# The demo keeps its own certificate store: importing a sample certificate leaves the user's alone.
export FISCORA_CERTIFICADOS="$demo/certificados"
# ... and its own preferences (the last folder and certificates), so the user's stay as they are.
export FISCORA_PREFERENCIAS="$demo/preferencias"
# The server publishes the same version as the client: no update at start.
cp "$bin/info.fsc" "$demo/servidor/versao.txt"
# The seed replaces what it names: only into a new server database.
seed=()
[ ! -f "$demo/servidor/servidor.db" ] && [ -f "$root/resources/demo/semente.json" ] &&
    seed=(--semente "$root/resources/demo/semente.json")
if [ -d "$root/resources/demo/dados" ]; then cp -a "$root/resources/demo/dados/." "$demo/servidor/"; fi

# The server signs the updater with the build's demo key, whose public half is in the program folder.
key=()
[ -f "$root/$build/chave-atualizacao/fiscora-atualizacao.key" ] &&
    key=(--chave-atualizacao "$root/$build/chave-atualizacao/fiscora-atualizacao.key")
tls=()
if [ -n "${FISCORA_DEMO_HTTPS:-}" ]; then
    "$root/scripts/gerar-certificado-tls.sh" ac "$root/$build/tls"
    "$root/scripts/gerar-certificado-tls.sh" servidor "$root/$build/tls" "$demo/servidor-tls" "$address" localhost
    tls=(--certificado "$demo/servidor-tls.pem" --chave-certificado "$demo/servidor-tls.key")
fi
# The program's settings, written afresh each run (the program never writes them).
{
    printf '[servidor]\r\nhost=%s\r\nport=%s\r\n' "$address" "$port"
    [ -n "${tls[*]}" ] && printf 'protocolo=https\r\ncertificados=%s\r\n' "$root/$build/tls/ac-teste.pem"
    true
} >"$demo/programa/fiscora.ini"
# Token modules to read (scripts/demo-token.sh names SoftHSM2's).
if [ -n "${FISCORA_DEMO_MODULOS:-}" ]; then
    printf '\r\n[certificados]\r\nmodulos=%s\r\n' "$FISCORA_DEMO_MODULOS" >>"$demo/programa/fiscora.ini"
fi
rm -f "$demo/servidor/pronto"
"$bin/fiscora-servidor" --endereco "$address" --porta "$port" --dados "$demo/servidor" "${seed[@]}" "${key[@]}" \
    "${tls[@]}" \
    2>"$demo/servidor.log" &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -f "$demo/servidor/pronto" ] && break; sleep 0.1; done
if [ ! -f "$demo/servidor/pronto" ]; then
    echo "O servidor local não iniciou em $address:$port; veja $demo/servidor.log" \
        "(outra porta: FISCORA_DEMO_PORTA=N; outro endereço: FISCORA_DEMO_ENDERECO=IP)" >&2
    exit 1
fi
echo "Servidor local em ${tls:+https://}$address:$port (dados em $demo/servidor, registro em $demo/servidor.log)"

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
    trap 'kill $server 2>/dev/null || true; rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    "$demo/programa/fiscora" --pasta "$demo/programa"
    exit
fi
# No display: a virtual one, where "Iniciar" is pressed and the demo's company selected as a user
# would, and a picture of the main window kept.
echo "Sem tela disponível: executando em Xvfb; captura da janela principal em $demo/tela.png"
xvfb-run -a -s "-screen 0 1280x800x24" bash -euc '
    demo=$1
    # A window manager for the title bars; the program starts once it is up (a window shown while
    # the manager starts may never be mapped).
    if command -v openbox >/dev/null; then
        openbox --sm-disable >/dev/null 2>&1 &
        for _ in $(seq 100); do xdotool get_num_desktops >/dev/null 2>&1 && break; sleep 0.1; done
    fi
    "$demo/programa/fiscora" --pasta "$demo/programa" 2>"$demo/fiscora.log" &
    app=$!
    # The picture is taken whatever happens: it shows where the demo stopped.
    trap "import -window root \"$demo/tela.png\" || true; kill $app 2>/dev/null || true" EXIT
    found() { xdotool search --onlyvisible --name "$1" 2>/dev/null || true; }
    wait_for() {
        for _ in $(seq 300); do
            [ -n "$(found "$1")" ] && return
            sleep 0.2
        done
        echo "A janela \"$1\" não apareceu" >&2
        return 1
    }
    # The start-up window enables "Iniciar" once the version check is done; Enter presses it.
    wait_for "^Fiscora - "
    start=$(found "^Fiscora - " | head -n 1)
    main=""
    for _ in $(seq 60); do
        main=$(found "^Fiscora - " | grep -vx "$start" | head -n 1 || true)
        [ -n "$main" ] && break
        xdotool windowfocus "$start" key Return 2>/dev/null || true
        sleep 0.5
    done
    [ -n "$main" ] || { echo "A janela principal não abriu" >&2; exit 1; }
    sleep 1
    # "Contribuinte" > "Selecionar" (F5), the search finds the company, OK.
    xdotool windowfocus --sync "$main" key F5
    wait_for "^Seleção de Contribuinte"
    sleep 0.5
    xdotool type --delay 30 "Comercial"
    xdotool key Return
    sleep 3
' bash "$demo"
