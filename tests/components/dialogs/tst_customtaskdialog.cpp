// The service's task dialog: custom main icons from an image list or a PNG image, and the button
// font that every service dialog and each widget in it wears.

#include "components/dialogs/zc_customtaskdialog.h"
#include "components/dialogs/zc_dialogs.h"
#include "tests/support/dialogdriver.h"

#include <QCheckBox>
#include <QImage>
#include <QMainWindow>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QIcon colourIcon(Qt::GlobalColor colour)
{
    QPixmap p(16, 16);
    p.fill(colour);
    return QIcon(p);
}

QRgb iconColour(const QIcon &icon)
{
    return icon.pixmap(16, 16).toImage().pixel(8, 8);
}

struct FontShot
{
    QFont dialog;
    QList<QFont> plain; // every widget inside except the main instruction
    QFont instruction;
};

// Shows a service dialog and records the fonts of its window.
FontShot showAndRecordFonts()
{
    FontShot shot;
    ModalDialogDriver driver([&](QDialog *d) {
        shot.dialog = d->font();
        for (QWidget *w : d->findChildren<QWidget *>()) {
            if (w->objectName() == u"MainInstruction"_s)
                shot.instruction = w->font();
            else
                shot.plain << w->font();
        }
        pressButton(d, u"OK"_s);
    });
    Tzc_Dialogs::MessageDlg(u"Headline"_s, u"Text"_s, mtInformation, { mbOK }, 0, QString(), {}, 0, nullptr);
    return shot;
}

} // namespace

class TestCustomTaskDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void iconFromImageList_data()
    {
        QTest::addColumn<bool>("withList");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("taken");
        QTest::newRow("first image") << true << 0 << true;
        QTest::newRow("last image") << true << 2 << true;
        QTest::newRow("index -1") << true << -1 << false;
        QTest::newRow("index equal to the count") << true << 3 << false;
        QTest::newRow("no list") << false << 0 << false;
    }

    void iconFromImageList()
    {
        QFETCH(bool, withList);
        QFETCH(int, index);
        QFETCH(bool, taken);
        const TCustomImageList list = { colourIcon(Qt::red), colourIcon(Qt::green), colourIcon(Qt::blue) };
        Tzc_CustomTaskDialog dlg;
        dlg.SetCustomMainIcon(colourIcon(Qt::yellow));
        QCOMPARE(dlg.IconFromImageList(withList ? &list : nullptr, index), taken);
        QCOMPARE(dlg.Flags().testFlag(tfUseHiconMain), taken);
        QCOMPARE(
            iconColour(dlg.CustomMainIcon()), iconColour(taken ? list.at(index) : colourIcon(Qt::yellow)));
    }

    void iconFromPng()
    {
        Tzc_CustomTaskDialog dlg;
        QVERIFY(!dlg.IconFromPng(nullptr));
        QVERIFY(!dlg.Flags().testFlag(tfUseHiconMain));
        QVERIFY(dlg.CustomMainIcon().isNull());

        QImage png(16, 16, QImage::Format_ARGB32);
        png.fill(QColor(0, 0, 255, 128));
        QVERIFY(dlg.IconFromPng(&png));
        QVERIFY(dlg.Flags().testFlag(tfUseHiconMain));
        QCOMPARE(QColor::fromRgba(iconColour(dlg.CustomMainIcon())).alpha(), 128);
    }

    void customIconIsShown()
    {
        const TUnitRun units { &zc_DialogsUnit };
        const TCustomImageList list = { colourIcon(Qt::red) };
        QRgb shown = 0;
        ModalDialogDriver driver([&](QDialog *d) {
            auto *icon = d->findChild<QLabel *>(u"Icon"_s);
            shown = icon->pixmap().toImage().pixel(4, 4);
            pressButton(d, u"OK"_s);
        });
        Tzc_Dialogs::MessageDlg(u"Icon"_s, u"Text"_s, mtConfirmation, { mbOK }, 0, QString(), {}, 0,
            [&](Tzc_CustomTaskDialog *dialog) { dialog->IconFromImageList(&list, 0); });
        QCOMPARE(shown, QColor(Qt::red).rgb());
    }

    void buttonFontIsTheMainWindowsFont()
    {
        const TUnitRun units { &zc_DialogsUnit };
        QMainWindow main;
        QFont mainFont(u"Courier New"_s, 17);
        main.setFont(mainFont);
        const FontShot shot = showAndRecordFonts();
        QCOMPARE(Tzc_Dialogs::GetButtonFont().family(), u"Courier New"_s);
        QCOMPARE(shot.dialog.pointSize(), 17);
        QVERIFY(!shot.plain.isEmpty());
        for (const QFont &f : shot.plain) {
            QCOMPARE(f.family(), u"Courier New"_s);
            QCOMPARE(f.pointSize(), 17);
        }
        // The headline keeps its emphasis in the new face.
        QCOMPARE(shot.instruction.family(), u"Courier New"_s);
        QVERIFY(shot.instruction.bold());
        QVERIFY(shot.instruction.pointSizeF() > 17);
    }

    void dialogBeforeTheMainWindowKeepsTheDefaultFont()
    {
        const TUnitRun units { &zc_DialogsUnit };
        const QFont standard = QApplication::font();
        QVERIFY(standard.pointSize() != 17);
        QCOMPARE(showAndRecordFonts().dialog.pointSize(), standard.pointSize());
        QMainWindow main;
        main.setFont(QFont(u"Courier New"_s, 17));
        const FontShot later = showAndRecordFonts();
        QCOMPARE(later.dialog.pointSize(), standard.pointSize());
        QCOMPARE(later.dialog.family(), standard.family());
    }
};

QTEST_MAIN(TestCustomTaskDialog)
#include "tst_customtaskdialog.moc"
