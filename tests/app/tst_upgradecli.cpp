// pravik-check on files of known messages it has no schema for: the refusal's detail, and
// --upgrade as scripts run it (files written or left alone, exit status, what is printed).

#include "tests/support/programrun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using testsupport::Run;

Run runCheck(const QStringList &arguments, const QString &workingDirectory)
{
    testsupport::RunOptions options;
    options.workingDirectory = workingDirectory;
    options.timeoutMs = 120000;
    return testsupport::runCheck(arguments, options);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

const QString kRefusal = u"The file cannot be validated! This file may not be a valid SEPA XML file."_s;

} // namespace

class TestUpgradeCli : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    // A fixture copied into the test's folder, so that the upgrade writes beside it.
    QString copy(const QString &fixture, const QString &as = {})
    {
        const QString target = dir.filePath(as.isEmpty() ? fixture : as);
        QFile::remove(target);
        QFile::copy(QStringLiteral(PRAVIK_TEST_DATA "/legacy/") + fixture, target);
        return target;
    }

private Q_SLOTS:
    void init() { QVERIFY(dir.isValid()); }

    void refusalNamesTheMessage_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("detail"); // the second line on stderr, empty when none
        QTest::addColumn<QString>("status"); // knownMessage.status in --json
        QTest::newRow("DK credit transfer up to 2016")
            << readAll(QStringLiteral(PRAVIK_TEST_DATA "/legacy/ct-pain.001.003.03.xml"))
            << u"pain.001.003.03, credit transfer, German DK format up to 2016: German banks no longer "
               u"accept this "
               "version (they take pain.001.001.09). It can be upgraded to pain.001.001.09."_s
            << u"retired"_s;
        QTest::newRow("newer direct debit")
            << "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.008.001.11\"><CstmrDrctDbtInitn/></Document>"_ba
            << u"pain.008.001.11, direct debit, ISO 20022 version of 2023: German banks do not take this "
               u"version yet "
               "(they take pain.008.001.08)."_s
            << u"not yet taken"_s;
        QTest::newRow("account statement")
            << "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:camt.053.001.08\"><BkToCstmrStmt/></Document>"_ba
            << u"camt.053.001.08, bank statement, account statement: this is not a payment order, so there "
               u"is "
               "nothing to send to a bank."_s
            << u"not a payment order"_s;
        QTest::newRow("unknown namespace keeps the refusal alone")
            << "<Document xmlns=\"urn:example:invoice\"><Invoice/></Document>"_ba << QString() << QString();
    }

    void refusalNamesTheMessage()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, detail);
        QFETCH(QString, status);
        QVERIFY(writeAll(dir.filePath(u"file.xml"_s), text));
        const Run run = runCheck({ u"file.xml"_s }, dir.path());
        QCOMPARE(run.status, 2);
        QVERIFY(run.out.isEmpty());
        QStringList expected { u"pravik-check: file.xml: "_s + kRefusal };
        if (!detail.isEmpty())
            expected.append(u"pravik-check: file.xml: "_s + detail);
        QCOMPARE(QString::fromUtf8(run.err).split(u'\n', Qt::SkipEmptyParts), expected);

        const Run json = runCheck({ u"--json"_s, u"file.xml"_s }, dir.path());
        QCOMPARE(json.status, 2);
        const QJsonObject record = QJsonDocument::fromJson(json.out).object();
        QCOMPARE(record.value(u"message"_s).toString(), kRefusal);
        QCOMPARE(record.value(u"detail"_s).toString(), detail);
        QCOMPARE(record.value(u"knownMessage"_s).toObject().value(u"status"_s).toString(), status);
    }

    void upgradeWritesBesideTheSource_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("written");
        QTest::newRow("DK credit transfer")
            << u"ct-pain.001.003.03.xml"_s << u"payments.pain.001.001.09.xml"_s;
        QTest::newRow("ISO direct debit") << u"dd-pain.008.001.02.xml"_s << u"payments.pain.008.001.08.xml"_s;
    }

    void upgradeWritesBesideTheSource()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, written);
        const QString source = copy(fixture, u"payments.xml"_s);
        const QByteArray before = readAll(source);
        const Run run = runCheck({ u"--upgrade"_s, u"payments.xml"_s }, dir.path());
        QVERIFY2(run.status == 0, run.err.constData());
        QVERIFY2(
            QFileInfo::exists(dir.filePath(written)), qPrintable(QDir(dir.path()).entryList().join(u' ')));
        QCOMPARE(readAll(source), before); // the source is never changed
        QVERIFY(run.out.contains("Note: address-split"));
        QVERIFY(run.out.contains("XML is valid"));
        // What was written passes a check of its own.
        const Run check = runCheck({ u"--rules-strict"_s, written }, dir.path());
        QVERIFY2(check.status == 0, check.out.constData());
        QFile::remove(dir.filePath(written));
    }

    void overwriting_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("default name taken: refused") << QStringList() << 2 << false;
        QTest::newRow("default name taken, --force: replaced") << QStringList { u"--force"_s } << 0 << true;
        QTest::newRow("named with -o: replaced")
            << QStringList { u"-o"_s, u"payments.pain.001.001.09.xml"_s } << 0 << true;
        QTest::newRow("named with --output=: replaced")
            << QStringList { u"--output=payments.pain.001.001.09.xml"_s } << 0 << true;
    }

    void overwriting()
    {
        QFETCH(QStringList, options);
        QFETCH(int, status);
        QFETCH(bool, replaced);
        copy(u"ct-pain.001.003.03.xml"_s, u"payments.xml"_s);
        const QString target = dir.filePath(u"payments.pain.001.001.09.xml"_s);
        QVERIFY(writeAll(target, "precious"));
        const Run run = runCheck(QStringList { u"--upgrade"_s, u"payments.xml"_s } + options, dir.path());
        QCOMPARE(run.status, status);
        QCOMPARE(readAll(target) != "precious", replaced);
        if (!replaced)
            QVERIFY2(run.err.contains("exists"), run.err.constData());
        QFile::remove(target);
    }

    void neverOverTheSource()
    {
        const QString source = copy(u"dd-pain.008.003.02.xml"_s);
        const QByteArray before = readAll(source);
        const Run run = runCheck(
            { u"--upgrade"_s, u"-o"_s, u"./dd-pain.008.003.02.xml"_s, u"dd-pain.008.003.02.xml"_s },
            dir.path());
        QCOMPARE(run.status, 2);
        QCOMPARE(readAll(source), before);
    }

    void failingUpgradeWritesNothing()
    {
        copy(u"ct-address-unsplittable.xml"_s);
        const Run run = runCheck({ u"--upgrade"_s, u"ct-address-unsplittable.xml"_s }, dir.path());
        QCOMPARE(run.status, 1); // as a check of the result
        QVERIFY(!QFileInfo::exists(dir.filePath(u"ct-address-unsplittable.pain.001.001.09.xml"_s)));
        QVERIFY(run.out.contains("Note: address-not-split"));
        QVERIFY(run.out.contains("RE-2026-4711"));
        QVERIFY2(run.err.contains("nothing was written"), run.err.constData());
        // The result was written beside its target to be checked; that copy is gone too.
        QCOMPARE(QDir(dir.path()).entryList({ u"*.tmp"_s }, QDir::Files | QDir::Hidden), QStringList());
    }

    // The check printed after the notes is the report a check of the written file gives, whether the
    // check runs in one pass or in parts on several threads.
    void reportAsACheck_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("jobs");
        QTest::addColumn<int>("status");
        QTest::newRow("passing, one pass") << u"ct-pain.001.003.03.xml"_s << u"1"_s << 0;
        QTest::newRow("passing, two threads") << u"dd-pain.008.001.02.xml"_s << u"2"_s << 0;
        QTest::newRow("refused by the bank schema, two threads")
            << u"ct-pain.001.001.03-tax-cheque.xml"_s << u"2"_s << 1;
        QTest::newRow("refused by the bank schema, one pass")
            << u"dd-pain.008.001.02-tax.xml"_s << u"1"_s << 1;
    }

    void reportAsACheck()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, jobs);
        QFETCH(int, status);
        copy(fixture, u"source.xml"_s);
        QFile::remove(dir.filePath(u"out.xml"_s));
        QFile::remove(dir.filePath(u"out.failed.xml"_s));
        const Run run = runCheck(
            { u"--upgrade"_s, u"--keep-failed"_s, u"-j"_s, jobs, u"-o"_s, u"out.xml"_s, u"source.xml"_s },
            dir.path());
        QVERIFY2(run.status == status, run.err.constData());
        const QString written = status == 0 ? u"out.xml"_s : u"out.failed.xml"_s;
        QVERIFY(QFileInfo::exists(dir.filePath(written)));
        const QByteArray marker = "\nCheck of the upgraded text:\n";
        const qsizetype at = run.out.indexOf(marker);
        QVERIFY(at > 0);
        const Run check = runCheck({ u"--rules"_s, u"--no-history"_s, u"-j"_s, jobs, written }, dir.path());
        QCOMPARE(run.out.mid(at + marker.size()), check.out);
    }

    // A result that does not pass is written only when asked, under a name that says so.
    void keepFailed_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("before"); // a file of the kept name exists
        QTest::addColumn<QString>("kept"); // its content afterwards: "result" or "precious"; empty: none
        QTest::newRow("without --keep-failed nothing") << QStringList() << false << QString();
        QTest::newRow("kept beside the default name")
            << QStringList { u"--keep-failed"_s } << false << u"result"_s;
        QTest::newRow("kept name taken: left alone")
            << QStringList { u"--keep-failed"_s } << true << u"precious"_s;
        QTest::newRow("kept name taken, --force: replaced")
            << QStringList { u"--keep-failed"_s, u"--force"_s } << true << u"result"_s;
    }

    void keepFailed()
    {
        QFETCH(QStringList, options);
        QFETCH(bool, before);
        QFETCH(QString, kept);
        copy(u"ct-address-unsplittable.xml"_s, u"bad.xml"_s);
        const QString failed = dir.filePath(u"bad.pain.001.001.09.failed.xml"_s);
        QFile::remove(failed);
        if (before)
            QVERIFY(writeAll(failed, "precious"));
        const Run run = runCheck(QStringList { u"--upgrade"_s, u"bad.xml"_s } + options, dir.path());
        QCOMPARE(run.status, 1);
        QVERIFY(!QFileInfo::exists(dir.filePath(u"bad.pain.001.001.09.xml"_s)));
        QCOMPARE(QDir(dir.path()).entryList({ u"*.tmp"_s }, QDir::Files | QDir::Hidden), QStringList());
        if (kept.isEmpty()) {
            QVERIFY(!QFileInfo::exists(failed));
            QVERIFY2(run.err.contains("nothing was written"), run.err.constData());
        } else if (kept == u"precious") {
            QCOMPARE(readAll(failed), "precious"_ba);
            QVERIFY2(run.err.contains("exists"), run.err.constData());
        } else {
            const QByteArray text = readAll(failed);
            QVERIFY(text.contains("urn:iso:std:iso:20022:tech:xsd:pain.001.001.09"));
            QVERIFY(
                text.trimmed().endsWith("did NOT pass the check (see its report); correct it and check it "
                                        "again before it goes to a bank. -->"));
            QVERIFY2(run.err.contains("bad.pain.001.001.09.failed.xml to be corrected by hand"),
                run.err.constData());
        }
        QFile::remove(failed);
    }

    // Many notes are spooled past memory and still printed complete and in order.
    void manyNotesInOrder()
    {
        const int count = 3000;
        QByteArray text
            = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Document "
              "xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.03\"><CstmrCdtTrfInitn><PmtInf>"
              "<PmtInfId>P</PmtInfId>\n";
        for (int i = 1; i <= count; ++i)
            text += "<CdtTrfTxInf><PmtId><EndToEndId>E" + QByteArray::number(i)
                + "</EndToEndId></PmtId><Cdtr><PstlAdr><Ctry>DE</Ctry><AdrLine>Hauptstr. "
                + QByteArray::number(i)
                + "</AdrLine><AdrLine>12345 Beispielheim</AdrLine></PstlAdr></Cdtr></CdtTrfTxInf>\n";
        text += "</PmtInf></CstmrCdtTrfInitn></Document>\n";
        QVERIFY(writeAll(dir.filePath(u"many.xml"_s), text));
        const Run run = runCheck({ u"--upgrade"_s, u"many.xml"_s }, dir.path());
        QVERIFY(run.out.size() > 1024 * 1024); // past what is kept in memory
        QVERIFY(run.out.contains("\nUpgrade: 3000 notes to check\n"));
        const QByteArray notes = run.out.left(run.out.indexOf("\nCheck of the upgraded text:"));
        int seen = 0;
        qsizetype from = 0;
        while ((from = notes.indexOf("\nReason: ", from)) >= 0) {
            ++seen;
            from += 9;
            const QByteArray expected = "transaction " + QByteArray::number(seen)
                + " of payment block P (EndToEndId E" + QByteArray::number(seen) + ")";
            QVERIFY2(notes.mid(from, 200).contains(expected), expected.constData());
            const qsizetype line = notes.indexOf("\nLine: ", from);
            QCOMPARE(notes.mid(line, notes.indexOf('\n', line + 1) - line),
                "\nLine: " + QByteArray::number(seen + 2));
        }
        QCOMPARE(seen, count);
        QFile::remove(dir.filePath(u"many.pain.001.001.09.xml"_s));
    }

    void notUpgradable_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("version the banks take")
            << "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\"><CstmrCdtTrfInitn/></Document>"_ba;
        QTest::newRow("retired without an upgrade")
            << "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.008.002.01\"><CstmrDrctDbtInitn/></Document>"_ba;
        QTest::newRow("not XML") << "Name;IBAN;Betrag\n"_ba;
    }

    void notUpgradable()
    {
        QFETCH(QByteArray, text);
        QVERIFY(writeAll(dir.filePath(u"other.xml"_s), text));
        const Run run = runCheck({ u"--upgrade"_s, u"other.xml"_s }, dir.path());
        QCOMPARE(run.status, 2);
        QVERIFY(run.err.startsWith("pravik-check: other.xml: "));
        QCOMPARE(QDir(dir.path()).entryList({ u"other.*.xml"_s }), QStringList());
    }

    void wrongCommandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("two files") << QStringList { u"--upgrade"_s, u"a.xml"_s, u"b.xml"_s };
        QTest::newRow("standard input") << QStringList { u"--upgrade"_s, u"-"_s };
        QTest::newRow("-o without --upgrade") << QStringList { u"-o"_s, u"out.xml"_s, u"a.xml"_s };
        QTest::newRow("--force without --upgrade") << QStringList { u"--force"_s, u"a.xml"_s };
        QTest::newRow("--keep-failed without --upgrade") << QStringList { u"--keep-failed"_s, u"a.xml"_s };
        QTest::newRow("-o without a name") << QStringList { u"--upgrade"_s, u"a.xml"_s, u"-o"_s };
        QTest::newRow("with --json") << QStringList { u"--upgrade"_s, u"--json"_s, u"a.xml"_s };
    }

    void wrongCommandLines()
    {
        QFETCH(QStringList, arguments);
        const Run run = runCheck(arguments, dir.path());
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains("Try 'pravik-check --help'"), run.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestUpgradeCli)
#include "tst_upgradecli.moc"
