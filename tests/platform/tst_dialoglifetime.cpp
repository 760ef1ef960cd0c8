// A modal dialog whose parent goes while it is open (a timer, a queued delete, a window that closes
// itself): the call that showed it returns, with mrCancel or the result it had, and nothing touches
// the dialog after Qt deleted it with its parent. Run under AddressSanitizer this also shows that no
// freed memory is read.

#include "platform/dialogs.h"
#include "platform/taskdialog.h"
#include "tests/support/dialogdriver.h"

#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Shows a dialog of one kind on Parent and returns what the call returned.
using ShowDialog = std::function<int(QWidget *Parent)>;

int showTaskDialog(QWidget *parent)
{
    TCustomTaskDialog dialog;
    dialog.SetText(u"Weiter?"_s);
    dialog.AddButton(u"&Weiter"_s, 100);
    // The handlers must not run for a window that is gone.
    bool destroyedSeen = false;
    dialog.OnDialogDestroyed = [&](TCustomTaskDialog *) { destroyedSeen = true; };
    if (!dialog.Execute(parent))
        return -100;
    return destroyedSeen ? dialog.ModalResult() : -200;
}

int showMessageDialog(QWidget *)
{
    return MessageDlgPosHelp(
        u"Speichern?"_s, mtConfirmation, { mbYes, mbNo, mbCancel }, 0, -1, -1, QString());
}

int showTaskMessageDialog(QWidget *)
{
    return TaskMessageDlgPosHelp(u"Speichern?"_s, u"Die Datei wurde geändert."_s, mtConfirmation,
        { mbYes, mbNo }, 0, -1, -1, QString());
}

int showCreatedMessageDialog(QWidget *)
{
    TDialogHolder<TMessageForm> form = CreateMessageDialog(u"Speichern?"_s, mtWarning, { mbYes, mbNo });
    const int result = form->ShowModal();
    return form ? -300 : result; // the holder must know the form is gone
}

} // namespace

Q_DECLARE_METATYPE(ShowDialog)

class TestDialogLifetime : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parentDeletedWhileOpen_data()
    {
        QTest::addColumn<ShowDialog>("show");
        QTest::addColumn<bool>("answerFirst"); // press Yes, then delete the parent in the same moment
        QTest::addColumn<int>("result");

        QTest::newRow("task dialog component") << ShowDialog(showTaskDialog) << false << mrCancel;
        QTest::newRow("message dialog") << ShowDialog(showMessageDialog) << false << mrCancel;
        QTest::newRow("task-message dialog") << ShowDialog(showTaskMessageDialog) << false << mrCancel;
        QTest::newRow("created message dialog") << ShowDialog(showCreatedMessageDialog) << false << mrCancel;
        QTest::newRow("task-message dialog answered as its parent went")
            << ShowDialog(showTaskMessageDialog) << true << mrYes;
        QTest::newRow("message dialog answered as its parent went")
            << ShowDialog(showMessageDialog) << true << mrYes;
        QTest::newRow("created message dialog answered as its parent went")
            << ShowDialog(showCreatedMessageDialog) << true << mrYes;
    }

    void parentDeletedWhileOpen()
    {
        QFETCH(ShowDialog, show);
        QFETCH(bool, answerFirst);
        QFETCH(int, result);

        auto *parent = new QWidget;
        parent->resize(400, 300);
        parent->show();
        parent->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(parent));
        QPointer<QWidget> parentAlive(parent);

        bool onParent = false;
        QPointer<QDialog> seen;
        ModalDialogDriver driver([&](QDialog *d) {
            seen = d;
            onParent = d->parentWidget() == parent;
            if (answerFirst) {
                pressButton(d, u"&Yes"_s);
                delete parent;
            } else {
                QTimer::singleShot(200, parent, [parent] { delete parent; });
            }
        });
        QCOMPARE(show(parent), result);
        QVERIFY2(onParent, "the dialog was not shown on the parent");
        QVERIFY(!parentAlive);
        QVERIFY(!seen);
    }

    void taskDialogFreedWhileOpen()
    {
        // The component goes with its owner while its window is open: Execute returns false and
        // touches nothing of it.
        auto *owner = new TComponent;
        auto *dialog = new TCustomTaskDialog(owner);
        dialog->SetText(u"Weiter?"_s);
        ModalDialogDriver driver([&](QDialog *) { QTimer::singleShot(200, [owner] { Free(owner); }); });
        QVERIFY(!dialog->Execute());
        QCOMPARE(driver.seen(), 1);
    }
};

QTEST_MAIN(TestDialogLifetime)
#include "tst_dialoglifetime.moc"
