#!/usr/bin/env bash
# Signs an updater for the version the server announces with it:
#   assinar-atualizacao.sh CHAVE.key VERSAO atualizacao_fiscora.exe [SAIDA.sig]
# VERSAO is the text of versao.txt without white space at either end (e.g. 1.16.00). The signed
# message is "fiscora-atualizacao", NUL, VERSAO, NUL, the updater's bytes; the signature (64 raw
# Ed25519 bytes) goes to SAIDA.sig, by default the updater's name followed by .sig.
set -euo pipefail
key=${1:?uso: assinar-atualizacao.sh CHAVE.key VERSAO ATUALIZADOR [SAIDA.sig]}
version=${2:?uso: assinar-atualizacao.sh CHAVE.key VERSAO ATUALIZADOR [SAIDA.sig]}
updater=${3:?uso: assinar-atualizacao.sh CHAVE.key VERSAO ATUALIZADOR [SAIDA.sig]}
out=${4:-$updater.sig}
if [[ $version =~ ^[[:space:]] || $version =~ [[:space:]]$ ]]; then
    echo "assinar-atualizacao.sh: a versão não pode começar nem terminar com espaço" >&2
    exit 2
fi
message=$(mktemp)
trap 'rm -f "$message"' EXIT
{
    printf 'fiscora-atualizacao\0%s\0' "$version"
    cat "$updater"
} >"$message"
openssl pkeyutl -sign -rawin -inkey "$key" -in "$message" -out "$out.tmp"
mv "$out.tmp" "$out"
