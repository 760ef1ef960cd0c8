// The validation engine on whole documents: verdicts, every error with its position, refusals.

#include "validation/validationengine.h"
#include "validation/xmlservices.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace {

QByteArray readData(const QString &name)
{
    QFile f(QStringLiteral(PRAVIK_TEST_DATA "/validation/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing test data %s", qPrintable(name));
    return f.readAll();
}

QByteArray readExample(const QString &name)
{
    QFile f(QStringLiteral(PRAVIK_SOURCE_DIR "/examples/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing example %s", qPrintable(name));
    return f.readAll();
}

// The same document written on one line, as many generators write payment files.
QByteArray oneLine(const QByteArray &pretty)
{
    QString s = QString::fromUtf8(pretty);
    s.replace(QRegularExpression(QStringLiteral(">\\s*\\r?\\n\\s*<")), QStringLiteral("><"));
    return s.toUtf8();
}

struct Expected
{
    int line;
    int linePos;
    int filePos;
    QString lineText;
};

// Where a marker stands, counted independently of the engine: UTF-16 units, breaks as CR LF.
Expected locate(const QByteArray &utf8, const QByteArray &marker)
{
    const QString text = QString::fromUtf8(utf8);
    const qsizetype at = text.indexOf(QString::fromUtf8(marker));
    Q_ASSERT(at >= 0);
    Q_ASSERT(text.indexOf(QString::fromUtf8(marker), at + 1) < 0);
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\\r\\n|\\n|\\r")));
    qsizetype consumed = 0;
    int filePos = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const qsizetype len = lines[i].size();
        qsizetype breakLen = 0;
        if (consumed + len < text.size())
            breakLen = text.mid(consumed + len, 2) == QStringLiteral("\r\n") ? 2 : 1;
        if (at <= consumed + len)
            return { i + 1, int(at - consumed + 1), filePos + int(at - consumed), lines[i] };
        consumed += len + breakLen;
        filePos += int(len) + 2;
    }
    return {};
}

QString refusalMessage(const QByteArray &utf8)
{
    std::unique_ptr<TXMLParseErrors> errors;
    try {
        ValidationEngine::ValidateXMLUtf8(utf8, errors);
    } catch (const ESEPAXMLValidateException &e) {
        return e.message();
    }
    return QStringLiteral("<not refused>");
}

} // namespace

class TestValidationEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void validDocuments_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("credit transfer") << readData(QStringLiteral("ct-valid.xml"));
        QTest::newRow("credit transfer on one line") << oneLine(readData(QStringLiteral("ct-valid.xml")));
        QTest::newRow("example credit transfer") << readExample(QStringLiteral("valid-credit-transfer.xml"));
        QTest::newRow("example instant credit transfer")
            << readExample(QStringLiteral("valid-instant-credit-transfer.xml"));
        QTest::newRow("example direct debit") << readExample(QStringLiteral("valid-direct-debit.xml"));
        QByteArray declaredLatin1 = readData(QStringLiteral("ct-valid.xml"));
        declaredLatin1.replace("encoding=\"UTF-8\"", "encoding=\"ISO-8859-1\"");
        QTest::newRow("encoding declaration plays no part") << declaredLatin1;
        QByteArray hinted = readData(QStringLiteral("ct-valid.xml"));
        hinted.replace("xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"",
            "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
            "xsi:schemaLocation=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09 "
            "http://192.0.2.1/other.xsd\"");
        QTest::newRow("schema-location hint to another schema is ignored") << hinted;
        QByteArray bom = "\xEF\xBB\xBF" + readData(QStringLiteral("ct-valid.xml"));
        QTest::newRow("leading byte-order mark") << bom;
    }

    void validDocuments()
    {
        QFETCH(QByteArray, text);
        std::unique_ptr<TXMLParseErrors> errors(new TXMLParseErrors);
        QVERIFY(ValidationEngine::ValidateXMLUtf8(text, errors));
        QVERIFY(!errors); // reset at entry, created only for invalid documents
        QVERIFY(ValidationEngine::ValidateXML(QString::fromUtf8(text), errors));
    }

    void errorPositions_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("marker");
        QTest::addColumn<int>("prettyLine");
        QTest::addColumn<QString>("reasonStart");
        QTest::addColumn<QString>("xpath");

        const QByteArray pretty = readData(QStringLiteral("ct-errors.xml"));
        const QByteArray flat = oneLine(pretty);
        const QString tx1 = QStringLiteral("/Document[1]/CstmrCdtTrfInitn[1]/PmtInf[1]/CdtTrfTxInf[1]");
        const QString tx2 = QStringLiteral("/Document[1]/CstmrCdtTrfInitn[1]/PmtInf[1]/CdtTrfTxInf[2]");
        struct Row
        {
            const char *name;
            QByteArray marker;
            int line;
            QString reason;
            QString xpath;
        };
        const Row rows[] = {
            { "bad enumeration", "<ChrgBr>DEBT", 39,
                QStringLiteral("Element 'ChrgBr': [facet 'enumeration']"),
                QStringLiteral("/Document[1]/CstmrCdtTrfInitn[1]/PmtInf[1]/ChrgBr[1]") },
            { "bad length", "<Nm>Beispiel Bau", 48, QStringLiteral("Element 'Nm': [facet 'maxLength']"),
                tx1 + QStringLiteral("/Cdtr[1]/Nm[1]") },
            { "unexpected element", "<Xyz>", 49,
                QStringLiteral("Element 'Xyz': This element is not expected."),
                tx1 + QStringLiteral("/Cdtr[1]/Xyz[1]") },
            { "bad value by pattern", "<IBAN>DE02 1203", 53,
                QStringLiteral("Element 'IBAN': [facet 'pattern']"),
                tx1 + QStringLiteral("/CdtrAcct[1]/Id[1]/IBAN[1]") },
            { "bad attribute", "<InstdAmt Ccy=\"USD\"", 65,
                QStringLiteral("Element 'InstdAmt', attribute 'Ccy': [facet 'enumeration']"),
                tx2 + QStringLiteral("/Amt[1]/InstdAmt[1]/@Ccy") },
            { "missing element (at the parent's end tag)",
                "</Cdtr>\n        <CdtrAcct>\n          <Id>\n            <IBAN>DE025", 68,
                QStringLiteral("Element 'Cdtr': Missing child element(s)."),
                tx2 + QStringLiteral("/Cdtr[1]") },
        };
        int index = 0;
        for (const Row &r : rows) {
            QTest::addRow("%s", r.name) << pretty << index << r.marker << r.line << r.reason << r.xpath;
            QByteArray flatMarker = r.marker;
            flatMarker = oneLine(flatMarker);
            QTest::addRow("%s, one line", r.name) << flat << index << flatMarker << 1 << r.reason << r.xpath;
            ++index;
        }
    }

    void errorPositions()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, index);
        QFETCH(QByteArray, marker);
        QFETCH(int, prettyLine);
        QFETCH(QString, reasonStart);
        QFETCH(QString, xpath);

        std::unique_ptr<TXMLParseErrors> errors;
        QVERIFY(!ValidationEngine::ValidateXMLUtf8(text, errors));
        QVERIFY(errors);
        QCOMPARE(errors->size(), 6);
        const TXMLParseErrorItem &e = errors->at(index);
        const Expected where = locate(text, marker);
        QCOMPARE(e.FLine, prettyLine);
        QCOMPARE(e.FLine, where.line);
        QCOMPARE(e.FLinePos, where.linePos);
        QCOMPARE(e.FFilePos, where.filePos);
        QVERIFY2(e.FReason.startsWith(reasonStart), qPrintable(e.FReason));
        QVERIFY(!e.FReason.contains(QStringLiteral("{urn:")));
        QCOMPARE(e.FXPath, xpath);
        QVERIFY(e.FErrorCode > 0);
        if (prettyLine > 1)
            QCOMPARE(e.FSrcText, where.lineText.trimmed());
        else // the one line is long: its excerpt starts at the offending tag
            QVERIFY2(e.FSrcText.startsWith(QString::fromUtf8(marker.left(5))), qPrintable(e.FSrcText));
    }

    void positionsCountUtf16AndLineEnds()
    {
        // "Gärtnerei" puts a two-byte character before the error; LF-only line ends still count as two.
        QByteArray text = readData(QStringLiteral("ct-errors.xml"));
        text.replace("\r\n", "\n");
        text.replace("<Nm>Muster Handels GmbH</Nm>\n      </Dbtr>", "<Nm>Gärtnerei</Nm><Zz/>\n      </Dbtr>");
        std::unique_ptr<TXMLParseErrors> errors;
        QVERIFY(!ValidationEngine::ValidateXMLUtf8(text, errors));
        const TXMLParseErrorItem &e = errors->first();
        QVERIFY2(e.FReason.startsWith(QStringLiteral("Element 'Zz'")), qPrintable(e.FReason));
        const Expected where = locate(text, "<Zz/>");
        QCOMPARE(e.FLine, where.line);
        QCOMPARE(e.FLinePos, where.linePos);
        QCOMPARE(e.FFilePos, where.filePos);
        // The window passes its text joined by CR LF: the same error, the same numbers.
        std::unique_ptr<TXMLParseErrors> again;
        QString crlf = QString::fromUtf8(text);
        crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        QVERIFY(!ValidationEngine::ValidateXML(crlf, again));
        QCOMPARE(again->first(), e);
    }

    void everyErrorInOrderAndRepeatable()
    {
        const QByteArray text = readData(QStringLiteral("ct-errors.xml"));
        std::unique_ptr<TXMLParseErrors> first;
        std::unique_ptr<TXMLParseErrors> second;
        QVERIFY(!ValidationEngine::ValidateXMLUtf8(text, first));
        QVERIFY(!ValidationEngine::ValidateXMLUtf8(text, second));
        QCOMPARE(*first, *second);
        for (qsizetype i = 1; i < first->size(); ++i)
            QVERIFY(first->at(i - 1).FFilePos < first->at(i).FFilePos);
    }

    void judgedByFirstNamespace()
    {
        // A credit transfer whose root claims the direct-debit namespace is judged by that schema.
        QByteArray text = readData(QStringLiteral("ct-valid.xml"));
        text.replace("<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\"",
            "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.008.001.08\" "
            "xmlns:ct=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\"");
        std::unique_ptr<TXMLParseErrors> errors;
        QVERIFY(!ValidationEngine::ValidateXMLUtf8(text, errors));
        QVERIFY(errors->first().FReason.startsWith(QStringLiteral("Element 'CstmrCdtTrfInitn'")));
    }

    void firstNamespace_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("ns");
        QTest::newRow("root element")
            << QByteArray("<a xmlns='urn:x'><b xmlns='urn:y'/></a>") << QStringLiteral("urn:x");
        QTest::newRow("attribute before a child")
            << QByteArray("<a xmlns:p='urn:p' p:k='1'><b xmlns='urn:y'/></a>") << QStringLiteral("urn:p");
        QTest::newRow("first child when the root has none")
            << QByteArray("<a><b xmlns='urn:y'/></a>") << QStringLiteral("urn:y");
        QTest::newRow("declared but unused") << QByteArray("<a xmlns:p='urn:p'/>") << QString();
        QTest::newRow("none") << QByteArray("<a/>") << QString();
    }

    void firstNamespace()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, ns);
        QCOMPARE(xmlservices::firstNamespace(text), ns);
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray valid = readData(QStringLiteral("ct-valid.xml"));
        QByteArray older = valid;
        older.replace("pain.001.001.09", "pain.001.001.03");
        QTest::newRow("older pain version") << older;
        QByteArray noNs = valid;
        noNs.replace(" xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\"", "");
        QTest::newRow("no namespace") << noNs;
        QTest::newRow("not XML") << QByteArray("IBAN;Betrag\nDE89370400440532013000;100,00\n");
        QTest::newRow("empty text") << QByteArray();
        QTest::newRow("cut off at the end") << valid.left(valid.size() - 40);
        QByteArray doctype = valid;
        doctype.replace("<Document ", "<!DOCTYPE Document [<!ENTITY n \"Muster\">]>\n<Document ");
        doctype.replace("Muster Handels GmbH</Nm>\n      </InitgPty>", "&n;</Nm>\n      </InitgPty>");
        QTest::newRow("DOCTYPE with an entity") << doctype;
        QByteArray undefinedPrefix = valid;
        undefinedPrefix.replace("<MsgId>", "<p:MsgId>");
        undefinedPrefix.replace("</MsgId>", "</p:MsgId>");
        QTest::newRow("undefined prefix") << undefinedPrefix;
        static const char16_t utf16[]
            = u"<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\"/>";
        QTest::newRow("UTF-16 bytes handed over as text")
            << QByteArray(reinterpret_cast<const char *>(utf16), sizeof utf16 - sizeof(char16_t));
    }

    void refusals()
    {
        QFETCH(QByteArray, text);
        QCOMPARE(refusalMessage(text),
            QStringLiteral("The file cannot be validated! This file may not be a valid SEPA XML file."));
    }

    void embeddingASchemaAddsSupport()
    {
        std::unique_ptr<TXMLParseErrors> errors;
        QVERIFY(ValidationEngine::ValidateXMLUtf8(
            "<Greeting xmlns='urn:pravik:test:greeting.1'><To>Anna</To></Greeting>", errors));
        QVERIFY(!ValidationEngine::ValidateXMLUtf8(
            "<Greeting xmlns='urn:pravik:test:greeting.1'><To>Annabel</To></Greeting>", errors));
        QCOMPARE(errors->size(), 1);
        QCOMPARE(ValidationEngine::resourceNameForNamespace(QStringLiteral("urn:pravik:test:greeting.1")),
            QStringLiteral("urn_pravik_test_greeting_1"));
        QVERIFY(!ValidationEngine::schemaResource(QStringLiteral("URN_PRAVIK_TEST_GREETING_1")).isEmpty());
        QVERIFY(!ValidationEngine::schemaResource(
            QStringLiteral("urn_iso_std_iso_20022_tech_xsd_pain_008_001_08"))
                     .isEmpty());
    }

    void sharedCacheGivesTheSameResult()
    {
        SchemaCache cache;
        const QByteArray text = readData(QStringLiteral("ct-errors.xml"));
        std::unique_ptr<TXMLParseErrors> cached;
        std::unique_ptr<TXMLParseErrors> fresh;
        QVERIFY(!ValidationEngine::ValidateXMLUtf8(text, cached, &cache));
        QVERIFY(!ValidationEngine::ValidateXMLUtf8(text, fresh));
        QCOMPARE(*cached, *fresh);
        QVERIFY(cache.schema(QStringLiteral("URN_ISO_STD_ISO_20022_TECH_XSD_PAIN_001_001_09")));
        QVERIFY(!cache.schema(QStringLiteral("urn_unknown")));
    }
};

QTEST_GUILESS_MAIN(TestValidationEngine)
#include "tst_validationengine.moc"
