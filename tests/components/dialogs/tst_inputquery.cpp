// The one-line input form: Enter and Escape, the typing limit, the layout around a wrapped prompt,
// and the main scaler's share of its size.

#include "components/appservices/xprocs_display.h"
#include "components/appservices/xprocs_params.h"
#include "components/dialogs/zc_dialogs.h"
#include "components/scaling/zc_scale.h"
#include "tests/support/dialogdriver.h"

#include <QClipboard>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct FormSnapshot
{
    QSize client;
    QRect prompt, edit, ok, cancel;
    int promptMaxWidth = 0;
    QString editText;
    bool allSelected = false;
    QString okCaption, cancelCaption;
    bool okDefault = false;
    QString caption;
};

FormSnapshot snapshot(QDialog *d)
{
    FormSnapshot s;
    s.client = d->size();
    s.caption = d->windowTitle();
    auto *prompt = d->findChild<QLabel *>(u"Prompt"_s);
    auto *edit = d->findChild<QLineEdit *>(u"Edit"_s);
    auto *ok = d->findChild<QPushButton *>(u"OK"_s);
    auto *cancel = d->findChild<QPushButton *>(u"Cancel"_s);
    if (!prompt || !edit || !ok || !cancel)
        return s;
    s.prompt = prompt->geometry();
    s.edit = edit->geometry();
    s.ok = ok->geometry();
    s.cancel = cancel->geometry();
    s.editText = edit->text();
    s.allSelected = edit->selectedText() == edit->text();
    s.okCaption = ok->text();
    s.cancelCaption = cancel->text();
    s.okDefault = ok->isDefault();
    return s;
}

} // namespace

class TestInputQuery : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TUnitRun> m_units;
    std::unique_ptr<TApplicationParamList> m_params;

    // Runs InputQuery while handler drives the form; returns its result.
    bool run(const QString &prompt, QString &value, const std::function<void(QDialog *)> &handler,
        FormSnapshot *seen = nullptr)
    {
        ModalDialogDriver driver([&](QDialog *d) {
            if (seen)
                *seen = snapshot(d);
            handler(d);
        });
        const bool result = Tzc_Dialogs::InputQuery(u"Eingabe"_s, prompt, value);
        [&] { QCOMPARE(driver.seen(), 1); }();
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        SetSettingsFolder(m_dir.filePath(u"settings"_s));
        qputenv("TMP", QFile::encodeName(m_dir.path()));
        qunsetenv("ORIGIN_TEMP");
        TApplicationParamList::InitializeClass();
        m_params = std::make_unique<TApplicationParamList>(QStringList(), m_dir.filePath(u"tool"_s));
        m_units = std::make_unique<TUnitRun>(
            std::initializer_list<const TUnit *> { &xProcsDisplayUnit, &zc_ScaleUnit, &zc_DialogsUnit });
    }

    void cleanupTestCase()
    {
        m_units.reset();
        m_params.reset();
        TApplicationParamList::FinalizeClass();
        SetSettingsFolder(QString());
    }

    void answers_data()
    {
        QTest::addColumn<QString>("typed"); // replaces the selected old text
        QTest::addColumn<int>("key"); // Enter, Escape, or 0: click the button named in "button"
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("value");

        QTest::newRow("Escape cancels, old text kept")
            << u"neu"_s << int(Qt::Key_Escape) << QString() << false << u"alt"_s;
        QTest::newRow("Enter confirms the edited text")
            << u"neu"_s << int(Qt::Key_Return) << QString() << true << u"neu"_s;
        QTest::newRow("Enter without typing keeps the text")
            << QString() << int(Qt::Key_Return) << QString() << true << u"alt"_s;
        QTest::newRow("OK button confirms") << u"neu"_s << 0 << u"OK"_s << true << u"neu"_s;
        QTest::newRow("Cancel button cancels") << u"neu"_s << 0 << u"Cancel"_s << false << u"alt"_s;
    }
    void answers()
    {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QString, button);
        QFETCH(bool, result);
        QFETCH(QString, value);

        QString v = u"alt"_s;
        FormSnapshot s;
        const bool r = run(
            u"Name:"_s, v,
            [&](QDialog *d) {
                auto *edit = d->findChild<QLineEdit *>(u"Edit"_s);
                if (!typed.isEmpty())
                    QTest::keyClicks(edit, typed);
                if (key)
                    QTest::keyClick(edit, Qt::Key(key));
                else
                    pressButton(d, button);
            },
            &s);
        QCOMPARE(r, result);
        QCOMPARE(v, value);
        QCOMPARE(s.caption, u"Eingabe"_s);
        QCOMPARE(s.editText, u"alt"_s);
        QVERIFY(s.allSelected);
        QCOMPARE(s.okCaption, u"OK"_s);
        QCOMPARE(s.cancelCaption, u"Cancel"_s);
        QVERIFY(s.okDefault);
    }

    void typingLimit_data()
    {
        QTest::addColumn<int>("initial"); // length of the value given
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("backspaces");
        QTest::addColumn<bool>("paste"); // "typed" goes in through the clipboard
        QTest::addColumn<int>("length"); // of the value returned

        QTest::newRow("typing stops at 255") << 250 << u"0123456789"_s << 0 << false << 255;
        QTest::newRow("pasting is cut to fit") << 250 << u"0123456789"_s << 0 << true << 255;
        QTest::newRow("a longer value is shown and kept in full") << 300 << QString() << 0 << false << 300;
        QTest::newRow("a longer value does not grow") << 300 << u"xyz"_s << 0 << false << 300;
        QTest::newRow("a longer value may be shortened") << 300 << QString() << 2 << false << 298;
        QTest::newRow("shortened below the limit, typing goes on to it")
            << 256 << u"abc"_s << 3 << false << 255;
    }
    void typingLimit()
    {
        QFETCH(int, initial);
        QFETCH(QString, typed);
        QFETCH(int, backspaces);
        QFETCH(bool, paste);
        QFETCH(int, length);

        QString start;
        for (int i = 0; i < initial; ++i)
            start += QChar(u'a' + i % 26);
        QString v = start;
        FormSnapshot s;
        const bool r = run(
            u"Text:"_s, v,
            [&](QDialog *d) {
                auto *edit = d->findChild<QLineEdit *>(u"Edit"_s);
                edit->end(false);
                for (int i = 0; i < backspaces; ++i)
                    QTest::keyClick(edit, Qt::Key_Backspace);
                if (paste) {
                    QGuiApplication::clipboard()->setText(typed);
                    edit->paste();
                } else {
                    QTest::keyClicks(edit, typed);
                }
                QTest::keyClick(edit, Qt::Key_Return);
            },
            &s);
        QVERIFY(r);
        QCOMPARE(s.editText, start);
        QCOMPARE(v.size(), length);
        const QString kept = start.left(std::min(initial - backspaces, length));
        QCOMPARE(v, kept + typed.left(length - kept.size()));
    }

    void longPromptWrapsAndMovesTheRestDown()
    {
        QString v;
        FormSnapshot shortForm;
        run(
            u"Name:"_s, v, [](QDialog *d) { d->reject(); }, &shortForm);
        QString longPrompt;
        for (int i = 0; i < 40; ++i)
            longPrompt += u"Bitte geben Sie hier den Namen ein. "_s;
        FormSnapshot longForm;
        run(
            longPrompt, v, [](QDialog *d) { d->reject(); }, &longForm);

        // The prompt keeps within the edit box's width and wraps into several lines.
        QVERIFY(longForm.prompt.width() <= longForm.edit.width());
        QVERIFY(longForm.prompt.height() > 3 * shortForm.prompt.height());
        const int grown = longForm.prompt.height() - shortForm.prompt.height();
        QCOMPARE(longForm.edit.top(), shortForm.edit.top() + grown);
        QCOMPARE(longForm.ok.top(), shortForm.ok.top() + grown);
        QCOMPARE(longForm.cancel.top(), shortForm.cancel.top() + grown);
        QCOMPARE(longForm.client.height(), shortForm.client.height() + grown);
        QCOMPARE(longForm.client.width(), shortForm.client.width());
        // The gaps of the layout: 5 below the prompt, 15 below the edit, 13 below the buttons.
        for (const FormSnapshot &f : { shortForm, longForm }) {
            QCOMPARE(f.edit.top(), f.prompt.bottom() + 1 + 5);
            QCOMPARE(f.ok.top(), f.edit.bottom() + 1 + 15);
            QCOMPARE(f.client.height(), f.cancel.bottom() + 1 + 13);
            QCOMPARE(f.ok.top(), f.cancel.top());
            QCOMPARE(f.ok.size(), f.cancel.size());
            QVERIFY(f.ok.right() < f.cancel.left());
            QVERIFY(f.cancel.right() < f.client.width());
            QCOMPARE(f.prompt.left(), f.edit.left());
        }
    }

    void layoutFromCharacterSize()
    {
        // A character 6 wide and 13 high: the platform's dialog units.
        const TInputQueryLayout l = TInputQueryLayout::Calculate(6, 13, 13, 21);
        QCOMPARE(l.ClientWidth, 270);
        QCOMPARE(l.PromptLeft, 12);
        QCOMPARE(l.PromptTop, 13);
        QCOMPARE(l.PromptMaxWidth, 246);
        QCOMPARE(l.EditTop, 13 + 13 + 5);
        QCOMPARE(l.EditWidth, 246);
        QCOMPARE(l.ButtonTop, 31 + 21 + 15);
        QCOMPARE(l.ButtonWidth, 75);
        QCOMPARE(l.ButtonHeight, 23); // 22.75
        QCOMPARE(l.OkLeft, 57);
        QCOMPARE(l.CancelLeft, 138);
        QCOMPARE(l.ClientHeight, 67 + 23 + 13);
    }

    void mainScalerScalesTheForm()
    {
        QString v;
        FormSnapshot plain;
        run(
            u"Name:"_s, v, [](QDialog *d) { d->reject(); }, &plain);
        auto old = ReplaceMainScaler(std::make_unique<Tzc_ScalerWork>(true, 144));
        FormSnapshot scaled;
        run(
            u"Name:"_s, v, [](QDialog *d) { d->reject(); }, &scaled);
        ReplaceMainScaler(std::move(old));
        QCOMPARE(scaled.client.width(), MulDiv(plain.client.width(), 150, 100));
        QCOMPARE(scaled.ok.left(), MulDiv(plain.ok.left(), 150, 100));
        QCOMPARE(scaled.ok.width(), MulDiv(plain.ok.width(), 150, 100));
    }

    // The form is shown on the active window and goes with it: the call returns false with the old
    // text, also when OK was pressed in the same moment (the edited text went with the form), and
    // nothing of the form is touched after Qt deleted it.
    void parentDeletedWhileOpen_data()
    {
        QTest::addColumn<bool>("confirmFirst");
        QTest::newRow("window goes while the form waits") << false;
        QTest::newRow("OK pressed as the window went") << true;
    }

    void parentDeletedWhileOpen()
    {
        QFETCH(bool, confirmFirst);
        ParentThatGoes parent;
        QVERIFY(QTest::qWaitForWindowActive(parent.get()));
        bool onParent = false;
        QPointer<QDialog> seen;
        QString v = u"alt"_s;
        const bool r = run(u"Name:"_s, v, [&](QDialog *d) {
            seen = d;
            onParent = d->parentWidget() == parent.get();
            QTest::keyClicks(d->findChild<QLineEdit *>(u"Edit"_s), u"neu"_s);
            if (confirmFirst) {
                pressButton(d, u"OK"_s);
                parent.goNow();
            } else {
                parent.goLater();
            }
        });
        QVERIFY(!r);
        QCOMPARE(v, u"alt"_s);
        QVERIFY2(onParent, "the form was not shown on the active window");
        QVERIFY(!parent.alive());
        QVERIFY(!seen);
    }
};

QTEST_MAIN(TestInputQuery)
#include "tst_inputquery.moc"
