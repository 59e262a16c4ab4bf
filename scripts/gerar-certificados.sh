#!/usr/bin/env bash
# Generates test certificates with the openssl command line: a test CA and end-entity
# certificates carrying ICP-Brasil style otherName fields, the CRL distribution points variants
# and fixed validity dates (explicit dates, so the files never expire on their own).
#
#   scripts/gerar-certificados.sh testes PASTA   the fixtures of the test suite
#   scripts/gerar-certificados.sh demo PASTA     one e-CNPJ per company of the demo seed
#
# Every certificate is written as NAME.cer (DER, public part only) and NAME.pfx (PKCS#12 with the
# key, AES-256 and PBKDF2); some also as NAME-legado.pfx (RC2-40 / 3DES, as older tools write).
# The password of every .pfx is "1234" (or $SENHA).
set -euo pipefail

mode=${1:?uso: gerar-certificados.sh testes|demo PASTA}
out=${2:?uso: gerar-certificados.sh testes|demo PASTA}
pass=${SENHA:-1234}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/novos"
: >"$work/index.txt"
echo 1000 >"$work/serial"

cat >"$work/ca.cnf" <<EOF
[ca]
default_ca = ac_teste
[ac_teste]
database = $work/index.txt
new_certs_dir = $work/novos
serial = $work/serial
certificate = $work/ac.pem
private_key = $work/ac.key
default_md = sha256
policy = qualquer
unique_subject = no
email_in_dn = no
copy_extensions = none
preserve = yes
[qualquer]
countryName = optional
organizationName = optional
organizationalUnitName = optional
commonName = supplied
[req]
distinguished_name = dn
string_mask = utf8only
utf8 = yes
[dn]
EOF

# Runs a chatty command, showing its output only when it fails.
quieto() { "$@" >"$work/saida.log" 2>&1 || { cat "$work/saida.log" >&2; return 1; }; }

novachave() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }

# ICP-Brasil person data: birth date (8), CPF (11), NIS (11), RG (15), issuer and state (10).
dados_pessoa() { printf '%s%s%s%s%s' "$1" "$2" 00000000000 000000000000000 0000000000; }

# emitir NAME SUBJECT START END EXTENSIONS [legado]
emitir() {
    local name=$1 subject=$2 start=$3 end=$4 extensions=$5 legacy=${6:-}
    novachave "$work/$name.key"
    openssl req -new -utf8 -config "$work/ca.cnf" -key "$work/$name.key" -subj "$subject" \
        -out "$work/$name.csr"
    printf '[ext]\nbasicConstraints = CA:false\nkeyUsage = critical,digitalSignature,nonRepudiation,keyEncipherment\nextendedKeyUsage = clientAuth,emailProtection\nauthorityKeyIdentifier = keyid\n%s\n' \
        "$extensions" >"$work/$name.ext"
    quieto openssl ca -batch -utf8 -notext -config "$work/ca.cnf" -in "$work/$name.csr" -out "$work/$name.pem" \
        -startdate "$start" -enddate "$end" -extfile "$work/$name.ext" -extensions ext
    openssl x509 -in "$work/$name.pem" -outform DER -out "$out/$name.cer"
    local friendly=${subject##*CN=}
    openssl pkcs12 -export -inkey "$work/$name.key" -in "$work/$name.pem" -certfile "$work/ac.pem" \
        -name "$friendly" -passout "pass:$pass" -out "$out/$name.pfx"
    if [ -n "$legacy" ]; then
        openssl pkcs12 -export -legacy -inkey "$work/$name.key" -in "$work/$name.pem" \
            -certfile "$work/ac.pem" -name "$friendly" -passout "pass:$pass" -out "$out/$name-legado.pfx"
    fi
}

# The test CA, self-signed with explicit dates.
novachave "$work/ac.key"
openssl req -new -utf8 -config "$work/ca.cnf" -key "$work/ac.key" \
    -subj "/C=BR/O=ICP-Brasil Teste/CN=AC Valdorra Teste" -out "$work/ac.csr"
printf '[ext]\nbasicConstraints = critical,CA:true\nkeyUsage = critical,keyCertSign,cRLSign\nsubjectKeyIdentifier = hash\n' \
    >"$work/ac.ext"
quieto openssl ca -batch -utf8 -notext -selfsign -config "$work/ca.cnf" -keyfile "$work/ac.key" \
    -in "$work/ac.csr" -out "$work/ac.pem" -startdate 20000101000000Z -enddate 20991231235959Z \
    -extfile "$work/ac.ext" -extensions ext
openssl x509 -in "$work/ac.pem" -outform DER -out "$out/ac-teste.cer"

always_start=20000101000000Z
always_end=20991231235959Z
cdp1='crlDistributionPoints = URI:http://lcr.valdorra.test/ac-teste.crl'
cdp2='crlDistributionPoints = URI:http://lcr.valdorra.test/ac-teste.crl, URI:http://lcr2.valdorra.test/ac-teste.crl'

# An e-CNPJ: responsible person's data (.4), responsible's name (.2), CNPJ (.3), CEI (.7).
ecnpj_san() { # CNPJ CPF_RESPONSAVEL NOME_RESPONSAVEL
    printf 'subjectAltName = otherName:2.16.76.1.3.4;OCTETSTRING:%s, otherName:2.16.76.1.3.2;OCTETSTRING:%s, otherName:2.16.76.1.3.3;OCTETSTRING:%s, otherName:2.16.76.1.3.7;OCTETSTRING:000000000000' \
        "$(dados_pessoa 01011970 "$2")" "$3" "$1"
}
# An e-CPF: holder's data (.1), voter card (.5), CEI (.6); PRINTABLESTRING as some CAs write it.
ecpf_san() { # CPF
    printf 'subjectAltName = otherName:2.16.76.1.3.1;PRINTABLESTRING:%s, otherName:2.16.76.1.3.6;PRINTABLESTRING:000000000000, otherName:2.16.76.1.3.5;PRINTABLESTRING:0000000000000000000' \
        "$(dados_pessoa 15051980 "$1")"
}

case "$mode" in
testes)
    company=11222333000181
    responsible=52998224725
    accountant=11144477735
    emitir empresa "/C=BR/O=ICP-Brasil/OU=AC Valdorra Teste/CN=EMPRESA TESTE LTDA:$company" \
        $always_start $always_end "$(ecnpj_san $company $responsible 'MARIA RESPONSAVEL')
$cdp1" legado
    emitir contador "/C=BR/O=ICP-Brasil/OU=AC Valdorra Teste/CN=JOSÉ CONTADOR DA SILVA:$accountant" \
        $always_start $always_end "$(ecpf_san $accountant)
$cdp2"
    emitir terceiro "/C=BR/O=ICP-Brasil/OU=AC Valdorra Teste/CN=OUTRA PESSOA:12345678909" \
        $always_start $always_end "$(ecpf_san 12345678909)"
    emitir cdp-malformado "/C=BR/O=ICP-Brasil/OU=AC Valdorra Teste/CN=EMPRESA CDP MALFORMADO:$company" \
        $always_start $always_end "$(ecnpj_san $company $responsible 'MARIA RESPONSAVEL')
2.5.29.31 = DER:0C03616263"
    emitir cdp-sem-url "/C=BR/O=ICP-Brasil/OU=AC Valdorra Teste/CN=EMPRESA CDP SEM URL:$company" \
        $always_start $always_end "$(ecnpj_san $company $responsible 'MARIA RESPONSAVEL')
2.5.29.31 = DER:3000"
    emitir expirado "/C=BR/O=ICP-Brasil/OU=AC Valdorra Teste/CN=EMPRESA TESTE LTDA:$company" \
        $always_start 20101231235959Z "$(ecnpj_san $company $responsible 'MARIA RESPONSAVEL')"
    emitir futuro "/C=BR/O=ICP-Brasil/OU=AC Valdorra Teste/CN=JOSÉ CONTADOR DA SILVA:$accountant" \
        20900101000000Z $always_end "$(ecpf_san $accountant)"
    emitir limites "/C=BR/O=ICP-Brasil/OU=AC Valdorra Teste/CN=EMPRESA TESTE LTDA:$company" \
        20240101000000Z 20241231235959Z "$(ecnpj_san $company $responsible 'MARIA RESPONSAVEL')
$cdp1"
    ;;
demo)
    # One e-CNPJ per company of the demo seed (resources/demo/semente.json), and the accountant's
    # e-CPF for the transmissions.
    while IFS='|' read -r name cnpj label; do
        [ -z "$name" ] && continue
        emitir "$name" "/C=BR/O=ICP-Brasil/OU=AC Valdorra Teste/CN=$label:$cnpj" \
            $always_start $always_end "$(ecnpj_san "$cnpj" 52998224725 'MARIA RESPONSAVEL')
$cdp1"
    done <<'EMPRESAS'
ribeirao-verde|12345678000195|COMERCIAL RIBEIRÃO VERDE LTDA
estrela-do-vale|23456789000195|PADARIA ESTRELA DO VALE LTDA ME
serra-dagua|34567890000130|METALÚRGICA SERRA D'ÁGUA LTDA
campo-alto|45678901000175|DISTRIBUIDORA CAMPO ALTO LTDA
horizonte-digital|12ABC34501DE35|HORIZONTE DIGITAL SERVIÇOS LTDA
EMPRESAS
    emitir contador-demo "/C=BR/O=ICP-Brasil/OU=AC Valdorra Teste/CN=JOSÉ CONTADOR DA SILVA:11144477735" \
        $always_start $always_end "$(ecpf_san 11144477735)
$cdp2"
    ;;
*)
    echo "modo desconhecido: $mode" >&2
    exit 2
    ;;
esac
echo "Certificados gerados em $out (senha dos .pfx: $pass)"
