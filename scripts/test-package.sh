#!/usr/bin/env bash
# Builds the two Debian packages (fiscora, fiscora-servidor) with a test update key, checks them
# with lintian and by their contents, installs them on this machine with apt (CI runs on a fresh
# machine) and runs them as a normal user: the program's own folder, both command-line modes, the
# windows, the desktop entry, the stand-in server with the demo's seed, the token drivers.
# Removes the packages and the user afterwards unless FISCORA_MANTER_PACOTE=1.
#
#   scripts/test-package.sh [BUILD_FOLDER]      (as root, or a user with sudo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$root" && realpath "${1:-build}")
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
user=fiscora-teste
ie=110.042.490.114
demo=/usr/share/fiscora-servidor/demo

fail() { echo "FALHOU: $*" >&2; exit 1; }

# The build folder keeps the vendor's key and server it was given; the test's are only lent to it.
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
previous_key=$(cached FISCORA_VENDOR_UPDATE_KEY)
previous_server=("$(cached FISCORA_SERVER_HOST)" "$(cached FISCORA_SERVER_PORT)" "$(cached FISCORA_SERVER_PROTOCOL)")
use_key() { cmake -S "$root" -B "$build" "-DFISCORA_VENDOR_UPDATE_KEY=$1" >/dev/null; }
use_server() {
    cmake -S "$root" -B "$build" "-DFISCORA_SERVER_HOST=$1" "-DFISCORA_SERVER_PORT=$2" \
        "-DFISCORA_SERVER_PROTOCOL=$3" >/dev/null
}
cleanup() {
    use_key "$previous_key" || true
    use_server "${previous_server[@]}" || true
    [ "${FISCORA_MANTER_PACOTE:-0}" = 1 ] && return
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q fiscora-servidor fiscora >/dev/null 2>&1 || true
    $SUDO userdel -r "$user" >/dev/null 2>&1 || true
    [ -n "${work:-}" ] && $SUDO rm -rf "$work"
}
trap cleanup EXIT

# The update key is an input: without one no package is made, and the message says why.
rm -f "$build"/fiscora_*.deb "$build"/fiscora-servidor_*.deb
use_server 127.0.0.47 8443 https
use_key ""
if refused=$(cmake --build "$build" --target package -j "$(nproc)" 2>&1); then
    fail "os pacotes foram feitos sem a chave do fornecedor"
fi
grep -q "Falta a chave pública de atualização do fornecedor" <<<"$refused" ||
    fail "sem a chave, a mensagem não diz o que falta: $(tail -n 5 <<<"$refused")"

keys="$build/chave-teste-pacote"
"$root/scripts/gerar-chave-atualizacao.sh" "$keys"
use_key "$keys/fiscora-atualizacao.pub"
# So is the server an installed copy talks to.
use_server "" "" ""
if refused=$(cmake --build "$build" --target package -j "$(nproc)" 2>&1); then
    fail "os pacotes foram feitos sem o servidor"
fi
grep -q "FISCORA_SERVER_HOST=NOME -DFISCORA_SERVER_PORT=PORTA" <<<"$(tr -s ' \n' ' ' <<<"$refused")" ||
    fail "sem o servidor, a mensagem não diz o que falta: $(tail -n 5 <<<"$refused")"
use_server 127.0.0.47 8443 https
cmake --build "$build" --target package -j "$(nproc)"
use_key "$previous_key"
use_server "${previous_server[@]}"
client=$(ls "$build"/fiscora_*.deb)
server=$(ls "$build"/fiscora-servidor_*.deb)
version=$(dpkg-deb -f "$client" Version)
echo "Pacotes: $client $server"

# Relations: each package named once; only the server needs cpp-httplib, and the program's
# Access reader.
for deb in "$client" "$server"; do
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "$(basename "$deb"): Depends: $depends"
    repeated=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/ //g' | sed '/^$/d' | sort | uniq -d)
    [ -z "$repeated" ] || fail "$(basename "$deb") repete em Depends: $repeated"
done
client_depends=$(dpkg-deb -f "$client" Depends)
server_depends=$(dpkg-deb -f "$server" Depends)
! grep -q httplib <<<"$client_depends" || fail "fiscora depende do cpp-httplib"
grep -q libcpp-httplib <<<"$server_depends" || fail "fiscora-servidor não depende do cpp-httplib"
grep -qF "fiscora (= $version)" <<<"$server_depends" || fail "fiscora-servidor não depende de fiscora"
for library in libsqlite3-0 libssl3 libcurl4 qt6-qpa-plugins; do
    grep -qw "$library" <<<"$client_depends" || fail "fiscora não depende de $library"
done
[ "$(dpkg-deb -f "$client" Recommends)" = "xdg-utils" ] || fail "Recommends: $(dpkg-deb -f "$client" Recommends)"
[ "$(dpkg-deb -f "$client" Suggests)" = "opensc, p11-kit-modules" ] ||
    fail "Suggests: $(dpkg-deb -f "$client" Suggests)"

# lintian: no error or warning that is not overridden with its reason, no hardening flag missing.
lintian --fail-on error,warning --display-info "$client" "$server" >"$build/lintian.txt" 2>&1 ||
    { cat "$build/lintian.txt"; fail "lintian"; }
cat "$build/lintian.txt"
! grep -q "hardening-" "$build/lintian.txt" || fail "um programa foi feito sem o endurecimento do Debian"
# The stack protector, which lintian does not check, on every program and on the windows' module.
unpacked=$(mktemp -d)
dpkg-deb -x "$client" "$unpacked"
dpkg-deb -x "$server" "$unpacked"
for elf in "$unpacked"/usr/bin/* "$unpacked"/usr/libexec/fiscora/*; do
    grep -q '__stack_chk_fail' <<<"$(readelf --dyn-syms -W "$elf")" || fail "$elf sem -fstack-protector-strong"
done
rm -rf "$unpacked"

$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$client" "$server"
owned_by() {
    local package=$1
    shift
    for f in "$@"; do
        [ -e "$f" ] || fail "o pacote $package não instalou $f"
        [ "$(dpkg -S "$f" | cut -d: -f1)" = "$package" ] || fail "$f não é do pacote $package"
    done
}
owned_by fiscora /usr/bin/fiscora /usr/libexec/fiscora/fiscora-leitor-mdb \
    /usr/libexec/fiscora/fiscora-leitor-pkcs11 /usr/libexec/fiscora/fiscora-janelas.so \
    /usr/libexec/fiscora/fiscora-lote.so /usr/libexec/fiscora/fiscora-rede.so \
    /usr/libexec/fiscora/fiscora-documentos.so /usr/libexec/fiscora/fiscora-impressao.so \
    /usr/share/fiscora/fiscora.ini /usr/share/fiscora/info.fsc /usr/share/fiscora/fiscora.mdb \
    /usr/share/fiscora/gia_limpa.mdb /usr/share/fiscora/fiscora-atualizacao.pub \
    /usr/share/applications/fiscora.desktop /usr/share/icons/hicolor/48x48/apps/fiscora.png \
    /usr/share/man/man1/fiscora.1.gz /usr/share/doc/fiscora/copyright \
    /usr/share/doc/fiscora/changelog.Debian.gz /usr/share/doc/fiscora/guia.md \
    /usr/share/doc/fiscora/imagens/principal.png
owned_by fiscora-servidor /usr/bin/fiscora-servidor /usr/share/man/man1/fiscora-servidor.1.gz \
    /usr/share/doc/fiscora-servidor/copyright /usr/share/doc/fiscora-servidor/changelog.Debian.gz \
    "$demo/semente.json" "$demo/contribuintes.sql" "$demo/exportacao-novagia.mdb" \
    "$demo/gia/novagia-exportacao.mdb" "$demo/pgdas/declaracao-pgdas.pdf" "$demo/certificados/contador-demo.pfx"
desktop-file-validate /usr/share/applications/fiscora.desktop || fail "entrada de menu inválida"
# The key installed is the one passed in, never the build's demo key.
cmp -s /usr/share/fiscora/fiscora-atualizacao.pub "$keys/fiscora-atualizacao.pub" ||
    fail "a chave instalada não é a chave dada ao build"
! cmp -s /usr/share/fiscora/fiscora-atualizacao.pub "$build/bin/fiscora-atualizacao.pub" ||
    fail "o pacote levou a chave de demonstração do build"
! grep -q '\.key$' <<<"$(dpkg -L fiscora fiscora-servidor)" || fail "um pacote levou uma chave privada"
[ "$(tr -d '\r' </usr/share/fiscora/fiscora.ini)" = "$(printf '[servidor]\nhost=127.0.0.47\nport=8443\nprotocolo=https')" ] ||
    fail "o fiscora.ini instalado não é o do servidor dado ao build: $(cat /usr/share/fiscora/fiscora.ini)"

id "$user" >/dev/null 2>&1 || $SUDO useradd -m "$user"
home=$(getent passwd "$user" | cut -d: -f6)
work=$(mktemp -d)
cp "$root/tests/fixtures/duas-gias.prf" "$work/"
$SUDO chown -R "$user" "$work"
as_user() { $SUDO runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }

as_user fiscora --converter "$work/duas-gias.prf" "$work/pacote.mdb" || fail "--converter"
listed=$(as_user fiscora --listar "$work/pacote.mdb" "$ie") || fail "--listar"
expected=$(printf '2\t01/2008\tRPA\tSubstitutiva\n1\t05/2009\tRES\tNormal')
[ "$listed" = "$expected" ] || fail "--listar deu: $listed"

# The windows: with no server to answer the version check the program waits on its message box,
# so still running after a few seconds means the windows' module loaded and started.
set +e
as_user env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work" timeout 5 fiscora
started=$?
set -e
[ "$started" = 124 ] || fail "as janelas não iniciaram (código $started)"

folder="$home/.local/share/Fiscora/fiscora"
for f in fiscora.ini fiscora.mdb info.fsc gia_limpa.mdb; do
    [ -f "$folder/$f" ] || fail "a pasta do usuário não recebeu $f"
done
[ "$(stat -c %U "$folder/fiscora.mdb")" = "$user" ] || fail "fiscora.mdb não pertence ao usuário"

# The guide's demo from the installed packages, without port 80: the server with the demo's seed
# in a folder of the user's, and the demo's NovaGIA export read by the program.
as_user mkdir -p "$home/fiscora-demo"
as_user cp /usr/share/fiscora/info.fsc "$home/fiscora-demo/versao.txt"
as_user sh -c 'echo $$ >"$1/servidor.pid"; exec fiscora-servidor --endereco 127.0.0.47 --porta 8080 \
    --porta-portal 8080 --dados "$1" --semente "$2/semente.json" 2>"$1/servidor.log"' sh "$home/fiscora-demo" "$demo" &
for _ in $(seq 50); do [ -f "$home/fiscora-demo/pronto" ] && break; sleep 0.1; done
[ -f "$home/fiscora-demo/pronto" ] || fail "o servidor não iniciou: $(cat "$home/fiscora-demo/servidor.log")"
served=$(curl -fsS http://127.0.0.47:8080/lumo/server/versao.txt) || served=""
kill "$(cat "$home/fiscora-demo/servidor.pid")"
wait || true
[ "$served" = "$(cat /usr/share/fiscora/info.fsc)" ] || fail "o servidor não serviu a versão: $served"
grep -q '09/2026' <<<"$(as_user fiscora --listar "$demo/gia/novagia-exportacao.mdb" "$ie")" ||
    fail "--listar da exportação de demonstração"

# A registered token driver that the user may not start (SoftHSM2, whose configuration only its
# group reads) is read on its own: it fails alone, and the other drivers still answer.
if [ -f /etc/softhsm/softhsm2.conf ] && ! as_user test -r /etc/softhsm/softhsm2.conf; then
    reader=/usr/libexec/fiscora/fiscora-leitor-pkcs11
    registered=$(as_user "$reader" --registrados) || fail "a lista de drivers do p11-kit"
    failed=0
    read_ok=0
    while read -r record _ path; do
        [ "$record" = M ] || continue
        module=$(printf '%b' "$(sed 's/../\\x&/g' <<<"$path")")
        code=0
        as_user timeout 10 "$reader" "$module" >/dev/null || code=$?
        case "$module" in
        *softhsm*) [ "$code" = 3 ] && failed=1 ;;
        *) [ "$code" = 0 ] && read_ok=1 ;;
        esac
    done <<<"$registered"
    [ "$failed" = 1 ] || fail "o SoftHSM2 do sistema não falhou sozinho"
    [ "$read_ok" = 1 ] || fail "nenhum outro driver registrado foi lido"
    echo "Drivers de token registrados lidos um a um; o SoftHSM2 falhou sozinho"
fi
echo "Pacotes instalados e testados: $client $server"
