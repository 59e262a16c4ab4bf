#!/usr/bin/env python3
"""Writes the demo's PGDAS documents into resources/demo/pgdas/ (or the folder given).

declaracao-pgdas.pdf       a declaration as the PGDAS site gives it: accepted
extrato-pgdas.pdf          an "Extrato" of the Simples Nacional: refused (EXTRATO)
recibo-pgdas.pdf           a "Recibo" of delivery: refused (RECIBO)
declaracao-modificada.pdf  the declaration saved again after it was made: refused (MODIFICADO)

Plain PDF 1.4 with one page of Helvetica text; the declaration and the extract keep their page
text Flate-compressed, as most generators do.
"""
import os
import sys
import zlib

COMPANY = "PADARIA ESTRELA DO VALE LTDA ME"
CNPJ = "23.456.789/0001-95"


def literal(text):
    data = text.encode("cp1252")
    return b"(" + data.replace(b"\\", b"\\\\").replace(b"(", b"\\(").replace(b")", b"\\)") + b")"


def page_text(lines):
    out = [b"BT", b"/F1 11 Tf", b"14 TL", b"50 790 Td"]
    for line in lines:
        out.append(literal(line) + b" Tj T*")
    out.append(b"ET")
    return b"\n".join(out) + b"\n"


def pdf(lines, compress, title):
    content = page_text(lines)
    if compress:
        content = zlib.compress(content, 9)
        stream_dict = b"<< /Length %d /Filter /FlateDecode >>" % len(content)
    else:
        stream_dict = b"<< /Length %d >>" % len(content)
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 5 0 R >> >> "
        b"/Contents 4 0 R >>",
        stream_dict + b"\nstream\n" + content + b"\nendstream",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        b"<< /Producer (Fiscora demo) /Title " + literal(title) + b" >>",
    ]
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R /Info 6 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out), xref, len(objects)


def incremental_update(original, xref, count, note):
    """The same file with an annotation-free update appended, as a PDF editor saves it."""
    out = bytearray(original)
    offset = len(out)
    number = count + 1
    out += b"%d 0 obj\n<< /Producer (Editor de PDF) /Title %s >>\nendobj\n" % (number, literal(note))
    new_xref = len(out)
    out += b"xref\n0 1\n0000000000 65535 f \n%d 1\n%010d 00000 n \n" % (number, offset)
    out += b"trailer\n<< /Size %d /Root 1 0 R /Info %d 0 R /Prev %d >>\nstartxref\n%d\n%%%%EOF\n" % (
        number + 1, number, xref, new_xref)
    return bytes(out)


DECLARATION = [
    "Programa Gerador do Documento de Arrecadação do Simples Nacional - Declaratório",
    "Declaração Mensal",
    "CNPJ Matriz: " + CNPJ,
    "Nome Empresarial: " + COMPANY,
    "Período de Apuração (PA): 11/2026",
    "Data de abertura no CNPJ: 14/03/2011",
    "Receita Bruta do PA (RPA) - Competência: 18.540,00",
    "Receita bruta acumulada nos 12 meses anteriores ao PA (RBT12): 212.904,35",
    "Comércio: padaria e confeitaria com predominância de revenda",
    "Valor devido: 1.112,40",
]

EXTRACT = [
    "Extrato do Simples Nacional",
    "CNPJ Matriz: " + CNPJ,
    "Nome Empresarial: " + COMPANY,
    "Período de Apuração: 11/2026",
    "Receitas brutas anteriores: 212.904,35",
    "Total do débito exigível: 1.112,40",
]

RECEIPT = [
    "Recibo de Entrega da Declaração do Simples Nacional",
    "CNPJ Matriz: " + CNPJ,
    "Nome Empresarial: " + COMPANY,
    "Período de Apuração: 11/2026",
    "Número da Declaração: 23456789202611001",
    "Data e hora da transmissão: 05/12/2026 10:14:52",
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "demo", "pgdas")
    os.makedirs(folder, exist_ok=True)
    declaration, xref, count = pdf(DECLARATION, True, "Declaração PGDAS-D 11/2026")
    files = {
        "declaracao-pgdas.pdf": declaration,
        "extrato-pgdas.pdf": pdf(EXTRACT, True, "Extrato PGDAS-D 11/2026")[0],
        "recibo-pgdas.pdf": pdf(RECEIPT, False, "Recibo PGDAS-D 11/2026")[0],
        "declaracao-modificada.pdf": incremental_update(declaration, xref, count, "Declaração alterada"),
    }
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        print(os.path.join(folder, name), len(data), "bytes")


if __name__ == "__main__":
    main()
