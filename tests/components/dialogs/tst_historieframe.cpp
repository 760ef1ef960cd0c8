// The history view: the exact log text, newest first, refreshed through OnChangeHistorie, and the
// history kept whole while it is open.

#include "components/dialogs/zc_dialogs.h"
#include "components/dialogs/zc_historieframe.h"
#include "tests/support/unitsmain.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QWidget>

#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

const QString Dashes(73, QChar(0x2014));

THistorie &historie()
{
    return *Tzc_Dialogs::GetHistorie();
}

QString stamp(int index)
{
    return historie().Items(index).TimeStamp().toString(u"yyyy-MM-dd hh:mm:ss"_s);
}

} // namespace

class TestHistorieFrame : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { historie().Clear(); }

    void showsTheLogNewestFirst()
    {
        Tzc_Dialogs::AddToHistoryStack(u"Datei überschreiben?"_s, u"a\nb"_s, mtConfirmation, { mbYes, mbNo },
            mbNo, QString(), AnswerTypUser, mrNo);
        THistorieItem::Create(std::runtime_error("Platte voll"));
        Tzc_Dialogs::AddToHistoryStack(u"Weiter?"_s, QString(), mtConfirmation, { mbYes, mbNo }, mbYes,
            QString(), AnswerTypTimeOut, mrYes);

        QWidget owner;
        owner.resize(600, 400);
        THistorieFrame *view = historie().CreateView(&owner);
        const QString expected = QStringList({
                                                 stamp(0) + u" MessageDlg TimeOut Dialog"_s,
                                                 u"Weiter?"_s,
                                                 u"mrYes"_s,
                                                 Dashes,
                                                 stamp(1) + u" Exception"_s,
                                                 u"std::runtime_error"_s,
                                                 u"  Platte voll"_s,
                                                 u"Unbekannt 0"_s,
                                                 Dashes,
                                                 stamp(2) + u" MessageDlg Dialog"_s,
                                                 u"Datei überschreiben?"_s,
                                                 u"  a"_s,
                                                 u"  b"_s,
                                                 u"mrNo"_s,
                                                 Dashes,
                                             })
                                     .join(u'\n');
        QCOMPARE(view->Memo()->toPlainText(), expected);
    }

    void fillsItsOwnerReadOnly()
    {
        QWidget owner;
        owner.resize(600, 400);
        THistorieFrame *view = historie().CreateView(&owner);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        QCOMPARE(view->parentWidget(), &owner);
        QVERIFY(view->isVisible());
        QTRY_COMPARE(view->geometry(), owner.rect().adjusted(3, 3, -3, -3));
        QCOMPARE(view->Memo()->geometry(), view->rect());
        QVERIFY(view->Memo()->isReadOnly());
        QCOMPARE(view->Memo()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(view->Memo()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(view->Memo()->font().family(), u"Courier New"_s);
    }

    void refreshesOnlyThroughItsHandler()
    {
        QWidget owner;
        THistorieFrame *quiet = historie().CreateView(&owner);
        THistorieFrame *collecting = historie().CreateView(&owner);
        collecting->OnChangeHistorie = [](THistorieFrame *sender) { sender->Collect(); };
        Tzc_Dialogs::AddToHistoryStack(
            u"neu"_s, QString(), mtInformation, { mbOK }, mbOK, QString(), AnswerTypUser, mrOk);
        QVERIFY(quiet->Memo()->toPlainText().isEmpty());
        QVERIFY(
            collecting->Memo()->toPlainText().startsWith(stamp(0) + u" MessageDlg Dialog\nneu\nmrOK\n"_s));

        historie().Clear();
        QVERIFY(collecting->Memo()->toPlainText().isEmpty());
    }

    void aRaisingHandlerDoesNotStopTheNextView()
    {
        QWidget owner;
        THistorieFrame *broken = historie().CreateView(&owner);
        THistorieFrame *next = historie().CreateView(&owner);
        THistorieFrame *sender = nullptr;
        broken->OnChangeHistorie = [](THistorieFrame *) { throw std::runtime_error("handler broken"); };
        next->OnChangeHistorie = [&sender](THistorieFrame *s) {
            sender = s;
            s->Collect();
        };
        THistorieItem::Create(std::runtime_error("logged"));
        QCOMPARE(sender, next);
        QVERIFY(next->Memo()->toPlainText().contains(u"  logged"_s));
        QCOMPARE(historie().Count(), 1);
    }

    void clearEmptiesTheTextButNotTheHistory()
    {
        Tzc_Dialogs::AddToHistoryStack(
            u"x"_s, QString(), mtInformation, { mbOK }, mbOK, QString(), AnswerTypUser, mrOk);
        QWidget owner;
        THistorieFrame *view = historie().CreateView(&owner);
        QVERIFY(!view->Memo()->toPlainText().isEmpty());
        view->Clear();
        QVERIFY(view->Memo()->toPlainText().isEmpty());
        QCOMPARE(historie().Count(), 1);
    }

    void anOpenViewKeepsEveryEntry()
    {
        auto owner = std::make_unique<QWidget>();
        THistorieFrame *view = historie().CreateView(owner.get());
        view->OnChangeHistorie = [](THistorieFrame *) {};
        for (int i = 0; i < 1002; ++i)
            Tzc_Dialogs::AddToHistoryStack(
                QString::number(i), QString(), mtInformation, { mbOK }, mbOK, QString(), AnswerTypUser, mrOk);
        QCOMPARE(historie().Count(), 1002);
        view->Collect();
        QCOMPARE(view->Memo()->toPlainText().count(Dashes), 1002);

        owner.reset();
        QCOMPARE(THistorie::OpenViewCount(), 0);
        Tzc_Dialogs::AddToHistoryStack(
            u"after"_s, QString(), mtInformation, { mbOK }, mbOK, QString(), AnswerTypUser, mrOk);
        QCOMPARE(historie().Count(), 1001);
    }
};

static constexpr const TUnit *Units[] = { &zc_DialogsUnit };
PRAVIK_TEST_MAIN(TestHistorieFrame, Units)
#include "tst_historieframe.moc"
