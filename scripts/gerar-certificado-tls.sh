#!/usr/bin/env bash
# Certificates for the stand-in server's TLS, for the demo and the tests only:
#   gerar-certificado-tls.sh ac PASTA                   a certification authority: PASTA/ac-teste.pem
#                                                       and its key PASTA/ac-teste.key (kept when present)
#   gerar-certificado-tls.sh servidor PASTA SAIDA NOME...
#                                                       SAIDA.pem and SAIDA.key for these host names
#                                                       and addresses, signed by PASTA's authority
# Fiscora trusts the authority through "certificados=PASTA/ac-teste.pem" in [servidor].
set -euo pipefail
mode=${1:?uso: gerar-certificado-tls.sh ac PASTA | servidor PASTA SAIDA NOME...}
folder=${2:?falta a pasta da autoridade}
curve=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
case "$mode" in
ac)
    mkdir -p "$folder"
    [ -s "$folder/ac-teste.pem" ] && [ -s "$folder/ac-teste.key" ] && exit 0
    umask 077
    openssl req -x509 "${curve[@]}" -keyout "$folder/ac-teste.key" -out "$folder/ac-teste.pem" \
        -days 3650 -subj "/O=Fiscora/CN=Autoridade de teste do Fiscora" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
    chmod 644 "$folder/ac-teste.pem"
    ;;
servidor)
    out=${3:?falta o nome dos arquivos de saída}
    shift 3
    [ $# -gt 0 ] || { echo "falta ao menos um nome ou endereço" >&2; exit 2; }
    names=()
    for name in "$@"; do
        if [[ "$name" =~ ^[0-9.]+$ || "$name" == *:* ]]; then names+=("IP:$name"); else names+=("DNS:$name"); fi
    done
    san=$(IFS=,; echo "${names[*]}")
    openssl req -x509 "${curve[@]}" -keyout "$out.key" -out "$out.pem" -days 30 -subj "/CN=$1" \
        -CA "$folder/ac-teste.pem" -CAkey "$folder/ac-teste.key" \
        -addext "subjectAltName=$san" -addext "basicConstraints=critical,CA:FALSE" \
        -addext "extendedKeyUsage=serverAuth" 2>/dev/null
    ;;
*)
    echo "modo desconhecido: $mode" >&2
    exit 2
    ;;
esac
