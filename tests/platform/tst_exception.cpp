// The message and class name of an exception, as the units, the error box, the queued calls and the
// dialog history report it.

#include "platform/exception.h"
#include "platform/exceptiontext.h"

#include <QTest>

#include <functional>
#include <new>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace pravik_test {
class ENamed : public Exception
{
public:
    using Exception::Exception;
};
template <class T> struct TBox
{
};
} // namespace pravik_test

Q_DECLARE_METATYPE(std::function<void()>)

class tst_Exception : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void currentMessage_data()
    {
        QTest::addColumn<std::function<void()>>("raise");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("details");
        QTest::newRow("own exception: its message, not its UTF-8 bytes")
            << std::function<void()>([] { throw Exception(u"Größe überschritten"_s); })
            << u"Größe überschritten"_s << QString();
        QTest::newRow("own exception with details") << std::function<void()>([] {
            Exception e(u"Kurz"_s);
            e.setDetails(u"Lang und breit"_s);
            throw e;
        }) << u"Kurz"_s << u"Lang und breit"_s;
        QTest::newRow("standard exception: what()")
            << std::function<void()>([] { throw std::runtime_error("disk full"); }) << u"disk full"_s
            << QString();
        QTest::newRow("out of memory")
            << std::function<void()>([] { throw std::bad_alloc(); }) << u"Out of memory."_s << QString();
        QTest::newRow("no std::exception: the caller's text")
            << std::function<void()>([] { throw 42; }) << u"nicht bekannt"_s << QString();
    }

    void currentMessage()
    {
        QFETCH(std::function<void()>, raise);
        QFETCH(QString, message);
        QFETCH(QString, details);
        QString seen = u"not caught"_s;
        QString seenDetails = u"not caught"_s;
        try {
            raise();
        } catch (...) {
            seen = CurrentExceptionMessage(u"nicht bekannt"_s);
            seenDetails = CurrentExceptionDetails();
        }
        QCOMPARE(seen, message);
        QCOMPARE(seenDetails, details);
    }

    void messageOfAnException()
    {
        const pravik_test::ENamed own(u"Eigene Ä"_s);
        const std::exception &asStd = own;
        QCOMPARE(ExceptionMessage(asStd), u"Eigene Ä"_s);
        QCOMPARE(ExceptionMessage(std::out_of_range("index 3")), u"index 3"_s);
    }

    void demangledTypeName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("standard class")
            << DemangledTypeName(typeid(std::runtime_error)) << u"std::runtime_error"_s;
        QTest::newRow("own class in a namespace")
            << DemangledTypeName(typeid(pravik_test::ENamed)) << u"pravik_test::ENamed"_s;
        QTest::newRow("template") << DemangledTypeName(typeid(pravik_test::TBox<int>))
                                  << u"pravik_test::TBox<int>"_s;
        QTest::newRow("dynamic type through a base reference") << [] {
            const pravik_test::ENamed e(u"x"_s);
            const std::exception &base = e;
            return DemangledTypeName(typeid(base));
        }() << u"pravik_test::ENamed"_s;
    }

    void demangledTypeName()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(name, expected);
    }
};

QTEST_GUILESS_MAIN(tst_Exception)
#include "tst_exception.moc"
