#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace fiscora::test {

// A one-page PDF with these lines in Helvetica, its text uncompressed: Poppler reads it as the
// program does, and the stand-in server finds its words and its month in it. Latin-1 text.
inline QByteArray simplePdf(const QStringList& lines) {
    QByteArray text = "BT /F1 11 Tf 60 780 Td 14 TL";
    for (const QString& line : lines) {
        QByteArray escaped = line.toLatin1();
        escaped.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)");
        text += " (" + escaped + ") Tj T*";
    }
    text += " ET";
    const QList<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 4 0 R >> >> "
        "/Contents 5 0 R >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        "<< /Length " + QByteArray::number(text.size()) + " >>\nstream\n" + text + "\nendstream",
    };
    QByteArray out = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets.append(out.size());
        out += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const qsizetype xref = out.size();
    out += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

} // namespace fiscora::test
