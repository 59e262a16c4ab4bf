#!/usr/bin/env python3
"""Writes the demo's GIA files into resources/demo/gia/ (or the folder given second).

ribeirao-verde-11-2026.prf  GIA text file of Comercial Ribeirão Verde (IE 110.042.490.114), 11/2026
novagia-exportacao.mdb      NovaGIA export with GIAs of three demo companies, made from
                            novagia-exportacao.prf by Fiscora's own converter

Usage: make-demo-gia.py PATH/TO/fiscora [FOLDER]   (fiscora --converter needs gia_limpa.mdb beside it)
"""
import os
import subprocess
import sys


def fit(value, length):
    return value.encode("cp1252")[:length].ljust(length, b" ")


def digits(value, length):
    return str(value).rjust(length, "0").encode()


def amount(cents):
    return digits(cents, 15)


def header01():
    return b"01" + b"01" + b"20261205" + b"101500" + b"0001" + b"0001" + b"0001"


def gia05(ie, cnpj, cnae, month, regime="01", tipo="01"):
    return (b"05" + fit(ie, 12) + fit(cnpj, 14) + fit(cnae, 7) + fit(regime, 2) + fit(month, 6) + b"000000" +
            fit(tipo, 2) + b"1" + b"0" + amount(0) + amount(0) + b"0" * 14 + b"0" + amount(0) + b" " * 32 +
            b"0000" * 5)


def cfop10(cfop, contabil, base, imposto):
    values = [contabil, base, imposto, 0, contabil - base, 0, 0, 0, 0]
    return b"10" + fit(cfop, 6) + b"".join(amount(v) for v in values) + b"0000"


def dipam30(code, municipio, cents):
    return b"30" + fit(code, 2) + fit(municipio, 5) + amount(cents)


def gia(ie, cnpj, cnae, month, sales, purchases, tipo="01"):
    return [
        gia05(ie, cnpj, cnae, month, tipo=tipo),
        cfop10("1102", purchases, purchases, purchases * 18 // 100),
        cfop10("5102", sales, sales, sales * 18 // 100),
        dipam30("22", "35417", sales // 20),
    ]


RIBEIRAO = ("110042490114", "12345678000195", "4711302")
SERRA = ("648135514406", "34567890000130", "2599399")
CAMPO = ("648097729184", "45678901000175", "4639701")


def write(path, records):
    with open(path, "wb") as f:
        for record in records:
            f.write(record + b"\r\n")
    print(path, os.path.getsize(path), "bytes")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    fiscora = os.path.abspath(sys.argv[1])
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "resources", "demo", "gia")
    os.makedirs(folder, exist_ok=True)

    write(os.path.join(folder, "ribeirao-verde-11-2026.prf"),
          [header01()] + gia(*RIBEIRAO, "202611", 21240050, 11930010))

    export_text = os.path.join(folder, "novagia-exportacao.prf")
    write(export_text,
          [header01()] + gia(*RIBEIRAO, "202609", 19850000, 10120000, tipo="02") +
          gia(*RIBEIRAO, "202610", 20110000, 10480000, tipo="02") +
          gia(*SERRA, "202611", 88012078, 46779000) + gia(*CAMPO, "202611", 14200000, 8640000))
    export = os.path.join(folder, "novagia-exportacao.mdb")
    if os.path.exists(export):
        os.remove(export)
    subprocess.run([fiscora, "--converter", export_text, export], check=True)
    print(export, os.path.getsize(export), "bytes")


if __name__ == "__main__":
    main()
