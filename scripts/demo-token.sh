#!/usr/bin/env bash
# Makes a SoftHSM2 token holding the e-CNPJ of the demo company Distribuidora Campo Alto and the
# accountant's e-CPF (public certificates; PIN 1234), then starts the demo with it: the certificate
# window lists them as on a USB token, no import needed.
#
#   scripts/demo-token.sh [BUILD]        token in BUILD/token-demo, then scripts/demo.sh BUILD
#   SO_TOKEN=1 scripts/demo-token.sh     only makes the token and prints how to use it
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
token="$root/$build/token-demo"
certificates="$root/resources/demo/certificados"
pin=1234

module=""
for candidate in /usr/lib/softhsm/libsofthsm2.so /usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so; do
    [ -f "$candidate" ] && module=$candidate && break
done
if [ -z "$module" ] || ! command -v pkcs11-tool >/dev/null; then
    echo "SoftHSM2 ou pkcs11-tool ausente: execute scripts/install-deps.sh" >&2
    exit 1
fi

rm -rf "$token"
mkdir -p "$token/tokens"
cat >"$token/softhsm2.conf" <<CONF
directories.tokendir = $token/tokens
objectstore.backend = file
log.level = ERROR
CONF
export SOFTHSM2_CONF="$token/softhsm2.conf"

label="Campo Alto"
softhsm2-util --init-token --free --label "$label" --pin $pin --so-pin $pin >/dev/null
id=1
for name in campo-alto contador-demo; do
    pkcs11-tool --module "$module" --token-label "$label" --login --pin $pin \
        --write-object "$certificates/$name.cer" --type cert --id "0$id" --label "$name" >/dev/null
    id=$((id + 1))
done
echo "Token \"$label\" criado em $token (módulo $module)"

if [ -n "${SO_TOKEN:-}" ]; then
    echo "Para usá-lo: export SOFTHSM2_CONF=$SOFTHSM2_CONF e, no fiscora.ini:"
    echo "  [certificados]"
    echo "  modulos=$module"
    exit 0
fi
FISCORA_DEMO_MODULOS="$module" exec "$root/scripts/demo.sh" "$build"
