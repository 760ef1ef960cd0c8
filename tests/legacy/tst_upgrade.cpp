// The upgrade of retired payment files: the mapping element by element, the fixtures of every retired
// version through upgrade and validation, and field by field nothing lost on the way.

#include "legacy/upgrade.h"

#include "platform/textfile.h"
#include "validation/validationengine.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kIso = "urn:iso:std:iso:20022:tech:xsd:";

QByteArray document(const QByteArray &version, const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Document xmlns=\"" + kIso + version + "\">\n" + body
        + "\n</Document>\n";
}

QByteArray fixture(const QString &name)
{
    QFile f(QDir(QStringLiteral(PRAVIK_TEST_DATA "/legacy")).filePath(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// The values a bank acts on, in document order, read independently of the upgrade: amounts with their
// currency, accounts, references, names and texts, dates (ReqdExctnDt's value wherever it stands) and
// agents' BICs (under either name).
QStringList fields(const QByteArray &text)
{
    static const QStringList names = { u"MsgId"_s, u"NbOfTxs"_s, u"CtrlSum"_s, u"PmtInfId"_s, u"InstrId"_s,
        u"EndToEndId"_s, u"InstdAmt"_s, u"IBAN"_s, u"Nm"_s, u"Ustrd"_s, u"Ref"_s, u"MndtId"_s, u"DtOfSgntr"_s,
        u"ReqdColltnDt"_s, u"SeqTp"_s, u"Cd"_s, u"Prtry"_s, u"Id"_s, u"ChrgBr"_s, u"AmdmntInd"_s };
    QStringList out;
    QXmlStreamReader xml(text);
    QStringList path;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            path.append(xml.name().toString());
            const QString name = path.last();
            const QString parent = path.size() > 1 ? path.at(path.size() - 2) : QString();
            const QString ccy = xml.attributes().value(u"Ccy"_s).toString();
            if (names.contains(name) || name == u"BIC" || name == u"BICFI" || name == u"BICOrBEI"
                || name == u"AnyBIC" || name == u"ReqdExctnDt"
                || (name == u"Dt" && parent == u"ReqdExctnDt")) {
                const QString value = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
                path.removeLast();
                if (!value.isEmpty())
                    out.append(u"%1 %2"_s.arg(ccy, value).trimmed());
            }
        } else if (xml.isEndElement()) {
            path.removeLast();
        }
    }
    if (xml.hasError())
        out.append(u"XML error: "_s + xml.errorString());
    return out;
}

// A postal address: PstlAdr, or the Adr of a name and address (the remittance location's PstlAdr of
// the new version is such a name and address, its Nm no part of the address).
bool isAddress(const QStringList &path)
{
    const QString parent = path.size() > 1 ? path.at(path.size() - 2) : QString();
    return path.last() == u"Adr" || (path.last() == u"PstlAdr" && parent != u"RmtLctnDtls");
}

// A document's contents read independently of the upgrade: every value outside addresses in
// document order, whatever its element is called (texts and attribute values), and every word of
// every address, sorted.
struct Contents
{
    QStringList values;
    QStringList addressWords;
};

Contents contents(const QByteArray &text)
{
    Contents out;
    QXmlStreamReader xml(text);
    QStringList path;
    int inAddress = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            path.append(xml.name().toString());
            inAddress += isAddress(path);
            for (const QXmlStreamAttribute &a : xml.attributes()) {
                if (!inAddress && a.namespaceUri().isEmpty())
                    out.values.append(a.value().toString());
            }
        } else if (xml.isEndElement()) {
            inAddress -= isAddress(path);
            path.removeLast();
        } else if (xml.isCharacters() && !xml.isWhitespace() && !inAddress) {
            out.values.append(xml.text().toString());
        } else if (xml.isCharacters() && !xml.isWhitespace()) {
            for (QString w : xml.text().toString().split(u' ', Qt::SkipEmptyParts)) {
                w.remove(QRegularExpression(u"^(D|DE|A|AT)-"_s));
                out.addressWords.append(w);
            }
        }
    }
    if (xml.hasError())
        out.values.append(u"XML error: "_s + xml.errorString());
    out.addressWords.sort();
    return out;
}

QStringList addressWords(const QByteArray &text)
{
    return contents(text).addressWords;
}

QString namespaceOf(const QByteArray &text)
{
    QXmlStreamReader xml(text);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement)
            return xml.namespaceUri().toString();
    }
    return {};
}

} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT

    SchemaCache cache;

private Q_SLOTS:
    void mappedElements_data()
    {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("expected"); // a part of the result
        QTest::addColumn<QByteArray>("gone"); // a part of the source the result no longer has
        QTest::addColumn<QString>("notes"); // the kinds of the notes, joined by ' '

        QTest::newRow("agent's BIC becomes BICFI")
            << "pain.001.001.03"_ba
            << "<DbtrAgt><FinInstnId><BIC>MUSTDEFFXXX</BIC></FinInstnId></DbtrAgt>"_ba
            << "<FinInstnId><BICFI>MUSTDEFFXXX</BICFI></FinInstnId>"_ba
            << "<BIC>"_ba << QString();
        QTest::newRow("organisation's BICOrBEI becomes AnyBIC")
            << "pain.001.003.03"_ba
            << "<Id><OrgId><BICOrBEI>MUELDEM1XXX</BICOrBEI></OrgId></Id>"_ba
            << "<OrgId><AnyBIC>MUELDEM1XXX</AnyBIC></OrgId>"_ba
            << "BICOrBEI"_ba << QString();
        QTest::newRow("execution date becomes a choice of date")
            << "pain.001.001.03"_ba
            << "<PmtInf>\n  <ReqdExctnDt>2026-12-14</ReqdExctnDt>\n</PmtInf>"_ba
            << "\n  <ReqdExctnDt><Dt>2026-12-14</Dt></ReqdExctnDt>\n"_ba
            << "<ReqdExctnDt>2026"_ba << QString();
        QTest::newRow("collection date stays a date")
            << "pain.008.003.02"_ba
            << "<PmtInf><ReqdColltnDt>2026-12-15</ReqdColltnDt></PmtInf>"_ba
            << "<ReqdColltnDt>2026-12-15</ReqdColltnDt>"_ba << QByteArray() << QString();
        QTest::newRow("address type becomes a code")
            << "pain.001.001.03"_ba
            << "<PstlAdr><AdrTp>ADDR</AdrTp><TwnNm>Wien</TwnNm><Ctry>AT</Ctry></PstlAdr>"_ba
            << "<PstlAdr><AdrTp><Cd>ADDR</Cd></AdrTp><TwnNm>Wien</TwnNm><Ctry>AT</Ctry></PstlAdr>"_ba
            << "<AdrTp>ADDR"_ba << QString();
        QTest::newRow("mandate frequency becomes a type")
            << "pain.008.001.02"_ba
            << "<MndtRltdInf><Frqcy>MNTH</Frqcy></MndtRltdInf>"_ba
            << "<Frqcy><Tp>MNTH</Tp></Frqcy>"_ba
            << "<Frqcy>MNTH"_ba << QString();
        QTest::newRow("original frequency of an amendment becomes a type")
            << "pain.008.002.02"_ba
            << "<AmdmntInfDtls><OrgnlFrqcy>YEAR</OrgnlFrqcy></AmdmntInfDtls>"_ba
            << "<OrgnlFrqcy><Tp>YEAR</Tp></OrgnlFrqcy>"_ba
            << "<OrgnlFrqcy>YEAR"_ba << QString();
        QTest::newRow("discount keeps its currency on the amount")
            << "pain.001.001.03"_ba
            << "<RfrdDocAmt><DscntApldAmt Ccy=\"EUR\">1.50</DscntApldAmt></RfrdDocAmt>"_ba
            << "<DscntApldAmt><Amt Ccy=\"EUR\">1.50</Amt></DscntApldAmt>"_ba
            << "<DscntApldAmt Ccy"_ba << QString();
        QTest::newRow("other contact is left out and listed")
            << "pain.001.001.03"_ba
            << "<CtctDtls>\n  <EmailAdr>a@example.org</EmailAdr>\n  <Othr>Fax 0123</Othr>\n</CtctDtls>"_ba
            << "<CtctDtls>\n  <EmailAdr>a@example.org</EmailAdr>\n</CtctDtls>"_ba
            << "Fax 0123"_ba << u"not-carried"_s;
        QTest::newRow("remittance location moves into its details group")
            << "pain.001.001.03"_ba
            << "<RltdRmtInf><RmtId>R1</RmtId><RmtLctnMtd>EMAL</RmtLctnMtd><RmtLctnElctrncAdr>a@example.org</RmtLctnElctrncAdr></RltdRmtInf>"_ba
            << "<RltdRmtInf><RmtId>R1</RmtId><RmtLctnDtls><Mtd>EMAL</Mtd><ElctrncAdr>a@example.org</ElctrncAdr></RmtLctnDtls></RltdRmtInf>"_ba
            << "RmtLctnMtd"_ba << QString();
        QTest::newRow("remittance location without its method is carried and listed")
            << "pain.001.001.03"_ba
            << "<RltdRmtInf><RmtLctnElctrncAdr>a@example.org</RmtLctnElctrncAdr></RltdRmtInf>"_ba
            << "<RltdRmtInf><RmtLctnDtls><ElctrncAdr>a@example.org</ElctrncAdr></RmtLctnDtls></RltdRmtInf>"_ba
            << "RmtLctnElctrncAdr"_ba << u"incomplete"_s;
        QTest::newRow("remittance postal address becomes a name and address of the new kind")
            << "pain.001.001.03"_ba
            << "<RltdRmtInf>\n  <RmtId>R2</RmtId>\n  <RmtLctnMtd>POST</RmtLctnMtd>\n  <RmtLctnPstlAdr>\n    <Nm>Buchhaltung</Nm>\n    <Adr>\n      <Ctry>DE</Ctry>\n      <AdrLine>Hauptstr. 1</AdrLine>\n      <AdrLine>12345 Beispielheim</AdrLine>\n    </Adr>\n  </RmtLctnPstlAdr>\n</RltdRmtInf>"_ba
            << "  <RmtLctnDtls><Mtd>POST</Mtd>\n  <PstlAdr>\n    <Nm>Buchhaltung</Nm>\n    <Adr>\n      <StrtNm>Hauptstr.</StrtNm>\n      <BldgNb>1</BldgNb>\n      <PstCd>12345</PstCd>\n      <TwnNm>Beispielheim</TwnNm>\n      <Ctry>DE</Ctry>\n    </Adr>\n  </PstlAdr></RmtLctnDtls>\n</RltdRmtInf>"_ba
            << "RmtLctnPstlAdr"_ba << u"address-split"_s;
        QTest::newRow("direct debit's remittance location, prefixed")
            << "pain.008.001.02"_ba
            << "<p:RltdRmtInf xmlns:p=\"urn:iso:std:iso:20022:tech:xsd:pain.008.001.02\"><p:RmtLctnMtd>URID</p:RmtLctnMtd><p:RmtLctnElctrncAdr>https://example.org/r/1</p:RmtLctnElctrncAdr></p:RltdRmtInf>"_ba
            << "<p:RmtLctnDtls><p:Mtd>URID</p:Mtd><p:ElctrncAdr>https://example.org/r/1</p:ElctrncAdr></p:RmtLctnDtls></p:RltdRmtInf>"_ba
            << "RmtLctnMtd"_ba << QString();
        QTest::newRow("tax administration zone renamed")
            << "pain.001.001.03"_ba
            << "<Tax><Cdtr><TaxId>DE123</TaxId></Cdtr><AdmstnZn>Nord</AdmstnZn><RefNb>R7</RefNb></Tax>"_ba
            << "<Tax><Cdtr><TaxId>DE123</TaxId></Cdtr><AdmstnZone>Nord</AdmstnZone><RefNb>R7</RefNb></Tax>"_ba
            << "AdmstnZn>"_ba << QString();
        QTest::newRow("direct debit's tax administration zone renamed")
            << "pain.008.001.02"_ba
            << "<DrctDbtTxInf><Tax><AdmstnZn>Nord</AdmstnZn></Tax></DrctDbtTxInf>"_ba
            << "<Tax><AdmstnZone>Nord</AdmstnZone></Tax>"_ba
            << "AdmstnZn>"_ba << QString();
        QTest::newRow("tax record's amount stays a structure")
            << "pain.001.001.03"_ba
            << "<Tax><Rcrd><TaxAmt><Rate>19</Rate><TtlAmt Ccy=\"EUR\">19.00</TtlAmt></TaxAmt></Rcrd></Tax>"_ba
            << "<Tax><Rcrd><TaxAmt><Rate>19</Rate><TtlAmt Ccy=\"EUR\">19.00</TtlAmt></TaxAmt></Rcrd></Tax>"_ba
            << QByteArray() << QString();
        QTest::newRow("cheque addresses become addresses of the new kind")
            << "pain.001.001.03"_ba
            << "<ChqInstr><ChqFr><Nm>A</Nm><Adr><AdrTp>BIZZ</AdrTp><TwnNm>Wien</TwnNm><Ctry>AT</Ctry></Adr></ChqFr><DlvrTo><Nm>B</Nm><Adr><AdrLine>A-1010 Wien</AdrLine></Adr></DlvrTo></ChqInstr>"_ba
            << "<ChqFr><Nm>A</Nm><Adr><AdrTp><Cd>BIZZ</Cd></AdrTp><TwnNm>Wien</TwnNm><Ctry>AT</Ctry></Adr></ChqFr><DlvrTo><Nm>B</Nm><Adr><PstCd>1010</PstCd><TwnNm>Wien</TwnNm><Ctry>AT</Ctry></Adr></DlvrTo>"_ba
            << "<AdrTp>BIZZ"_ba << u"address-split"_s;
        QTest::newRow("regulatory reporting carried over unchanged")
            << "pain.001.001.03"_ba
            << "<RgltryRptg><DbtCdtRptgInd>DEBT</DbtCdtRptgInd><Authrty><Nm>Bundesbank</Nm><Ctry>DE</Ctry></Authrty><Dtls><Tp>Z4</Tp><Cd>521</Cd><Amt Ccy=\"EUR\">12500.00</Amt><Inf>Dienstleistung</Inf></Dtls></RgltryRptg>"_ba
            << "<RgltryRptg><DbtCdtRptgInd>DEBT</DbtCdtRptgInd><Authrty><Nm>Bundesbank</Nm><Ctry>DE</Ctry></Authrty><Dtls><Tp>Z4</Tp><Cd>521</Cd><Amt Ccy=\"EUR\">12500.00</Amt><Inf>Dienstleistung</Inf></Dtls></RgltryRptg>"_ba
            << QByteArray() << QString();
        QTest::newRow("BIC outside an agent stays")
            << "pain.001.001.03"_ba
            << "<Othr><BIC>X</BIC></Othr>"_ba
            << "<Othr><BIC>X</BIC></Othr>"_ba << QByteArray() << QString();
        QTest::newRow("prefixed elements keep their prefix")
            << "pain.001.001.03"_ba
            << "<p:DbtrAgt xmlns:p=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.03\"><p:FinInstnId><p:BIC>MUSTDEFFXXX</p:BIC></p:FinInstnId></p:DbtrAgt>"_ba
            << "<p:DbtrAgt xmlns:p=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\"><p:FinInstnId><p:BICFI>MUSTDEFFXXX</p:BICFI>"_ba
            << "pain.001.001.03"_ba << QString();
        QTest::newRow("comments and CDATA carried over")
            << "pain.001.001.03"_ba
            << "<!-- Lauf 7 --><Ustrd><![CDATA[Miete <Mai>]]></Ustrd>"_ba
            << "<!-- Lauf 7 --><Ustrd><![CDATA[Miete <Mai>]]></Ustrd>"_ba << QByteArray() << QString();
        QTest::newRow("split address keeps CR LF line ends")
            << "pain.001.003.03"_ba
            << "<Cdtr>\r\n  <PstlAdr>\r\n    <Ctry>DE</Ctry>\r\n    <AdrLine>Hauptstr. 1</AdrLine>\r\n    <AdrLine>12345 Beispielheim</AdrLine>\r\n  </PstlAdr>\r\n</Cdtr>"_ba
            << "  <PstlAdr>\r\n    <StrtNm>Hauptstr.</StrtNm>\r\n    <BldgNb>1</BldgNb>\r\n    <PstCd>12345</PstCd>\r\n    <TwnNm>Beispielheim</TwnNm>\r\n    <Ctry>DE</Ctry>\r\n  </PstlAdr>\r\n"_ba
            << "AdrLine"_ba << u"address-split"_s;
        QTest::newRow("escaped text in a split address stays escaped")
            << "pain.001.001.03"_ba
            << "<Dbtr><PstlAdr><Ctry>DE</Ctry><AdrLine>c/o M&amp;M</AdrLine><AdrLine>12345 Beispielheim</AdrLine></PstlAdr></Dbtr>"_ba
            << "<PstlAdr><PstCd>12345</PstCd><TwnNm>Beispielheim</TwnNm><Ctry>DE</Ctry><AdrLine>c/o M&amp;M</AdrLine></PstlAdr>"_ba
            << "<AdrLine>12345"_ba << u"address-split"_s;
        QTest::newRow("unsplittable address stays and is listed")
            << "pain.001.001.03"_ba
            << "<Cdtr><PstlAdr><AdrLine>Musterweg 5</AdrLine><AdrLine>Beispielheim</AdrLine></PstlAdr></Cdtr>"_ba
            << "<PstlAdr><AdrLine>Musterweg 5</AdrLine><AdrLine>Beispielheim</AdrLine></PstlAdr>"_ba
            << QByteArray() << u"address-not-split"_s;
        QTest::newRow("structured address carried over")
            << "pain.008.001.02"_ba
            << "<Dbtr><PstlAdr><StrtNm>Hauptstr.</StrtNm><PstCd>12345</PstCd><TwnNm>Beispielheim</TwnNm><Ctry>DE</Ctry><AdrLine>Hinterhaus</AdrLine></PstlAdr></Dbtr>"_ba
            << "<PstlAdr><StrtNm>Hauptstr.</StrtNm><PstCd>12345</PstCd><TwnNm>Beispielheim</TwnNm><Ctry>DE</Ctry><AdrLine>Hinterhaus</AdrLine></PstlAdr>"_ba
            << QByteArray() << QString();
    }

    void mappedElements()
    {
        QFETCH(QByteArray, version);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, expected);
        QFETCH(QByteArray, gone);
        QFETCH(QString, notes);
        std::vector<legacy::UpgradeNote> found;
        QString from, to;
        const QByteArray result = legacy::transform(document(version, body), found, &from, &to);
        QCOMPARE(from, QString::fromLatin1(version));
        QVERIFY2(result.contains("xmlns=\"" + kIso + to.toLatin1() + '"'), result.constData());
        QVERIFY2(result.contains(expected), result.constData());
        if (!gone.isEmpty())
            QVERIFY2(!result.contains(gone), result.constData());
        QStringList kinds;
        for (const legacy::UpgradeNote &n : found) {
            kinds.append(legacy::noteKindName(n.kind));
            QVERIFY(n.line >= 1);
            QVERIFY(!n.english.isEmpty() && !n.german.isEmpty());
        }
        QCOMPARE(kinds.join(u' '), notes);
    }

    void declarationAndSchemaLocation_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QString>("notes");
        QTest::newRow("encoding of the source becomes UTF-8")
            << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.03\"/>"_ba
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\"/>"_ba
            << QString();
        QTest::newRow("schema location of the old version follows")
            << "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.008.003.02\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:schemaLocation=\"urn:iso:std:iso:20022:tech:xsd:pain.008.003.02 pain.008.003.02.xsd\"/>"_ba
            << "xsi:schemaLocation=\"urn:iso:std:iso:20022:tech:xsd:pain.008.001.08 pain.008.001.08.xsd\""_ba
            << QString();
        QTest::newRow("schema location of another file is noted")
            << "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.003.03\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:schemaLocation=\"urn:iso:std:iso:20022:tech:xsd:pain.001.003.03 ueberweisung.xsd\"/>"_ba
            << "xsi:schemaLocation=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09 ueberweisung.xsd\""_ba
            << u"schema-location"_s;
    }

    void declarationAndSchemaLocation()
    {
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, expected);
        QFETCH(QString, notes);
        std::vector<legacy::UpgradeNote> found;
        const QByteArray result = legacy::transform(source, found);
        QVERIFY2(result.contains(expected), result.constData());
        QStringList kinds;
        for (const legacy::UpgradeNote &n : found)
            kinds.append(legacy::noteKindName(n.kind));
        QCOMPARE(kinds.join(u' '), notes);
    }

    void notUpgradable_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::newRow("version the banks take") << document("pain.001.001.09", "<CstmrCdtTrfInitn/>");
        QTest::newRow("retired version without an upgrade")
            << document("pain.001.001.02", "<CstmrCdtTrfInitn/>");
        QTest::newRow("statement") << document("camt.053.001.02", "<BkToCstmrStmt/>");
        QTest::newRow("no namespace") << "<Document><CstmrCdtTrfInitn/></Document>"_ba;
        QTest::newRow("not XML") << "Kontoauszug Dezember"_ba;
        QTest::newRow("ends inside a tag")
            << "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.03\"><GrpHdr"_ba;
        QTest::newRow("ends before its elements")
            << "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.03\"><GrpHdr>"_ba;
        QTest::newRow("document type declaration")
            << "<!DOCTYPE Document><Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.03\"/>"_ba;
    }

    void notUpgradable()
    {
        QFETCH(QByteArray, source);
        std::vector<legacy::UpgradeNote> notes;
        QVERIFY_THROWS_EXCEPTION(legacy::EUpgradeError, legacy::transform(source, notes));
    }

    // The text written in small pieces is the text made whole, also where an element left out takes
    // back the line end already produced before it.
    void streamedInPieces_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<qsizetype>("pieceSize");
        const QByteArray dropped = document("pain.001.001.03"_ba,
            "<CtctDtls>\r\n  <EmailAdr>a@example.org</EmailAdr>\r\n  <Othr>Fax 0123</Othr>\r\n</CtctDtls>"_ba);
        for (qsizetype piece : { 1, 7, 64 })
            QTest::addRow("element left out, pieces of %d", int(piece)) << dropped << piece;
        for (const char *name : { "ct-pain.001.002.03.xml", "ct-pain.001.003.03.xml",
                 "dd-pain.008.002.02.xml", "dd-pain.008.003.02.xml", "ct-address-unsplittable.xml" })
            QTest::addRow("%s", name) << fixture(QString::fromLatin1(name)) << qsizetype(100);
    }

    void streamedInPieces()
    {
        QFETCH(QByteArray, source);
        QFETCH(qsizetype, pieceSize);
        QVERIFY(!source.isEmpty());
        std::vector<legacy::UpgradeNote> wholeNotes, streamedNotes;
        const QByteArray whole = legacy::transform(source, wholeNotes);
        QByteArray streamed;
        int pieces = 0;
        legacy::transform(
            source,
            [&](QByteArrayView piece) {
                streamed.append(piece);
                ++pieces;
            },
            streamedNotes, nullptr, nullptr, pieceSize);
        QCOMPARE(streamed, whole);
        QVERIFY(pieces > 1);
        QCOMPARE(streamedNotes.size(), wholeNotes.size());
        for (size_t i = 0; i < wholeNotes.size(); ++i) {
            QCOMPARE(streamedNotes[i].english, wholeNotes[i].english);
            QCOMPARE(streamedNotes[i].line, wholeNotes[i].line);
        }
    }

    void fixtures_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("splits"); // addresses split, each a note
        QTest::newRow("ISO credit transfer of 2009, tabs")
            << u"ct-pain.001.001.03.xml"_s << u"pain.001.001.09"_s << 3;
        QTest::newRow("DK credit transfer before 2013, prefixed")
            << u"ct-pain.001.002.03.xml"_s << u"pain.001.001.09"_s << 3;
        QTest::newRow("DK credit transfer up to 2016, CR LF")
            << u"ct-pain.001.003.03.xml"_s << u"pain.001.001.09"_s << 3;
        QTest::newRow("ISO direct debit of 2009") << u"dd-pain.008.001.02.xml"_s << u"pain.008.001.08"_s << 3;
        QTest::newRow("DK direct debit before 2013, tabs")
            << u"dd-pain.008.002.02.xml"_s << u"pain.008.001.08"_s << 3;
        QTest::newRow("DK direct debit up to 2016, CR LF")
            << u"dd-pain.008.003.02.xml"_s << u"pain.008.001.08"_s << 3;
    }

    void fixtures()
    {
        QFETCH(QString, file);
        QFETCH(QString, to);
        QFETCH(int, splits);
        const QByteArray source = fixture(file);
        QVERIFY(!source.isEmpty());
        const legacy::UpgradeResult r = legacy::upgrade(source, cache);
        QVERIFY2(r.passes(), qPrintable(r.failure()));
        QCOMPARE(r.to, to);
        QCOMPARE(namespaceOf(r.text), QString::fromLatin1(kIso) + to);
        QCOMPARE(int(r.notes.size()), splits);
        for (const legacy::UpgradeNote &n : r.notes)
            QCOMPARE(n.kind, legacy::UpgradeNote::AddressSplit);

        // The round trip: the result, validated on its own, passes.
        std::unique_ptr<TXMLParseErrors> errors;
        QVERIFY(ValidationEngine::ValidateXMLUtf8(r.text, errors, &cache));

        // Field by field, nothing lost or changed; every word of every address is still there.
        const QStringList before = fields(source);
        QVERIFY(before.size() > 20);
        QCOMPARE(fields(r.text), before);
        QStringList added = addressWords(r.text);
        for (const QString &word : addressWords(source))
            QVERIFY2(added.removeOne(word), qPrintable(word));
        // All that may come in is the country a "D-" or "A-" prefix named.
        for (const QString &word : std::as_const(added))
            QVERIFY2(word == u"DE" || word == u"AT", qPrintable(word));

        // The file's own line ends and line count (a split address has as many lines or more).
        QCOMPARE(r.text.count("\r\n") > 0, source.count("\r\n") > 0);
        QVERIFY(r.text.count('\n') >= source.count('\n'));
    }

    void unsplittableAddress()
    {
        const QByteArray source = fixture(u"ct-address-unsplittable.xml"_s);
        const legacy::UpgradeResult r = legacy::upgrade(source, cache);
        QVERIFY(!r.passes());
        QVERIFY(!r.schemaValid);
        QVERIFY(r.failure().contains(u"nothing was written"_s));
        const auto it = std::find_if(r.notes.begin(), r.notes.end(),
            [](const legacy::UpgradeNote &n) { return n.kind == legacy::UpgradeNote::AddressNotSplit; });
        QVERIFY(it != r.notes.end());
        QCOMPARE(it->severity, sepa::Severity::Error);
        // The party and the transaction, so that a person finds it.
        QVERIFY2(it->english.contains(u"creditor (Cdtr)"_s), qPrintable(it->english));
        QVERIFY2(it->english.contains(u"RE-2026-4711"_s), qPrintable(it->english));
        QVERIFY2(it->german.contains(u"Zahlungsempfängers (Cdtr)"_s), qPrintable(it->german));
        QCOMPARE(it->srcText, u"Beispielheim"_s);
        // The line of the address's start tag.
        const qsizetype address = source.lastIndexOf("<PstlAdr>", source.indexOf("<AdrLine>Beispielheim"));
        QCOMPARE(int(source.left(address).count('\n')) + 1, it->line);
    }

    // Elements of the ISO version that changed shape although the German banks take none of them:
    // mapped as the new version defines them, every value kept, and then refused by the bank schema.
    void changedShapes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QByteArrayList>("present");
        QTest::addColumn<QByteArrayList>("gone");
        QTest::newRow("credit transfer with tax, cheque, regulatory reporting and remittance locations")
            << u"ct-pain.001.001.03-tax-cheque.xml"_s << QString()
            << QByteArrayList { "<AdmstnZone>Beispielheim-Nord</AdmstnZone>", "<RmtLctnDtls><Mtd>EMAL</Mtd>",
                   "<ElctrncAdr>buchhaltung@werkhof.example</ElctrncAdr></RmtLctnDtls>",
                   "<AdrTp><Cd>BIZZ</Cd></AdrTp>", "<AdrTp><Cd>ADDR</Cd></AdrTp>",
                   "<PstlAdr>\n            <Nm>", "<Inf>Vertrag 2026-17</Inf>", "<MemoFld>Danke</MemoFld>" }
            << QByteArrayList { "AdmstnZn>", "RmtLctnMtd", "RmtLctnElctrncAdr", "RmtLctnPstlAdr",
                   "<AdrTp>BIZZ" };
        QTest::newRow("direct debit with tax, regulatory reporting and a remittance location")
            << u"dd-pain.008.001.02-tax.xml"_s << u"address-split incomplete"_s
            << QByteArrayList { "<AdmstnZone>Beispielheim</AdmstnZone>", "<RmtLctnDtls><PstlAdr>",
                   "</PstlAdr></RmtLctnDtls>\n\t\t\t\t</RltdRmtInf>", "<PstCd>12345</PstCd>",
                   "<AdrLine>Postfach 12 34</AdrLine>" }
            << QByteArrayList { "AdmstnZn>", "RmtLctnPstlAdr" };
    }

    void changedShapes()
    {
        QFETCH(QString, file);
        QFETCH(QString, notes);
        QFETCH(QByteArrayList, present);
        QFETCH(QByteArrayList, gone);
        const QByteArray source = fixture(file);
        QVERIFY(!source.isEmpty());
        const legacy::UpgradeResult r = legacy::upgrade(source, cache);
        for (const QByteArray &p : present)
            QVERIFY2(r.text.contains(p), p.constData());
        for (const QByteArray &g : gone)
            QVERIFY2(!r.text.contains(g), g.constData());
        QStringList kinds;
        for (const legacy::UpgradeNote &n : r.notes)
            kinds.append(legacy::noteKindName(n.kind));
        QCOMPARE(kinds.join(u' '), notes);

        // Field by field: every value in the same order, every word of every address kept.
        const QStringList before = contents(source).values;
        QVERIFY(before.size() > 30);
        QCOMPARE(contents(r.text).values, before);
        QStringList added = addressWords(r.text);
        for (const QString &word : addressWords(source))
            QVERIFY2(added.removeOne(word), qPrintable(word));
        QCOMPARE(added, QStringList());

        // The banks' schema has no place for them: the result is refused, not written.
        QVERIFY(!r.passes());
        QVERIFY(!r.schemaValid);
    }

    void defaultName_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain name") << u"/data/payments.xml"_s << u"pain.001.001.09"_s
                                    << u"/data/payments.pain.001.001.09.xml"_s;
        QTest::newRow("name carrying the old version")
            << u"/data/lastschrift.pain.008.003.02.xml"_s << u"pain.008.001.08"_s
            << u"/data/lastschrift.pain.008.001.08.xml"_s;
        QTest::newRow("upper-case extension")
            << u"/data/LOHN.XML"_s << u"pain.001.001.09"_s << u"/data/LOHN.pain.001.001.09.xml"_s;
        QTest::newRow("no extension")
            << u"/data/export"_s << u"pain.001.001.09"_s << u"/data/export.pain.001.001.09.xml"_s;
    }

    void defaultName()
    {
        QFETCH(QString, source);
        QFETCH(QString, to);
        QFETCH(QString, expected);
        QCOMPARE(legacy::defaultUpgradeName(source, to), expected);
    }
};

QTEST_GUILESS_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
