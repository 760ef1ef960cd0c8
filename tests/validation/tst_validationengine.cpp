// The validation engine on whole documents: verdicts, every error with its position, refusals.

#include "tests/support/oneline.h"
#include "tests/support/textplace.h"
#include "validation/validationengine.h"
#include "validation/xmlservices.h"

#include <QFile>
#include <QTest>

#include <libxml/parser.h>
#include <libxml/xpath.h>

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

using Expected = testsupport::TextPlace;
using testsupport::oneLine;

// Where the one place of a marker stands, counted independently of the engine.
Expected locate(const QByteArray &utf8, const QByteArray &marker)
{
    Q_ASSERT(QString::fromUtf8(utf8).count(QString::fromUtf8(marker)) == 1);
    return testsupport::locateText(utf8, marker);
}

// The content of the n-th (from 0) element that opens with startTag, replaced by value.
QByteArray withContent(QByteArray text, const QByteArray &startTag, int n, const QByteArray &value)
{
    qsizetype at = -1;
    for (int i = 0; i <= n; ++i) {
        at = text.indexOf(startTag, at + 1);
        Q_ASSERT(at >= 0);
    }
    const qsizetype from = at + startTag.size();
    const qsizetype to = text.indexOf('<', from);
    return text.replace(from, to - from, value);
}

struct Evaluated
{
    int count = 0;
    QString name; // of the first node selected
    int line = 0;
};

// Evaluates an XPath on the text with libxml2, with no namespace bound.
Evaluated evaluateXPath(const QByteArray &utf8, const QString &xpath)
{
    Evaluated result;
    xmlDocPtr doc = xmlReadMemory(utf8.constData(), int(utf8.size()), nullptr, "UTF-8", XML_PARSE_NONET);
    if (!doc)
        return result;
    xmlXPathContextPtr ctx = xmlXPathNewContext(doc);
    xmlXPathObjectPtr found
        = xmlXPathEvalExpression(reinterpret_cast<const xmlChar *>(xpath.toUtf8().constData()), ctx);
    if (found && found->nodesetval && found->nodesetval->nodeNr > 0) {
        result.count = found->nodesetval->nodeNr;
        const xmlNodePtr node = found->nodesetval->nodeTab[0];
        result.name = QString::fromUtf8(reinterpret_cast<const char *>(node->name));
        result.line = int(xmlGetLineNo(node->type == XML_ATTRIBUTE_NODE ? node->parent : node));
    }
    xmlXPathFreeObject(found);
    xmlXPathFreeContext(ctx);
    xmlFreeDoc(doc);
    return result;
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
        const QString pmtInf
            = QStringLiteral("/*[local-name()='Document'][1]/*[local-name()='CstmrCdtTrfInitn'][1]"
                             "/*[local-name()='PmtInf'][1]");
        const QString tx1 = pmtInf + QStringLiteral("/*[local-name()='CdtTrfTxInf'][1]");
        const QString tx2 = pmtInf + QStringLiteral("/*[local-name()='CdtTrfTxInf'][2]");
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
                pmtInf + QStringLiteral("/*[local-name()='ChrgBr'][1]") },
            { "bad length", "<Nm>Beispiel Bau", 48, QStringLiteral("Element 'Nm': [facet 'maxLength']"),
                tx1 + QStringLiteral("/*[local-name()='Cdtr'][1]/*[local-name()='Nm'][1]") },
            { "unexpected element", "<Xyz>", 49,
                QStringLiteral("Element 'Xyz': This element is not expected."),
                tx1 + QStringLiteral("/*[local-name()='Cdtr'][1]/*[local-name()='Xyz'][1]") },
            { "bad value by pattern", "<IBAN>DE02 1203", 53,
                QStringLiteral("Element 'IBAN': [facet 'pattern']"),
                tx1
                    + QStringLiteral(
                        "/*[local-name()='CdtrAcct'][1]/*[local-name()='Id'][1]/*[local-name()='IBAN'][1]") },
            { "bad attribute", "<InstdAmt Ccy=\"USD\"", 65,
                QStringLiteral("Element 'InstdAmt', attribute 'Ccy': [facet 'enumeration']"),
                tx2 + QStringLiteral("/*[local-name()='Amt'][1]/*[local-name()='InstdAmt'][1]/@Ccy") },
            { "missing element (at the parent's end tag)",
                "</Cdtr>\n        <CdtrAcct>\n          <Id>\n            <IBAN>DE025", 68,
                QStringLiteral("Element 'Cdtr': Missing child element(s)."),
                tx2 + QStringLiteral("/*[local-name()='Cdtr'][1]") },
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
        // The path selects the element (or attribute) the error is about, as it stands.
        const Evaluated node = evaluateXPath(text, e.FXPath);
        QCOMPARE(node.count, 1);
        if (!e.FReason.contains(QStringLiteral("Missing child"))) // those point at the end tag
            QCOMPARE(node.line, e.FLine);
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

    // Every type of the two bank schemas whose built-in base collapses whitespace, each in a field
    // of a valid file, with padding (valid), without (valid) and with whitespace inside (invalid).
    void collapsedWhitespace_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("marker"); // the start tag an invalid value is reported at

        const QByteArray credit = readExample(QStringLiteral("valid-instant-credit-transfer.xml"));
        const QByteArray debit = readExample(QStringLiteral("valid-direct-debit.xml"));
        struct Field
        {
            const char *type;
            const QByteArray *file;
            QByteArray startTag;
            int occurrence;
            QByteArray value;
            QByteArray inner; // the value with whitespace inside
        };
        const Field fields[] = {
            { "pain.001 ISODateTime", &credit, "<CreDtTm>", 0, "2026-12-10T14:05:12+01:00",
                "2026-12-10T14:05:12 +01:00" },
            { "pain.001 ISODate", &credit, "<Dt>", 0, "2026-12-10", "2026-12 -10" },
            { "pain.001 DecimalNumber", &credit, "<CtrlSum>", 0, "1875.40", "1875 .40" },
            { "pain.001 DecimalNumber_SCT_SCTinst", &credit, "<CtrlSum>", 1, "1875.40", "18 75.40" },
            { "pain.001 BatchBookingIndicator", &credit, "<BtchBookg>", 0, "false", "fal se" },
            { "pain.001 amount (ActiveOrHistoricCurrencyAndAmount_SimpleType)", &credit,
                "<InstdAmt Ccy=\"EUR\">", 0, "1650.00", "1650. 00" },
            { "pain.008 ISODateTime", &debit, "<CreDtTm>", 0, "2026-12-10T08:00:00",
                "2026-12-10T08:00:\t00" },
            { "pain.008 ISODate", &debit, "<ReqdColltnDt>", 0, "2026-12-15", "2026-\n12-15" },
            { "pain.008 DecimalNumber", &debit, "<CtrlSum>", 0, "204.00", "204 .00" },
            { "pain.008 DecimalNumber_SDD", &debit, "<CtrlSum>", 1, "204.00", "2 04.00" },
            { "pain.008 BatchBookingIndicator", &debit, "<BtchBookg>", 0, "true", "tr ue" },
            { "pain.008 TrueFalseIndicator", &debit, "<AmdmntInd>", 0, "false", "fa lse" },
            { "pain.008 amount (ActiveOrHistoricCurrencyAndAmount_SimpleType)", &debit,
                "<InstdAmt Ccy=\"EUR\">", 0, "72.00", "72 .00" },
        };
        const struct
        {
            const char *name;
            QByteArray before;
            QByteArray after;
        } paddings[] = {
            { "unpadded", "", "" },
            { "spaces", "  ", " " },
            { "tabs", "\t", "\t\t" },
            { "LF", "\n", "\n" },
            { "CR LF, on a line of its own", "\r\n          ", "\r\n        " },
        };
        for (const Field &f : fields) {
            for (const auto &p : paddings) {
                QTest::addRow("%s, %s", f.type, p.name)
                    << withContent(*f.file, f.startTag, f.occurrence, p.before + f.value + p.after) << true
                    << QByteArray();
            }
            QTest::addRow("%s, whitespace inside", f.type)
                << withContent(*f.file, f.startTag, f.occurrence, f.inner) << false << f.startTag + f.inner;
            QTest::addRow("%s, whitespace inside and padded", f.type) << withContent(*f.file, f.startTag,
                f.occurrence, "\r\n " + f.inner + " \n") << false << f.startTag + "\r\n " + f.inner;
        }
        QTest::newRow("padded date that is no date")
            << withContent(credit, "<Dt>", 0, " 2026-13-10 ") << false << QByteArray("<Dt> 2026-13-10 ");
        QTest::newRow("padded amount with too many decimals") << withContent(credit, "<InstdAmt Ccy=\"EUR\">",
            0, " 1650.001\n") << false << QByteArray("<InstdAmt Ccy=\"EUR\"> 1650.001");
        QTest::newRow("date padded across a comment")
            << withContent(credit, "<Dt>", 0, " 2026-12-10<!-- value date -->\n") << true << QByteArray();
        QTest::newRow("date padded around a CDATA section")
            << withContent(credit, "<Dt>", 0, "\n  <![CDATA[2026-12-10]]>\n") << true << QByteArray();
        QTest::newRow("only whitespace where a date belongs")
            << withContent(credit, "<Dt>", 0, "  \n ") << false << QByteArray("<Dt>  \n ");

        // Facets of a derivation are applied to the collapsed value, as the validator would.
        auto dates = [](const QByteArray &content) {
            return "<Dates xmlns='urn:pravik:test:dates.1'>" + content + "</Dates>";
        };
        QTest::newRow("padded date above its minimum")
            << dates("<From> 2026-03-01\n</From>") << true << QByteArray();
        QTest::newRow("padded date below its minimum")
            << dates("<From> 2025-03-01\n</From>") << false << QByteArray("<From>");
        QTest::newRow("padded date in its enumeration")
            << dates("<Day>\t2026-12-15 </Day>") << true << QByteArray();
        QTest::newRow("padded date outside its enumeration")
            << dates("<Day>\t2026-12-16 </Day>") << false << QByteArray("<Day>");
        QTest::newRow("padded date-time matching one of two patterns")
            << dates("<Stamp> 2026-12-14T10:00:00+00:00 </Stamp>") << true << QByteArray();
        QTest::newRow("padded date-time matching no pattern")
            << dates("<Stamp> 2026-12-14T10:00:00+01:00 </Stamp>") << false << QByteArray("<Stamp>");
        QTest::newRow("padded xs:time") << dates("<Time>\n10:15:00\n</Time>") << true << QByteArray();
        QTest::newRow("xs:time with whitespace inside")
            << dates("<Time>10: 15:00</Time>") << false << QByteArray("<Time>");
    }

    void collapsedWhitespace()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QFETCH(QByteArray, marker);
        std::unique_ptr<TXMLParseErrors> errors;
        const bool result = ValidationEngine::ValidateXMLUtf8(text, errors);
        if (valid) {
            QVERIFY2(result, errors ? qPrintable(errors->first().FReason) : "");
            return;
        }
        QVERIFY(!result);
        QCOMPARE(errors->size(), 1);
        // The refused value is reported where it always was: at its element's start tag.
        const Expected where = locate(text, marker);
        QCOMPARE(errors->first().FLine, where.line);
        QCOMPARE(errors->first().FLinePos, where.linePos);
        QCOMPARE(errors->first().FFilePos, where.filePos);
    }

    void characterContent_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("marker"); // where the one error points; empty when valid
        const QByteArray valid = readData(QStringLiteral("ct-valid.xml"));
        auto after = [&](const QByteArray &tag, const QByteArray &insert) {
            QByteArray t = valid;
            const qsizetype at = t.indexOf(tag);
            Q_ASSERT(at >= 0);
            return t.insert(at + tag.size(), insert);
        };
        QTest::newRow("whitespace-only CDATA in element-only content")
            << after("<GrpHdr>", "<![CDATA[  ]]>") << QByteArray();
        QTest::newRow("CDATA of line breaks and tabs between elements")
            << after("</MsgId>", "\n<![CDATA[\r\n\t]]>\n      ") << QByteArray();
        QTest::newRow("empty CDATA in element-only content")
            << after("<GrpHdr>", "<![CDATA[]]>") << QByteArray();
        QTest::newRow("CDATA with text in element-only content")
            << after("<GrpHdr>", "<![CDATA[ x ]]>") << QByteArray("<![CDATA[ x ]]>");
        QTest::newRow("stray text after an element")
            << after("</MsgId>", "\n      stray text\n") << QByteArray("stray text");
        QTest::newRow("stray text right after a start tag")
            << after("<GrpHdr>", "stray text") << QByteArray("stray text");
        QTest::newRow("stray text after a comment")
            << after("</MsgId>", "<!-- note -->\n  stray text") << QByteArray("stray text");
        QTest::newRow("stray text after an empty element")
            << after("</MsgId>", "<Xx/> stray text") << QByteArray("<Xx/>");
        QTest::newRow("stray text beginning with a reference")
            << after("</MsgId>", " &amp; stray text") << QByteArray("&amp; stray text");
        QTest::newRow("stray text on one line")
            << oneLine(after("</MsgId>", "stray text")) << QByteArray("stray text");
    }

    void characterContent()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, marker);
        std::unique_ptr<TXMLParseErrors> errors;
        const bool result = ValidationEngine::ValidateXMLUtf8(text, errors);
        if (marker.isEmpty()) {
            QVERIFY2(result, errors ? qPrintable(errors->first().FReason) : "");
            return;
        }
        QVERIFY(!result);
        // The stray text is reported where it stands, not at its parent's start tag.
        const TXMLParseErrorItem &e = errors->first();
        const Expected where = locate(text, marker);
        QCOMPARE(e.FLine, where.line);
        QCOMPARE(e.FLinePos, where.linePos);
        QCOMPARE(e.FFilePos, where.filePos);
    }

    void namespaceDroppedFromNamesOnly_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        const QByteArray valid = readData(QStringLiteral("ct-valid.xml"));
        const QByteArray ns = "{urn:iso:std:iso:20022:tech:xsd:pain.001.001.09}";
        QTest::newRow("value of an enumeration")
            << withContent(valid, "<ChrgBr>", 0, ns + "SLEV")
            << QStringLiteral("Element 'ChrgBr': [facet 'enumeration'] The value '%1SLEV' is not an element "
                              "of the set {'SLEV'}.")
                   .arg(QString::fromUtf8(ns));
        QTest::newRow("value of a date")
            << withContent(valid, "<Dt>", 0, ns)
            << QStringLiteral("Element 'Dt': '%1' is not a valid value of the atomic type 'ISODate'.")
                   .arg(QString::fromUtf8(ns));
        QTest::newRow("value that is the element's own qualified name")
            << withContent(valid, "<ChrgBr>", 0, ns + "ChrgBr")
            << QStringLiteral(
                   "Element 'ChrgBr': [facet 'enumeration'] The value '%1ChrgBr' is not an element "
                   "of the set {'SLEV'}.")
                   .arg(QString::fromUtf8(ns));
        QByteArray unexpected = valid;
        unexpected.replace("<CreDtTm>", "<Zz/><CreDtTm>");
        QTest::newRow("names of the expected elements")
            << unexpected
            << QStringLiteral("Element 'Zz': This element is not expected. Expected is ( CreDtTm ).");
    }

    void namespaceDroppedFromNamesOnly()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        std::unique_ptr<TXMLParseErrors> errors;
        QVERIFY(!ValidationEngine::ValidateXMLUtf8(text, errors));
        QCOMPARE(errors->first().FReason, reason);
    }

    void xpathSelectsTheNode_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("name");
        const QByteArray valid = readData(QStringLiteral("ct-valid.xml"));
        QByteArray foreign = valid;
        foreign.replace("<MsgId>", "<o:Xx xmlns:o='urn:other'/>\n<MsgId>");
        QTest::newRow("element of another namespace") << foreign << QStringLiteral("Xx");
        QByteArray sameLocalName = valid;
        sameLocalName.replace("<CreDtTm>", "<o:CreDtTm xmlns:o='urn:other'/>\n<CreDtTm>");
        QTest::newRow("sibling of another namespace with the same local name")
            << sameLocalName << QStringLiteral("CreDtTm");
        QByteArray noNamespace = valid;
        noNamespace.replace("<MsgId>", "<Xx xmlns=''/>\n<MsgId>");
        QTest::newRow("element of no namespace") << noNamespace << QStringLiteral("Xx");
        QByteArray prefixed = valid;
        prefixed.replace("<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\"",
            "<p:Document xmlns:p=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\" "
            "xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\"");
        prefixed.replace("</Document>", "</p:Document>");
        prefixed.replace("<ChrgBr>SLEV</ChrgBr>",
            "<p:ChrgBr xmlns:p='urn:iso:std:iso:20022:tech:xsd:pain.001.001.09'>X</p:ChrgBr>");
        QTest::newRow("document written with a prefix") << prefixed << QStringLiteral("ChrgBr");
    }

    void xpathSelectsTheNode()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, name);
        std::unique_ptr<TXMLParseErrors> errors;
        QVERIFY(!ValidationEngine::ValidateXMLUtf8(text, errors));
        const TXMLParseErrorItem &e = errors->first();
        const Evaluated node = evaluateXPath(text, e.FXPath);
        QCOMPARE(node.count, 1);
        QCOMPARE(node.name, name);
        QCOMPARE(node.line, e.FLine);
    }

    void errorCapKeepsChecking_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("refused");
        QByteArray flags = "<Dates xmlns='urn:pravik:test:dates.1'>\n";
        const int errors = xmlservices::kMaxListedErrors + 7;
        flags.reserve(errors * 16);
        for (int i = 0; i < errors; ++i)
            flags += "<Flag>x</Flag>\n";
        QTest::newRow("more errors than listed") << flags + "</Dates>\n" << false;
        QTest::newRow("cut off after more errors than listed") << flags + "</Dat" << true;
    }

    void errorCapKeepsChecking()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, refused);
        if (refused) {
            QCOMPARE(refusalMessage(text), ESEPAXMLValidateException::defaultMessage());
            return;
        }
        std::unique_ptr<TXMLParseErrors> errors;
        QVERIFY(!ValidationEngine::ValidateXMLUtf8(text, errors));
        QCOMPARE(errors->size(), xmlservices::kMaxListedErrors);
        QCOMPARE(errors->FUnlisted, 7);
        QCOMPARE(errors->last().FLine, xmlservices::kMaxListedErrors + 1);
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
