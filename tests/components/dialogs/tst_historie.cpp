// The dialog history: its entries, the log text, trimming and the telling of open views.

#include "components/dialogs/zc_dialogs_core.h"
#include "tests/support/unitsmain.h"

#include <QTest>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

const QString Dashes(73, QChar(0x2014));

class EHistorieTest : public Exception
{
public:
    using Exception::Exception;
};

// A view that only counts and may raise.
class TCountingView : public THistorieView
{
public:
    explicit TCountingView(QList<TCountingView *> *order = nullptr, bool raises = false)
        : m_order(order)
        , m_raises(raises)
    {
        THistorie::AddView(this);
    }
    ~TCountingView() override { THistorie::RemoveView(this); }
    void HistorieChanged() override
    {
        ++calls;
        if (m_order)
            m_order->append(this);
        if (m_raises)
            throw std::runtime_error("view broken");
    }
    int calls = 0;

private:
    QList<TCountingView *> *m_order;
    bool m_raises;
};

THistorie &historie()
{
    THistorie *h = Tzc_DialogsCore::GetHistorie();
    if (!h)
        throw std::logic_error("unit zc_Dialogs not started");
    return *h;
}

void addDialog(const QString &instruction, const QString &content = {}, quint8 answer = AnswerTypUser,
    TModalResult result = mrOk)
{
    Tzc_DialogsCore::AddToHistoryStack(
        instruction, content, mtConfirmation, { mbYes, mbNo }, mbYes, QString(), answer, result);
}

} // namespace

class TestHistorie : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { historie().Clear(); }

    void dialogEntryKeepsItsValues()
    {
        const QDateTime before = QDateTime::currentDateTime();
        THistorieItem *item = THistorieItem::Create(u"Speichern?"_s, u"Die Datei ist geändert."_s, mtWarning,
            { mbYes, mbNo, mbCancel }, mbCancel, u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"_s,
            AnswerTypAutomatic, mrNo);
        QCOMPARE(historie().Count(), 1);
        QCOMPARE(&historie().Items(0), item);
        QCOMPARE(item->HistorieType(), HistorieTypeDialog);
        QCOMPARE(item->Instruction(), u"Speichern?"_s);
        QCOMPARE(item->Content(), u"Die Datei ist geändert."_s);
        QCOMPARE(item->DlgType(), mtWarning);
        QCOMPARE(item->Buttons(), TMsgDlgButtons({ mbYes, mbNo, mbCancel }));
        QCOMPARE(item->DefaultButton(), mbCancel);
        QCOMPARE(item->Guid(), u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"_s);
        QCOMPARE(item->AnswerTyp(), AnswerTypAutomatic);
        QCOMPARE(item->Result(), mrNo);
        QVERIFY(item->TimeStamp() >= before.addMSecs(-before.time().msec()));
        QVERIFY(item->TimeStamp() <= QDateTime::currentDateTime());
    }

    void exceptionEntryKeepsClassAndMessage()
    {
        THistorieItem *item = THistorieItem::Create(EHistorieTest(u"Zugriff verweigert"_s));
        QCOMPARE(item->HistorieType(), HistorieTypeException);
        QCOMPARE(item->Instruction(), u"(anonymous namespace)::EHistorieTest"_s);
        QCOMPARE(item->Content(), u"Zugriff verweigert"_s);
        QCOMPARE(item->DlgType(), mtCustom);
        QVERIFY(item->Buttons().IsEmpty());
        QCOMPARE(item->DefaultButton(), mbAbort);
        QVERIFY(item->Guid().isEmpty());
        QCOMPARE(item->AnswerTyp(), AnswerTypNone);
        QCOMPARE(item->Result(), 0);

        THistorieItem *standard = THistorieItem::Create(std::runtime_error("disk full"));
        QCOMPARE(standard->Instruction(), u"std::runtime_error"_s);
        QCOMPARE(standard->Content(), u"disk full"_s);
    }

    void newestEntryComesFirst()
    {
        addDialog(u"first"_s);
        addDialog(u"second"_s);
        addDialog(u"third"_s);
        QCOMPARE(historie().Count(), 3);
        QCOMPARE(historie().Items(0).Instruction(), u"third"_s);
        QCOMPARE(historie().Items(2).Instruction(), u"first"_s);
        QVERIFY_THROWS_EXCEPTION(EArgumentOutOfRangeException, historie().Items(3));
        QVERIFY_THROWS_EXCEPTION(EArgumentOutOfRangeException, historie().Items(-1));
    }

    void logText_data()
    {
        QTest::addColumn<QString>("instruction");
        QTest::addColumn<QString>("content");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("headerEnd");
        QTest::addColumn<QStringList>("body");

        QTest::newRow("dialog answered by the user")
            << u"Datei speichern?"_s << u"Sie ist geändert."_s << int(AnswerTypUser) << mrYes
            << u" MessageDlg Dialog"_s
            << QStringList { u"Datei speichern?"_s, u"  Sie ist geändert."_s, u"mrYes"_s };
        QTest::newRow("dialog answered by time-out with Yes")
            << u"Weiter?"_s << QString() << int(AnswerTypTimeOut) << mrYes << u" MessageDlg TimeOut Dialog"_s
            << QStringList { u"Weiter?"_s, u"mrYes"_s };
        QTest::newRow("classic dialog: no instruction, joined text as content")
            << QString() << u"Hinweis. Datei fehlt."_s << int(AnswerTypOldStyle) << mrOk
            << u" MessageDlg OldStyle Dialog"_s << QStringList { u"  Hinweis. Datei fehlt."_s, u"mrOK"_s };
        QTest::newRow("dialog answered from the store")
            << u"Löschen?"_s << QString() << int(AnswerTypAutomatic) << mrNo
            << u" MessageDlg Automatisch beantworteter Dialog"_s << QStringList { u"Löschen?"_s, u"mrNo"_s };
        QTest::newRow("dialog that failed to show: no answer kind, result 0")
            << u"Kaputt"_s << QString() << int(AnswerTypNone) << 0 << u" MessageDlg"_s
            << QStringList { u"Kaputt"_s, u"Unbekannt 0"_s };
        QTest::newRow("content of two lines indented line by line")
            << QString() << u"a\nb"_s << int(AnswerTypUser) << mrCancel << u" MessageDlg Dialog"_s
            << QStringList { u"  a"_s, u"  b"_s, u"mrCancel"_s };
        QTest::newRow("instruction of two lines not indented")
            << u"eins\r\nzwei"_s << QString() << int(AnswerTypUser) << mrAbort << u" MessageDlg Dialog"_s
            << QStringList { u"eins"_s, u"zwei"_s, u"mrAbort"_s };
        QTest::newRow("carriage returns alone and an empty line inside")
            << QString() << u"a\r\rb\r"_s << int(AnswerTypUser) << mrRetry << u" MessageDlg Dialog"_s
            << QStringList { u"  a"_s, u"  "_s, u"  b"_s, u"mrRetry"_s };
        QTest::newRow("result without a name")
            << u"X"_s << QString() << int(AnswerTypUser) << 42 << u" MessageDlg Dialog"_s
            << QStringList { u"X"_s, u"Unbekannt 42"_s };
        QTest::newRow("negative result without a name")
            << u"X"_s << QString() << int(AnswerTypUser) << -1 << u" MessageDlg Dialog"_s
            << QStringList { u"X"_s, u"Unbekannt -1"_s };
    }

    void logText()
    {
        QFETCH(QString, instruction);
        QFETCH(QString, content);
        QFETCH(int, answer);
        QFETCH(int, result);
        QFETCH(QString, headerEnd);
        QFETCH(QStringList, body);

        addDialog(instruction, content, quint8(answer), result);
        const QDateTime stamp = historie().Items(0).TimeStamp();
        QStringList expected { stamp.toString(u"yyyy-MM-dd hh:mm:ss"_s) + headerEnd };
        expected += body;
        expected += Dashes;
        QCOMPARE(HistorieLines(historie()), expected);
    }

    void exceptionLogText()
    {
        THistorieItem::Create(EHistorieTest(u"Zeile eins\nZeile zwei"_s));
        const QString stamp = historie().Items(0).TimeStamp().toString(u"yyyy-MM-dd hh:mm:ss"_s);
        QCOMPARE(HistorieLines(historie()),
            QStringList({ stamp + u" Exception"_s, u"(anonymous namespace)::EHistorieTest"_s,
                u"  Zeile eins"_s, u"  Zeile zwei"_s, u"Unbekannt 0"_s, Dashes }));
    }

    void resultNames_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("name");
        const std::pair<int, const char16_t *> names[] = { { 1, u"mrOK" }, { 2, u"mrCancel" },
            { 3, u"mrAbort" }, { 4, u"mrRetry" }, { 5, u"mrIgnore" }, { 6, u"mrYes" }, { 7, u"mrNo" },
            { 8, u"mrClose" }, { 12, u"mrAll" }, { 13, u"mrNoToAll" }, { 14, u"mrYesToAll" },
            { 0, u"Unbekannt 0" }, { 9, u"Unbekannt 9" }, { 11, u"Unbekannt 11" }, { 15, u"Unbekannt 15" } };
        for (const auto &[result, name] : names)
            QTest::newRow(qPrintable(QString::fromUtf16(name))) << result << QString::fromUtf16(name);
    }

    void resultNames()
    {
        QFETCH(int, result);
        QFETCH(QString, name);
        QCOMPARE(HistorieResultName(result), name);
    }

    void trimsTheOldestBeyond1001WithNoViewOpen()
    {
        for (int i = 0; i < 1002; ++i)
            addDialog(QString::number(i));
        QCOMPARE(historie().Count(), 1001);
        QCOMPARE(historie().Items(0).Instruction(), u"1001"_s);
        QCOMPARE(historie().Items(1000).Instruction(), u"1"_s);
    }

    void keepsEverythingWhileAViewIsOpen()
    {
        {
            TCountingView view;
            for (int i = 0; i < 1002; ++i)
                addDialog(QString::number(i));
            QCOMPARE(historie().Count(), 1002);
            historie().GarbageCollect();
            QCOMPARE(historie().Count(), 1002);
            QCOMPARE(historie().Items(1001).Instruction(), u"0"_s);
        }
        // Once the view is closed the next entry trims down to the limit again.
        addDialog(u"after"_s);
        QCOMPARE(historie().Count(), 1001);
        QCOMPARE(historie().Items(1000).Instruction(), u"2"_s);
    }

    void aRaisingViewDoesNotStopTheNext()
    {
        QList<TCountingView *> order;
        TCountingView first(&order);
        TCountingView broken(&order, true);
        TCountingView last(&order);
        addDialog(u"x"_s);
        QCOMPARE(order, QList<TCountingView *>({ &first, &broken, &last }));
        THistorieItem::Create(std::runtime_error("logged"));
        QCOMPARE(last.calls, 2);
        QCOMPARE(historie().Count(), 2);
    }

    void clearRemovesAllAndTellsTheViews()
    {
        addDialog(u"a"_s);
        addDialog(u"b"_s);
        TCountingView view;
        historie().Clear();
        QCOMPARE(historie().Count(), 0);
        QCOMPARE(view.calls, 1);
        QVERIFY(HistorieLines(historie()).isEmpty());
    }

    void closedViewIsNoLongerTold()
    {
        auto *closed = new TCountingView;
        TCountingView open;
        QCOMPARE(THistorie::OpenViewCount(), 2);
        delete closed;
        QCOMPARE(THistorie::OpenViewCount(), 1);
        addDialog(u"x"_s);
        QCOMPARE(open.calls, 1);
    }

    void unitRunsAreCounted()
    {
        addDialog(u"kept"_s);
        THistorie *before = Tzc_DialogsCore::GetHistorie();
        {
            const TUnitRun again { &zc_DialogsCoreUnit };
            QCOMPARE(Tzc_DialogsCore::GetHistorie(), before);
        }
        QCOMPARE(Tzc_DialogsCore::GetHistorie(), before);
        QCOMPARE(historie().Items(0).Instruction(), u"kept"_s);
    }
};

static constexpr const TUnit *Units[] = { &zc_DialogsCoreUnit };
PRAVIK_TEST_GUILESS_MAIN(TestHistorie, Units)
#include "tst_historie.moc"
