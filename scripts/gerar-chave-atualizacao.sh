#!/usr/bin/env bash
# Makes an Ed25519 key pair for signing the updater, for the demo and the tests:
#   PASTA/fiscora-atualizacao.key  private key (PEM; the stand-in server signs with it)
#   PASTA/fiscora-atualizacao.pub  public key (PEM; installed in the program folder)
# An existing pair is kept. A real installation ships the vendor's public key instead, and the
# vendor signs each updater for the version it is announced with:
#   scripts/assinar-atualizacao.sh CHAVE.key VERSAO atualizacao_fiscora.exe
set -euo pipefail
dir=${1:?uso: gerar-chave-atualizacao.sh PASTA}
mkdir -p "$dir"
key="$dir/fiscora-atualizacao.key"
pub="$dir/fiscora-atualizacao.pub"
if [ ! -s "$key" ]; then
    (umask 077 && openssl genpkey -algorithm ed25519 -out "$key.tmp")
    mv "$key.tmp" "$key"
    rm -f "$pub"
fi
if [ ! -s "$pub" ]; then
    openssl pkey -in "$key" -pubout -out "$pub.tmp"
    mv "$pub.tmp" "$pub"
fi
