// The office's month, below the windows: PGDAS documents matched to the companies, receipts
// kept as PDF files, certificates about to expire.

#include "certificates/CertificateExpiry.h"
#include "certificates/CertificateStore.h"
#include "core/ModalGate.h"
#include "core/UserPreferences.h"
#include "data/PgdasDocument.h"
#include "data/PgdasMatching.h"
#include "printing/ReceiptFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <optional>

#include <sys/stat.h>

using namespace fiscora;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(PgdasMatch::Outcome)

namespace {

// Valid CNPJs; kNotRegistered belongs to no taxpayer of the tests.
const QString kSimples = u"11.222.333/0001-81"_s;
const QString kGeral = u"45.678.901/0001-75"_s;
const QString kTwice = u"23.456.789/0001-95"_s;
const QString kNotRegistered = u"12.345.678/0001-95"_s;

// A PDF as Qt writes it, with these lines of text.
void writePdf(const QString& path, const QStringList& lines) {
    QPdfWriter writer(path);
    QTextDocument document;
    document.setPlainText(lines.join(u'\n'));
    document.print(&writer);
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A one-page PDF whose only object of note is an encryption dictionary with a user password.
QByteArray lockedPdf() {
    const QList<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>",
        "<< /Filter /Standard /V 1 /R 2 /P -4 /O <" + QByteArray(64, 'a') + "> /U <" + QByteArray(64, 'b') +
            "> >>",
    };
    QByteArray out = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets.append(out.size());
        out += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const qsizetype xref = out.size();
    out += "xref\n0 5\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size 5 /Root 1 0 R /Encrypt 4 0 R /ID [<00112233445566778899aabbccddeeff> "
           "<00112233445566778899aabbccddeeff>] >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

// Keeps a receipt as the program does, with a job, and waits for it.
std::optional<Result<KeptReceipt>> keepReceipt(const QString& html, const QString& path) {
    std::optional<Result<KeptReceipt>> kept;
    ModalGate gate;
    QObject context;
    ReceiptFile::keep(html, path, gate, &context,
                      [&](Result<KeptReceipt> result) { kept = std::move(result); });
    static_cast<void>(QTest::qWaitFor([&] { return kept.has_value(); }, 60000));
    return kept;
}

Taxpayer taxpayer(const QString& ie, const QString& name, const QString& cnpj, bool simples) {
    Taxpayer t;
    t.IE = ie;
    t.RazaoSocial = name;
    t.Cnpj = cnpj;
    t.OptanteSimples = simples;
    return t;
}

Certificate fixture(const QString& name) {
    QFile file(QStringLiteral(FISCORA_SOURCE_DIR "/tests/fixtures/certificados/") + name + u".cer"_s);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return Certificate::fromDer(file.readAll());
}

} // namespace

class DocumentosTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_folder; // the PGDAS documents of the folder test
    std::optional<Result<QList<PgdasMatch>>> m_matches;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_folder = m_dir.filePath(u"pgdas"_s);
        QVERIFY(QDir().mkpath(m_folder));
        const auto doc = [this](const QString& name, const QStringList& lines) {
            writePdf(QDir(m_folder).filePath(name), lines);
        };
        doc(u"declaracao.pdf"_s, {u"CNPJ Matriz: "_s + kSimples, u"Período de Apuração (PA): 11/2026"_s});
        // The name's CNPJ goes first: the text names another company.
        doc(u"PGDAS 11.222.333-0001-81.PDF"_s, {u"CNPJ: "_s + kGeral, u"10/2026"_s});
        doc(u"sem-cadastro.pdf"_s, {u"CNPJ: "_s + kNotRegistered, u"11/2026"_s});
        doc(u"regime-geral.pdf"_s, {u"CNPJ: "_s + kGeral, u"11/2026"_s});
        doc(u"dois.pdf"_s, {u"CNPJ: "_s + kTwice, u"11/2026"_s});
        doc(u"sem-cnpj.pdf"_s, {u"Declaração sem CNPJ"_s, u"11/2026"_s});
        writeBytes(QDir(m_folder).filePath(u"quebrado.pdf"_s), "%PDF-1.4\n1 0 obj << /Type /Catalog");
        // Not PGDAS documents by their names: left out.
        doc(u"declaracao.pdf.bak"_s, {kSimples});
        writeBytes(QDir(m_folder).filePath(u"notas.txt"_s), kSimples.toUtf8());
    }

    // Poppler reads the text of the PDFs Qt writes, and the program finds in it what it needs.
    void readsCnpjsAndReference_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("cnpjs");
        QTest::addColumn<QString>("reference");
        QTest::newRow("named period wins over an earlier month")
            << QStringList{u"Emitido em 05/12/2026"_s, u"CNPJ Matriz: "_s + kSimples,
                           u"Período de Apuração (PA): 11/2026"_s}
            << QStringList{u"11222333000181"_s} << u"11/2026"_s;
        QTest::newRow("named period as a range of days")
            << QStringList{u"Data de abertura: 14/03/2011"_s,
                           u"PERÍODO DE APURAÇÃO: 01/09/2026 a 30/09/2026"_s}
            << QStringList{} << u"09/2026"_s;
        QTest::newRow("else the first month standing alone")
            << QStringList{u"Número 202613/2026"_s, u"Competência 13/2026 ou 10/2026, aberta em 03/2011"_s}
            << QStringList{} << u"10/2026"_s;
        QTest::newRow("every valid CNPJ once, in order")
            << QStringList{u"Matriz "_s + kGeral + u" e 11222333000181"_s, u"Filial 12.ABC.345/01DE-35"_s,
                           u"Errado 11.222.333/0001-82, 00000000000000, 112223330001811"_s, kGeral}
            << QStringList{u"45678901000175"_s, u"11222333000181"_s, u"12ABC34501DE35"_s} << QString();
    }
    void readsCnpjsAndReference() {
        QFETCH(QStringList, lines);
        const QString path = m_dir.filePath(u"leitura.pdf"_s);
        writePdf(path, lines);
        const Result<PgdasDocument> document = PgdasDocument::read(path);
        QVERIFY2(document.ok(), qPrintable(document.error().description));
        QTEST(document->cnpjs, "cnpjs");
        QTEST(document->reference, "reference");
    }

    void refusesWhatItCannotRead_data() {
        QTest::addColumn<QByteArray>("bytes"); // empty: no file at all
        QTest::addColumn<qint64>("size");      // grows the file to that size (sparse); -1: a pipe
        QTest::addColumn<QString>("why");
        QTest::newRow("missing") << QByteArray() << qint64(0) << u"não pôde ser aberto"_s;
        // Opening a pipe would wait for a writer.
        QTest::newRow("a pipe") << QByteArray() << qint64(-1) << u"não pôde ser aberto"_s;
        QTest::newRow("not a PDF") << QByteArray("GIA 11/2026 11222333000181") << qint64(0)
                                   << u"não é um PDF"_s;
        QTest::newRow("damaged") << QByteArray("%PDF-1.4\n%%EOF\n") << qint64(0) << u"danificado"_s;
        QTest::newRow("locked") << lockedPdf() << qint64(0) << u"protegido por senha"_s;
        QTest::newRow("too large") << QByteArray("%PDF-1.4\n") << PgdasDocument::kMaxFileBytes + 1
                                   << u"tem mais de 16 MB"_s;
    }
    void refusesWhatItCannotRead() {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, size);
        QFETCH(QString, why);
        const QString path = m_dir.filePath(u"ilegivel.pdf"_s);
        QFile::remove(path);
        if (!bytes.isEmpty())
            writeBytes(path, bytes);
        if (size > 0)
            QVERIFY(QFile(path).resize(size));
        if (size < 0)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        const Result<PgdasDocument> document = PgdasDocument::read(path);
        QVERIFY(!document.ok());
        QVERIFY2(document.error().description.contains(why), qPrintable(document.error().description));
        QVERIFY(document.error().description.contains(u"ilegivel.pdf"_s));
    }

    void matchesTheFolderToTaxpayers_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<PgdasMatch::Outcome>("outcome");
        QTest::addColumn<QString>("ie"); // of the taxpayer found
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QString>("why");
        using O = PgdasMatch::Outcome;
        QTest::newRow("by its text") << u"declaracao.pdf"_s << O::Matched << u"648.120.377.258"_s
                                     << u"11/2026"_s << QString();
        QTest::newRow("by its name first") << u"PGDAS 11.222.333-0001-81.PDF"_s << O::Matched
                                           << u"648.120.377.258"_s << u"10/2026"_s << QString();
        QTest::newRow("no such taxpayer")
            << u"sem-cadastro.pdf"_s << O::NoTaxpayer << QString() << u"11/2026"_s
            << u"Nenhum contribuinte cadastrado com o CNPJ 12.345.678/0001-95."_s;
        QTest::newRow("not Simples Nacional")
            << u"regime-geral.pdf"_s << O::NotSimples << u"648.097.729.184"_s << u"11/2026"_s
            << u"O contribuinte 648.097.729.184 - Campo Alto não é optante do Simples Nacional."_s;
        QTest::newRow("two taxpayers")
            << u"dois.pdf"_s << O::Ambiguous << QString() << u"11/2026"_s
            << u"O arquivo corresponde a mais de um contribuinte cadastrado: 110.042.490.114 - Matriz; "
               "110.042.490.220 - Filial."_s;
        QTest::newRow("no CNPJ") << u"sem-cnpj.pdf"_s << O::NoCnpj << QString() << u"11/2026"_s
                                 << u"Nenhum CNPJ válido no nome nem no texto do arquivo."_s;
        QTest::newRow("damaged") << u"quebrado.pdf"_s << O::Unreadable << QString() << QString()
                                 << u"O arquivo quebrado.pdf está danificado e não pôde ser lido."_s;
    }
    void matchesTheFolderToTaxpayers() {
        if (!m_matches) {
            const QList<Taxpayer> taxpayers = {
                taxpayer(u"648.120.377.258"_s, u"Estrela"_s, kSimples, true),
                taxpayer(u"648.097.729.184"_s, u"Campo Alto"_s, kGeral, false),
                taxpayer(u"110.042.490.114"_s, u"Matriz"_s, kTwice, true),
                taxpayer(u"110.042.490.220"_s, u"Filial"_s, kTwice, true),
            };
            ModalGate gate;
            QObject context;
            bool inside = true;
            PgdasMatching::matchFolder(m_folder, taxpayers, gate, &context,
                                       [&](Result<QList<PgdasMatch>> matches) {
                                           QVERIFY(!inside);
                                           m_matches = std::move(matches);
                                       });
            inside = false;
            QTRY_VERIFY_WITH_TIMEOUT(m_matches.has_value(), 30000);
            QVERIFY(m_matches->ok());
            QStringList names;
            for (const PgdasMatch& match : m_matches->value())
                names.append(QFileInfo(match.path).fileName());
            QCOMPARE(names, (QStringList{u"declaracao.pdf"_s, u"dois.pdf"_s,
                                         u"PGDAS 11.222.333-0001-81.PDF"_s, u"quebrado.pdf"_s,
                                         u"regime-geral.pdf"_s, u"sem-cadastro.pdf"_s, u"sem-cnpj.pdf"_s}));
        }
        QFETCH(QString, file);
        for (const PgdasMatch& match : m_matches->value()) {
            if (QFileInfo(match.path).fileName() != file)
                continue;
            QTEST(match.outcome, "outcome");
            QTEST(match.taxpayer.IE, "ie");
            QTEST(match.reference, "reference");
            QTEST(match.why, "why");
            return;
        }
        QFAIL("file not listed");
    }

    void folderJobEndsWithItsContext() {
        ModalGate gate;
        bool called = false;
        auto* context = new QObject;
        PgdasMatching::matchFolder(m_folder, {}, gate, context,
                                   [&](Result<QList<PgdasMatch>>) { called = true; });
        delete context;
        QTest::qWait(1500);
        QVERIFY(!called);

        std::optional<Result<QList<PgdasMatch>>> missing;
        QObject alive;
        PgdasMatching::matchFolder(m_dir.filePath(u"nenhuma"_s), {}, gate, &alive,
                                   [&](Result<QList<PgdasMatch>> result) { missing = std::move(result); });
        QTRY_VERIFY(missing.has_value());
        QVERIFY(!missing->ok());
        QVERIFY(missing->error().description.contains(u"não existe ou não pode ser lida"_s));
    }

    void receiptPath_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QString>("path"); // under /docs/Fiscora/Recibos; empty: refused
        QTest::newRow("plain") << u"Padaria Estrela do Vale"_s << u"11/2026"_s << u"2026110001"_s
                               << u"648.120.377.258 - Padaria Estrela do Vale/2026-11/2026110001.pdf"_s;
        QTest::newRow("separators and controls") << u"A/B\\C\tD: E*F?"_s << u" 01/2027 "_s << u"../x"_s
                                                 << u"648.120.377.258 - A_B_C_D_ E_F_/2027-01/_x.pdf"_s;
        QTest::newRow("dots and blanks at the ends") << u"Estrela Ltda. "_s << u"11/2026"_s << u" ..1.. "_s
                                                     << u"648.120.377.258 - Estrela Ltda/2026-11/1.pdf"_s;
        QTest::newRow("no name, device name")
            << QString() << u"12/2026"_s << u"CON"_s << u"648.120.377.258/2026-12/_CON.pdf"_s;
        QTest::newRow("long name cut") << QString(200, u'x') << u"11/2026"_s << u"1"_s
                                       << u"648.120.377.258 - "_s + QString(82, u'x') + u"/2026-11/1.pdf"_s;
        QTest::newRow("not a month") << u"Estrela"_s << u"2026-11"_s << u"1"_s << QString();
    }
    void receiptPath() {
        QFETCH(QString, name);
        QFETCH(QString, reference);
        QFETCH(QString, protocol);
        QFETCH(QString, path);
        const Result<QString> built =
            ReceiptFile::path(u"/docs"_s, u"648.120.377.258"_s, name, reference, protocol);
        QCOMPARE(built.ok(), !path.isEmpty());
        if (built.ok())
            QCOMPARE(*built, u"/docs/Fiscora/Recibos/"_s + path);
    }

    void documentsFolderIsTheUsersUnlessChanged() {
        QCOMPARE(UserPreferences::documentsFolder(),
                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        UserPreferences::setDocumentsFolder(m_dir.path());
        QCOMPARE(UserPreferences::documentsFolder(), m_dir.path());
        UserPreferences::setDocumentsFolder(QString());
    }

    // Nothing the receipt names is fetched: not over the network, not from this computer.
    void keepsReceiptWithoutLoadingWhatItNames() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QString address = u"http://127.0.0.1:%1"_s.arg(server.serverPort());
        const QString image = m_dir.filePath(u"selo.png"_s);
        QImage pixels(40, 40, QImage::Format_RGB32);
        pixels.fill(Qt::red);
        QVERIFY(pixels.save(image));
        const QString html =
            u"<html><head><link rel=\"stylesheet\" href=\"%1/estilo.css\">"
            "<script>document.write('x')</script></head><body>"
            "<img src=\"%1/logo.png\"><img src=\"file://%2\"><img src=\"selo.png\">"
            "<p>Protocolo 2026110001 - Referência 11/2026</p></body></html>"_s.arg(address, image);
        const QString path = m_dir.filePath(u"docs/Fiscora/Recibos/x/2026-11/2026110001.pdf"_s);

        const std::optional<Result<KeptReceipt>> kept = keepReceipt(html, path);
        QVERIFY(kept.has_value());
        QVERIFY2(kept->ok(), qPrintable(kept->error().description));
        QTest::qWait(200);
        QVERIFY(!server.hasPendingConnections());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray pdf = file.readAll();
        QVERIFY(pdf.startsWith("%PDF-"));
        // With Qt Widgets loaded (the windows, the PDF module) each image is drawn as Qt's 16-pixel
        // placeholder; the 40-pixel one named must not be there.
        static const QRegularExpression named(u"/Width\\s+40\\s"_s);
        QVERIFY2(!named.match(QString::fromLatin1(pdf)).hasMatch(), "an image was loaded");
        QCOMPARE(kept->value().path, path);
        QCOMPARE(kept->value().sha256,
                 QString::fromLatin1(QCryptographicHash::hash(pdf, QCryptographicHash::Sha256).toHex()));
        // Renamed into place: nothing else left in the folder; and the text is there.
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"2026110001.pdf"_s});
        const Result<PgdasDocument> read = PgdasDocument::read(path);
        QVERIFY(read.ok());
        QCOMPARE(read->reference, u"11/2026"_s);
    }

    void keepRefusesWhatItCannotKeep() {
        const QString blocker = m_dir.filePath(u"arquivo"_s);
        writeBytes(blocker, "x");
        const std::optional<Result<KeptReceipt>> unwritable =
            keepReceipt(u"<p>x</p>"_s, blocker + u"/2026-11/1.pdf"_s);
        QVERIFY(unwritable.has_value() && !unwritable->ok());
        QVERIFY(unwritable->error().description.startsWith(u"Não foi possível gravar o recibo em "_s));

        const QString path = m_dir.filePath(u"enorme.pdf"_s);
        const std::optional<Result<KeptReceipt>> huge =
            keepReceipt(QString(ReceiptFile::kMaxHtmlChars + 1, u'x'), path);
        QVERIFY(huge.has_value() && !huge->ok());
        QVERIFY(!QFile::exists(path));
    }

    void namesCertificatesAboutToExpire_data() {
        QTest::addColumn<QStringList>("certificates");
        QTest::addColumn<int>("daysBeforeExpiry"); // today, counted back from the 2099 certificates' last day
        QTest::addColumn<QStringList>("notices");
        const Certificate contador = fixture(u"contador"_s);
        const QString last = contador.validTo().toLocalTime().date().toString(u"dd/MM/yyyy"_s);
        const QString expired =
            fixture(u"expirado"_s).validTo().toLocalTime().date().toString(u"dd/MM/yyyy"_s);
        QTest::newRow("31 days ahead") << QStringList{u"contador"_s} << 31 << QStringList{};
        QTest::newRow("30 days ahead")
            << QStringList{u"contador"_s} << 30
            << QStringList{u"O certificado de JOSÉ CONTADOR DA SILVA vence em "_s + last + u"."_s};
        QTest::newRow("expired, the soonest first, each once")
            << QStringList{u"contador"_s, u"expirado"_s, u"contador"_s} << -1
            << QStringList{u"O certificado de EMPRESA TESTE LTDA venceu em "_s + expired + u"."_s,
                           u"O certificado de JOSÉ CONTADOR DA SILVA venceu em "_s + last + u"."_s};
    }
    void namesCertificatesAboutToExpire() {
        QFETCH(QStringList, certificates);
        QFETCH(int, daysBeforeExpiry);
        QList<Certificate> list;
        for (const QString& name : certificates) {
            list.append(fixture(name));
            QVERIFY(!list.back().isNull());
        }
        const QDate today = fixture(u"contador"_s).validTo().toLocalTime().date().addDays(-daysBeforeExpiry);
        QTEST(CertificateExpiry::notices(list, today), "notices");
    }

    void namesThemOncePerDay() {
        UserPreferences::setExpiryNoticeDay(QDate());
        const QList<Certificate> expired = {fixture(u"expirado"_s)};
        const QDate today(2026, 12, 10);
        QVERIFY(CertificateExpiry::noticesDue({fixture(u"contador"_s)}, today).isEmpty());
        QCOMPARE(CertificateExpiry::noticesDue(expired, today).size(), 1);
        QVERIFY(CertificateExpiry::noticesDue(expired, today).isEmpty());
        QCOMPARE(CertificateExpiry::noticesDue(expired, today.addDays(1)).size(), 1);
    }

    // The certificates named are those last accepted for a use, found in the store.
    void namesTheCertificatesLastAccepted() {
        using Use = UserPreferences::CertificateUse;
        const CertificateStore store(m_dir.filePath(u"certificados"_s));
        for (const QString& name : {u"contador"_s, u"empresa"_s, u"expirado"_s})
            QVERIFY(store
                        .importFile(QStringLiteral(FISCORA_SOURCE_DIR "/tests/fixtures/certificados/") +
                                    name + u".cer"_s)
                        .ok());
        const auto fingerprints = [&store] {
            QStringList out;
            for (const Certificate& certificate : CertificateExpiry::lastAccepted(store))
                out.append(certificate.fingerprint());
            out.sort();
            return out;
        };
        QVERIFY(fingerprints().isEmpty());
        UserPreferences::setCertificate(Use::Transmission, fixture(u"contador"_s).fingerprint());
        UserPreferences::setCertificate(Use::Key, fixture(u"expirado"_s).fingerprint().toUpper());
        UserPreferences::setCertificate(Use::Import,
                                        fixture(u"terceiro"_s).fingerprint()); // not in the store
        QStringList expected{fixture(u"contador"_s).fingerprint(), fixture(u"expirado"_s).fingerprint()};
        expected.sort();
        QCOMPARE(fingerprints(), expected);
        for (const Use use : {Use::Transmission, Use::Key, Use::Import})
            UserPreferences::setCertificate(use, QString());
    }
};

QTEST_MAIN(DocumentosTest)
#include "DocumentosTest.moc"
