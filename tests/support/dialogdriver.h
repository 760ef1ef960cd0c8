#pragma once
// Drives modal dialogs from tests, so that no test waits for a person: while a ModalDialogDriver
// lives, every modal dialog that comes up is handed once to its handler, which typically takes a
// DialogSnapshot and presses a button. A dialog still open after the driver's patience is closed
// with result 0, so that a broken test fails instead of hanging.
//
// Works with every dialog of the platform layer: message dialogs name their text label "Message",
// task dialogs "Content" and "MainInstruction"; push buttons carry the property "ModalResult".

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <functional>

struct DialogSnapshot
{
    QString caption;
    QString text; // "Message" or "Content", line breaks as "\n"
    QString instruction; // "MainInstruction" when visible, else empty
    QString details; // a "Details" label below the text, else empty
    QStringList buttons; // captions in order, "&" included
    QList<int> results; // the buttons' modal results, same order
    QString defaultButton; // caption of the default button, or empty
    QPoint position;

    static DialogSnapshot of(QDialog *d)
    {
        DialogSnapshot s;
        s.caption = d->windowTitle();
        s.position = d->pos();
        auto *text = d->findChild<QLabel *>(QStringLiteral("Message"));
        if (!text)
            text = d->findChild<QLabel *>(QStringLiteral("Content"));
        if (text)
            s.text = text->text();
        if (auto *ins = d->findChild<QLabel *>(QStringLiteral("MainInstruction")); ins && !ins->isHidden())
            s.instruction = ins->text();
        if (auto *details = d->findChild<QLabel *>(QStringLiteral("Details")))
            s.details = details->text();
        for (QPushButton *b : d->findChildren<QPushButton *>()) {
            if (b->isHidden())
                continue;
            s.buttons << b->text();
            s.results << b->property("ModalResult").toInt();
            if (b->isDefault())
                s.defaultButton = b->text();
        }
        return s;
    }
};

inline QPushButton *findButton(QDialog *d, const QString &caption)
{
    for (QPushButton *b : d->findChildren<QPushButton *>()) {
        if (b->text() == caption && !b->isHidden())
            return b;
    }
    return nullptr;
}

inline QPushButton *findButtonByResult(QDialog *d, int modalResult)
{
    for (QPushButton *b : d->findChildren<QPushButton *>()) {
        if (b->property("ModalResult").toInt() == modalResult && !b->isHidden())
            return b;
    }
    return nullptr;
}

// Presses the button with that caption; returns false when there is none.
inline bool pressButton(QDialog *d, const QString &caption)
{
    QPushButton *b = findButton(d, caption);
    if (b)
        b->click();
    return b != nullptr;
}

// An active window for a dialog to come up on, which goes while that dialog is open: at once in the
// dialog's handler (right after answering it), or from a timer while the dialog waits.
class ParentThatGoes
{
public:
    ParentThatGoes()
        : m_window(new QWidget)
    {
        m_window->resize(400, 300);
        m_window->show();
        m_window->activateWindow();
    }
    ~ParentThatGoes() { delete m_window.data(); }
    ParentThatGoes(const ParentThatGoes &) = delete;
    ParentThatGoes &operator=(const ParentThatGoes &) = delete;

    QWidget *get() const { return m_window.data(); }
    bool alive() const { return !m_window.isNull(); }
    void goNow() { delete m_window.data(); }
    void goLater()
    {
        QWidget *w = m_window.data();
        QTimer::singleShot(200, w, [w] { delete w; });
    }

private:
    QPointer<QWidget> m_window;
};

class ModalDialogDriver
{
public:
    using Handler = std::function<void(QDialog *)>;

    explicit ModalDialogDriver(Handler handler, int patienceMs = 10000)
        : m_handler(std::move(handler))
        , m_patience(patienceMs)
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }

    // Number of dialogs handed to the handler so far.
    int seen() const { return m_seen; }

private:
    void poll()
    {
        if (m_current && !m_current->isVisible())
            m_current = nullptr; // closed; shown again it counts as a new dialog
        auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!d || !d->isVisible())
            return;
        if (d != m_current) {
            m_current = d;
            m_openSince.start();
            ++m_seen;
            m_handler(d);
        } else if (m_openSince.elapsed() > m_patience) {
            qWarning("ModalDialogDriver: dialog \"%s\" still open, closing it", qPrintable(d->windowTitle()));
            d->done(0);
        }
    }

    Handler m_handler;
    int m_patience;
    QTimer m_timer;
    QPointer<QDialog> m_current;
    QElapsedTimer m_openSince;
    int m_seen = 0;
};
