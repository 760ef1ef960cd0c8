// Pictures of the dialog service's dialogs, to look at: shows each kind of dialog, takes its picture
// while it is open, answers it, and saves the pictures into the folder given on the command line:
// dialogs-timeout.png (countdown and progress bar), dialogs-remember.png (the check box of remembered
// answers), dialogs-error.png, dialogs-inputquery.png and dialogs-history.png (the history view of
// the dialogs before). Remembered answers go to a temporary folder, never to the user's settings.
//
//   QT_QPA_PLATFORM=offscreen dialogs_gallery <folder>

#include "components/appservices/xprocs_display.h"
#include "components/dialogs/zc_dialogs.h"
#include "components/dialogs/zc_historieframe.h"
#include "components/scaling/zc_scale.h"
#include "platform/settingsstore.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/picturefile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const TUnit *const Units[] = { &xProcsDisplayUnit, &zc_ScaleUnit, &zc_DialogsUnit };
const QString StoreKey = u"\\Software\\Zelk Software\\Galerie\\Dialogantworten"_s;
const QString Guid = u"{6F1C2A3B-0D4E-4F5A-8B6C-7D8E9FA0B1C2}"_s;

QStringList g_failures;

void fail(const QString &message)
{
    std::fprintf(stderr, "dialogs_gallery: %s\n", qPrintable(message));
    g_failures << message;
}

// Written whole or not at all.
void save(const QImage &picture, const QDir &folder, const QString &name)
{
    const QString fileName = folder.filePath(name);
    QString error;
    if (!WritePicture(picture, fileName, &error))
        return fail(error);
    std::printf("%s (%dx%d pixels)\n", qPrintable(QDir::toNativeSeparators(fileName)), picture.width(),
        picture.height());
}

// The window's picture under a plain title bar with its caption: a grab shows only what is inside
// the frame, and the caption is part of what the service sets.
QImage withCaption(QWidget *w)
{
    const QImage inside = w->grab().toImage();
    const qreal ratio = inside.devicePixelRatio();
    const QSizeF size = QSizeF(inside.size()) / ratio; // in the widget's own units from here on
    QFont font = w->font();
    font.setBold(true);
    const int bar = QFontMetrics(font).height() + 10;
    QImage picture((QSizeF(size.width() + 2, size.height() + bar + 1) * ratio).toSize(),
        QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(ratio);
    const QPalette palette = w->palette();
    QPainter p(&picture);
    p.fillRect(QRectF(QPointF(0, 0), QSizeF(picture.size()) / ratio), palette.color(QPalette::Dark));
    p.fillRect(QRectF(1, 1, size.width(), bar - 1), palette.color(QPalette::Highlight));
    p.setPen(palette.color(QPalette::HighlightedText));
    p.setFont(font);
    p.drawText(QRectF(9, 1, size.width() - 16, bar - 1), Qt::AlignVCenter | Qt::AlignLeft, w->windowTitle());
    p.drawImage(QPointF(1, bar), inside);
    return picture;
}

// Runs Show, which opens one modal dialog; AfterMs once it is up, takes its picture as Name and
// hands it to Answer.
void shoot(const QDir &folder, const QString &name, int afterMs, const std::function<void()> &show,
    const std::function<void(QDialog *)> &answer)
{
    bool taken = false;
    const QObject shot; // no picture is taken once this call has returned
    ModalDialogDriver driver(
        [&](QDialog *d) {
            QTimer::singleShot(afterMs, &shot, [&, d = QPointer<QDialog>(d)] {
                if (!d)
                    return;
                save(withCaption(d), folder, name);
                taken = true;
                answer(d);
            });
        },
        afterMs + 5000);
    show();
    if (!taken)
        fail(u"no dialog for %1"_s.arg(name));
}

void press(QDialog *d, int modalResult)
{
    if (QPushButton *b = findButtonByResult(d, modalResult))
        b->click();
    else
        d->done(0);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialogs_gallery <folder for the pictures>\n");
        return 2;
    }
    QTemporaryDir settings;
    if (!settings.isValid()) {
        std::fprintf(stderr, "dialogs_gallery: no temporary folder for the settings\n");
        return 1;
    }
    SetSettingsFolder(settings.path());
    const TUnitRun units(Units);
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Pravik"_s);
    const QDir folder(app.arguments().at(1));
    if (!QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "dialogs_gallery: the folder %s cannot be made\n", qPrintable(folder.path()));
        return 1;
    }
    Tzc_Dialogs::SetAutoAnswersRegistryCreate([] {
        auto store = std::make_unique<TRegistry>();
        store->OpenKey(StoreKey, true);
        return store;
    });
    // An answer already stored, written past the service: the notice after the first remembered
    // answer is not one of the pictures.
    {
        TRegistry store;
        store.OpenKey(StoreKey, true);
        store.WriteInteger(u"{00000000-0000-0000-0000-000000000001}"_s, mrOk);
    }

    // A quarter of the time gone: the bar has shrunk and the countdown shows a number below 10.
    shoot(
        folder, u"dialogs-timeout.png"_s, 2500,
        [] {
            Tzc_Dialogs::MessageDlg(u"Prüfung abgeschlossen"_s,
                u"Die Datei \"Lastschriften-Mai.xml\" ist gültig.\rSoll die nächste Datei geprüft werden?"_s,
                mtInformation, { mbOK, mbCancel }, 0, mbOK, QString(), {}, 10000, nullptr);
        },
        [](QDialog *d) { press(d, mrCancel); });

    shoot(
        folder, u"dialogs-remember.png"_s, 100,
        [] {
            Tzc_Dialogs::MessageDlg(u"Änderungen speichern?"_s,
                u"Die Datei \"Überweisungen.xml\" wurde geändert."_s, mtConfirmation,
                { mbYes, mbNo, mbCancel }, 0, mbYes, Guid, { mbYes, mbNo }, 0, nullptr);
        },
        [](QDialog *d) {
            if (auto *box = d->findChild<QCheckBox *>(u"Verification"_s))
                box->click();
            press(d, mrNo);
        });
    // Remembered: answered from the store without a dialog.
    if (Tzc_Dialogs::MessageDlg(u"Änderungen speichern?"_s,
            u"Die Datei \"Überweisungen.xml\" wurde geändert."_s, mtConfirmation, { mbYes, mbNo, mbCancel },
            0, mbYes, Guid, { mbYes, mbNo }, 0, nullptr)
        != mrNo)
        fail(u"the remembered answer was not given"_s);

    // A short time-out that runs out, for the history.
    {
        ModalDialogDriver patient([](QDialog *) {}, 5000);
        Tzc_Dialogs::MessageDlg(u"Weiter?"_s, u"Die Prüfung wird fortgesetzt."_s, mtConfirmation,
            { mbYes, mbNo }, 0, mbYes, QString(), {}, 1200, nullptr);
    }

    shoot(
        folder, u"dialogs-error.png"_s, 100,
        [] {
            Tzc_Dialogs::MessageDlg(u"Schema nicht gefunden"_s,
                u"Für den Namensraum \"urn:iso:std:iso:20022:tech:xsd:pain.002.001.03\" ist kein Schema "
                u"eingebettet.\rDie Datei wurde nicht geprüft."_s,
                mtError, { mbOK }, 0, mbOK, QString(), {}, 0, nullptr);
        },
        [](QDialog *d) { press(d, mrOk); });

    shoot(
        folder, u"dialogs-inputquery.png"_s, 100,
        [] {
            QString value = u"Lastschriften-Mai"_s;
            Tzc_Dialogs::InputQuery(u"Speichern unter"_s, u"Name der Kopie (ohne Endung):"_s, value);
        },
        [](QDialog *d) {
            if (auto *edit = d->findChild<QLineEdit *>(u"Edit"_s))
                edit->setText(u"Lastschriften-Juni"_s);
            press(d, mrOk);
        });

    try {
        throw EConvertError(u"'12,5x' ist kein gültiger Betrag"_s);
    } catch (const std::exception &e) {
        THistorieItem::Create(e);
    }
    {
        QWidget window;
        window.setWindowTitle(u"Dialoghistorie"_s);
        window.resize(700, 450);
        new THistorieFrame(&window); // fills the window
        window.show();
        QApplication::processEvents();
        save(withCaption(&window), folder, u"dialogs-history.png"_s);
    }

    Tzc_Dialogs::AutoAnswersReset();
    return g_failures.isEmpty() ? 0 : 1;
}
