// Format: specifiers, widths and precisions, argument kinds, and the conversion errors; the integer
// kinds it and the form streaming share.

#include "platform/exception.h"
#include "platform/format.h"
#include "platform/integraltype.h"

#include <limits>

#include <QTest>

using namespace Qt::StringLiterals;

class TestFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void formats_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("expected");

        QTest::newRow("string") << u"Datei %s."_s << QVariantList { u"a.xml"_s } << u"Datei a.xml."_s;
        QTest::newRow("overwrite question with CR LF kept")
            << u"Die Datei %s existiert bereits! \r\nWollen Sie die Datei überschreiben?"_s
            << QVariantList { u"C:/tmp/ü.xml"_s }
            << u"Die Datei C:/tmp/ü.xml existiert bereits! \r\nWollen Sie die Datei überschreiben?"_s;
        QTest::newRow("char as string") << u"[%s]"_s << QVariantList { QChar(u'x') } << u"[x]"_s;
        QTest::newRow("byte array as UTF-8") << u"%s"_s << QVariantList { QByteArray("\xc3\xbc") } << u"ü"_s;
        QTest::newRow("string precision cuts") << u"%.2s"_s << QVariantList { u"abcdef"_s } << u"ab"_s;
        QTest::newRow("percent sign") << u"100%% sicher"_s << QVariantList {} << u"100% sicher"_s;
        QTest::newRow("number then percent") << u"%d%%"_s << QVariantList { 50 } << u"50%"_s;
        QTest::newRow("integer") << u"%d"_s << QVariantList { 42 } << u"42"_s;
        QTest::newRow("negative integer") << u"%d"_s << QVariantList { -7 } << u"-7"_s;
        QTest::newRow("64-bit integer")
            << u"%d"_s << QVariantList { qlonglong(9000000000) } << u"9000000000"_s;
        QTest::newRow("upper-case type letter") << u"%D"_s << QVariantList { 3 } << u"3"_s;
        QTest::newRow("width pads left") << u"%5d"_s << QVariantList { 42 } << u"   42"_s;
        QTest::newRow("minus pads right") << u"%-5d|"_s << QVariantList { 42 } << u"42   |"_s;
        QTest::newRow("width narrower than text") << u"%1s"_s << QVariantList { u"abc"_s } << u"abc"_s;
        QTest::newRow("integer precision zero-pads") << u"%.3d"_s << QVariantList { 7 } << u"007"_s;
        QTest::newRow("zero-padding after the sign") << u"%.3d"_s << QVariantList { -7 } << u"-007"_s;
        QTest::newRow("width from argument") << u"%*d"_s << QVariantList { 5, 42 } << u"   42"_s;
        QTest::newRow("hexadecimal") << u"%x"_s << QVariantList { 255 } << u"FF"_s;
        QTest::newRow("hexadecimal with precision") << u"%.4x"_s << QVariantList { 255 } << u"00FF"_s;
        QTest::newRow("negative 32-bit as hexadecimal") << u"%x"_s << QVariantList { -1 } << u"FFFFFFFF"_s;
        QTest::newRow("negative 32-bit as unsigned") << u"%u"_s << QVariantList { -1 } << u"4294967295"_s;
        QTest::newRow("argument index") << u"%1:s %0:s %s"_s << QVariantList { u"a"_s, u"b"_s } << u"b a b"_s;
        QTest::newRow("unused arguments ignored") << u"%s"_s << QVariantList { u"a"_s, 1 } << u"a"_s;
        QTest::newRow("fixed, default two decimals") << u"%f"_s << QVariantList { 2.5 } << u"2.50"_s;
        QTest::newRow("fixed rounds half away from zero") << u"%.0f"_s << QVariantList { 2.5 } << u"3"_s;
        QTest::newRow("negative half away from zero") << u"%.0f"_s << QVariantList { -2.5 } << u"-3"_s;
        QTest::newRow("rounding to zero drops the sign") << u"%.0f"_s << QVariantList { -0.4 } << u"0"_s;
        QTest::newRow("rounding carries over") << u"%.2f"_s << QVariantList { 9.995 } << u"10.00"_s;
        QTest::newRow("small value") << u"%.2f"_s << QVariantList { 0.005 } << u"0.01"_s;
        QTest::newRow("number with separators")
            << u"%n"_s << QVariantList { 1234567.891 } << u"1,234,567.89"_s;
        QTest::newRow("countdown seconds")
            << u"in %.0n Sekunden"_s << QVariantList { 10.0 } << u"in 10 Sekunden"_s;
        QTest::newRow("number rounds into a new group")
            << u"%.0n"_s << QVariantList { 9999.5 } << u"10,000"_s;
        QTest::newRow("scientific") << u"%e"_s << QVariantList { 1234.5 } << u"1.23450000000000E+003"_s;
        QTest::newRow("scientific with precision")
            << u"%.3e"_s << QVariantList { 0.000123456 } << u"1.23E-004"_s;
        QTest::newRow("general, short") << u"%g"_s << QVariantList { 0.5 } << u"0.5"_s;
        QTest::newRow("general, integral") << u"%g"_s << QVariantList { 100.0 } << u"100"_s;
        QTest::newRow("general, large") << u"%g"_s << QVariantList { 1e20 } << u"1E+20"_s;
        QTest::newRow("float width") << u"%8.2f"_s << QVariantList { 3.14159 } << u"    3.14"_s;
    }

    void formats()
    {
        QFETCH(QString, format);
        QFETCH(QVariantList, args);
        QFETCH(QString, expected);
        QCOMPARE(Format(format, args, TFormatSettings { u'.', u',' }), expected);
    }

    // Every integer kind with its own sign; narrower than 64 bits, a negative value is shown as 32 bits.
    void integerKinds_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("asD");
        QTest::addColumn<QString>("asU");
        QTest::addColumn<QString>("asX");

        const auto row
            = [](const char *name, const QVariant &v, const char *d, const char *u, const char *x) {
                  QTest::newRow(name)
                      << v << QString::fromLatin1(d) << QString::fromLatin1(u) << QString::fromLatin1(x);
              };
        row("signed char, negative", QVariant::fromValue<signed char>(-1), "-1", "4294967295", "FFFFFFFF");
        row("unsigned char, highest", QVariant::fromValue<uchar>(255), "255", "255", "FF");
        row("short, negative", QVariant::fromValue<short>(-2), "-2", "4294967294", "FFFFFFFE");
        row("unsigned short, highest", QVariant::fromValue<ushort>(65535), "65535", "65535", "FFFF");
        row("unsigned int, highest", QVariant::fromValue<uint>(4294967295u), "4294967295", "4294967295",
            "FFFFFFFF");
        row("long long, negative", QVariant::fromValue<qlonglong>(-1), "-1", "18446744073709551615",
            "FFFFFFFFFFFFFFFF");
        row("unsigned long long, highest", QVariant::fromValue<qulonglong>(~0ull), "18446744073709551615",
            "18446744073709551615", "FFFFFFFFFFFFFFFF");
        if (sizeof(long) == 8) {
            row("long, negative", QVariant::fromValue<long>(-1), "-1", "18446744073709551615",
                "FFFFFFFFFFFFFFFF");
            row("unsigned long, past 32 bits", QVariant::fromValue<ulong>(1ul << 40), "1099511627776",
                "1099511627776", "10000000000");
        }
    }

    void integerKinds()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, asD);
        QFETCH(QString, asU);
        QFETCH(QString, asX);
        QCOMPARE(Format(u"%d"_s, { value }), asD);
        QCOMPARE(Format(u"%u"_s, { value }), asU);
        QCOMPARE(Format(u"%x"_s, { value }), asX);
    }

    void integralTypes_data()
    {
        QTest::addColumn<int>("typeId");
        QTest::addColumn<bool>("integral");
        QTest::addColumn<bool>("isSigned");
        QTest::addColumn<int>("bits");

        const int longBits = std::numeric_limits<long>::digits + 1;
        QTest::newRow("signed char") << int(QMetaType::SChar) << true << true << 8;
        QTest::newRow("unsigned char") << int(QMetaType::UChar) << true << false << 8;
        QTest::newRow("short") << int(QMetaType::Short) << true << true << 16;
        QTest::newRow("unsigned short") << int(QMetaType::UShort) << true << false << 16;
        QTest::newRow("int") << int(QMetaType::Int) << true << true << 32;
        QTest::newRow("unsigned int") << int(QMetaType::UInt) << true << false << 32;
        QTest::newRow("long") << int(QMetaType::Long) << true << true << longBits;
        QTest::newRow("unsigned long") << int(QMetaType::ULong) << true << false << longBits;
        QTest::newRow("long long") << int(QMetaType::LongLong) << true << true << 64;
        QTest::newRow("unsigned long long") << int(QMetaType::ULongLong) << true << false << 64;
        QTest::newRow("plain char is a character") << int(QMetaType::Char) << false << false << 0;
        QTest::newRow("QChar is a character") << int(QMetaType::QChar) << false << false << 0;
        QTest::newRow("bool") << int(QMetaType::Bool) << false << false << 0;
        QTest::newRow("double") << int(QMetaType::Double) << false << false << 0;
        QTest::newRow("string") << int(QMetaType::QString) << false << false << 0;
    }

    void integralTypes()
    {
        QFETCH(int, typeId);
        QFETCH(bool, integral);
        QFETCH(bool, isSigned);
        QFETCH(int, bits);
        const std::optional<IntegralType> kind = integralType(typeId);
        QCOMPARE(kind.has_value(), integral);
        if (kind) {
            QCOMPARE(kind->isSigned, isSigned);
            QCOMPARE(kind->bits, bits);
        }
    }

    void separatorsComeFromTheSettings()
    {
        QCOMPARE(Format(u"%.2n"_s, { 1234.5 }, TFormatSettings { u',', u'.' }), u"1.234,50"_s);
    }

    void errors_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("message");

        const auto missing = [](const QString &f) { return u"No argument for format '%1'"_s.arg(f); };
        const auto invalid
            = [](const QString &f) { return u"Format '%1' invalid or incompatible with argument"_s.arg(f); };
        QTest::newRow("no argument at all") << u"Datei %s"_s << QVariantList {} << missing(u"Datei %s"_s);
        QTest::newRow("too few arguments") << u"%s %s"_s << QVariantList { u"a"_s } << missing(u"%s %s"_s);
        QTest::newRow("index beyond the arguments")
            << u"%2:s"_s << QVariantList { u"a"_s } << missing(u"%2:s"_s);
        QTest::newRow("string for %d") << u"%d"_s << QVariantList { u"12"_s } << invalid(u"%d"_s);
        QTest::newRow("integer for %s") << u"%s"_s << QVariantList { 42 } << invalid(u"%s"_s);
        QTest::newRow("integer for %f") << u"%f"_s << QVariantList { 1 } << invalid(u"%f"_s);
        QTest::newRow("float for %d") << u"%d"_s << QVariantList { 1.5 } << invalid(u"%d"_s);
        QTest::newRow("bool for %s") << u"%s"_s << QVariantList { true } << invalid(u"%s"_s);
        QTest::newRow("null value") << u"%s"_s << QVariantList { QVariant() } << invalid(u"%s"_s);
        QTest::newRow("percent at the end") << u"abc %"_s << QVariantList {} << invalid(u"abc %"_s);
        QTest::newRow("unknown type letter") << u"%k"_s << QVariantList { 1 } << invalid(u"%k"_s);
        QTest::newRow("string as width") << u"%*d"_s << QVariantList { u"x"_s, 1 } << invalid(u"%*d"_s);
    }

    void errors()
    {
        QFETCH(QString, format);
        QFETCH(QVariantList, args);
        QFETCH(QString, message);
        try {
            const QString out = Format(format, args);
            QFAIL(qPrintable(u"no error, result: "_s + out));
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), message);
        }
    }
};

QTEST_GUILESS_MAIN(TestFormat)
#include "tst_format.moc"
