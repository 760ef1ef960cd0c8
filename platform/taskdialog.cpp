#include "platform/taskdialog.h"

#include "platform/dialogbuilder.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

QIcon standardIcon(TTaskDialogIcon icon)
{
    switch (icon) {
    case tdiWarning:
        return MsgDlgTypeIcon(mtWarning);
    case tdiError:
        return MsgDlgTypeIcon(mtError);
    case tdiInformation:
        return MsgDlgTypeIcon(mtInformation);
    case tdiShield:
        return QApplication::style()->standardIcon(QStyle::SP_VistaShield);
    case tdiNone:
        break;
    }
    return {};
}

struct CommonButton
{
    TTaskDialogCommonButton flag;
    TMsgDlgBtn button;
};

// Shown after the custom buttons, in the platform's order.
constexpr CommonButton commonButtons[] = {
    { tcbOk, mbOK },
    { tcbYes, mbYes },
    { tcbNo, mbNo },
    { tcbRetry, mbRetry },
    { tcbCancel, mbCancel },
    { tcbClose, mbClose },
};

} // namespace

// The window of one Execute; lives only while the dialog is shown.
class TTaskDialogWindow : public QDialog
{
public:
    TTaskDialogWindow(TCustomTaskDialog *dialog, QWidget *parent)
        : QDialog(parent)
        , m_dialog(dialog)
    {
        auto *outer = new QVBoxLayout(this);
        auto *top = new QHBoxLayout;
        icon = new QLabel(this);
        icon->setObjectName(QStringLiteral("Icon"));
        top->addWidget(icon, 0, Qt::AlignTop);
        auto *texts = new QVBoxLayout;
        instruction = new QLabel(this);
        instruction->setObjectName(QStringLiteral("MainInstruction"));
        instruction->setTextFormat(Qt::PlainText);
        QFont f = instruction->font();
        f.setPointSizeF(f.pointSizeF() * 1.3);
        f.setBold(true);
        instruction->setFont(f);
        content = new QLabel(this);
        content->setObjectName(QStringLiteral("Content"));
        content->setTextFormat(Qt::PlainText);
        content->setWordWrap(true);
        texts->addWidget(instruction);
        texts->addWidget(content);
        top->addLayout(texts, 1);
        outer->addLayout(top);
        progress = new QProgressBar(this);
        progress->setObjectName(QStringLiteral("ProgressBar"));
        progress->setTextVisible(false);
        outer->addWidget(progress);
        verification = new QCheckBox(this);
        verification->setObjectName(QStringLiteral("Verification"));
        outer->addWidget(verification);
        buttonRow = new QHBoxLayout;
        buttonRow->addStretch(1);
        outer->addLayout(buttonRow);
        timer = new QTimer(this);
    }

    QPushButton *addButton(const QString &caption, int result, bool isDefault)
    {
        return AddDialogButton(this, buttonRow, caption, result, isDefault);
    }

    QLabel *icon;
    QLabel *instruction;
    QLabel *content;
    QProgressBar *progress;
    QCheckBox *verification;
    QHBoxLayout *buttonRow;
    QTimer *timer;

protected:
    void reject() override
    {
        if (m_dialog->Flags().testFlag(tfAllowDialogCancellation)
            || m_dialog->CommonButtons().testFlag(tcbCancel))
            m_dialog->buttonPressed(mrCancel, nullptr);
    }

    void showEvent(QShowEvent *event) override
    {
        QDialog::showEvent(event);
        if (event->spontaneous() || m_shown)
            return;
        m_shown = true;
        m_dialog->m_tickBase.start();
        m_dialog->applyFlags();
        if (m_dialog->OnDialogCreated) {
            auto handler = m_dialog->OnDialogCreated;
            m_dialog->runHandler([&] { handler(m_dialog); });
        }
    }

private:
    TCustomTaskDialog *m_dialog;
    bool m_shown = false;
};

void TTaskDialogButtonItem::SetCaption(const QString &Value)
{
    m_caption = Value;
    if (m_widget)
        m_widget->setText(Value);
}

void TTaskDialogButtonItem::SetDefault(bool Value)
{
    m_default = Value;
    if (m_widget)
        m_widget->setDefault(Value);
}

void TTaskDialogButtonItem::SetEnabled(bool Value)
{
    m_enabled = Value;
    if (m_widget)
        m_widget->setEnabled(Value);
}

void TTaskDialogButtonItem::Click()
{
    TCustomTaskDialog *dialog = m_dialog;
    auto press = [dialog, item = this] {
        // The item may have been dropped by ClearButtons meanwhile.
        for (int i = 0; i < dialog->ButtonCount(); ++i) {
            if (dialog->Buttons(i) == item && item->m_widget && dialog->Handle())
                item->m_widget->click();
        }
    };
    if (QThread::currentThread() == dialog->thread())
        press();
    else
        QMetaObject::invokeMethod(dialog, press, Qt::QueuedConnection);
}

TCustomTaskDialog::TCustomTaskDialog(TComponent *AOwner)
    : TComponent(AOwner)
{
}

TCustomTaskDialog::~TCustomTaskDialog()
{
    // Freed while its window is open (by its owner, from a handler): the window goes first, so that
    // none of its buttons or timers reaches this object again; Execute then returns false.
    delete m_window.data();
}

void TCustomTaskDialog::SetCaption(const QString &Value)
{
    m_caption = Value;
    if (m_window)
        m_window->setWindowTitle(Value);
}

void TCustomTaskDialog::SetTitle(const QString &Value)
{
    m_title = Value;
    updateText();
}

void TCustomTaskDialog::SetText(const QString &Value)
{
    m_text = Value;
    updateText();
}

void TCustomTaskDialog::SetVerificationText(const QString &Value)
{
    m_verificationText = Value;
    updateText();
}

void TCustomTaskDialog::SetFlags(TTaskDialogFlags Value)
{
    m_flags = Value;
    applyFlags();
}

void TCustomTaskDialog::SetPosition(int X, int Y)
{
    m_x = X;
    m_y = Y;
}

TTaskDialogButtonItem *TCustomTaskDialog::AddButton(const QString &Caption, int ModalResult, bool Default)
{
    m_buttons.push_back(std::unique_ptr<TTaskDialogButtonItem>(new TTaskDialogButtonItem(this)));
    TTaskDialogButtonItem *item = m_buttons.back().get();
    item->m_caption = Caption;
    item->m_modalResult = ModalResult;
    item->m_default = Default;
    return item;
}

TTaskDialogButtonItem *TCustomTaskDialog::FindButton(int ModalResult) const
{
    TTaskDialogButtonItem *found = nullptr;
    for (const auto &b : m_buttons) {
        if (b->m_modalResult == ModalResult)
            found = b.get();
    }
    return found;
}

void TCustomTaskDialog::ClearButtons()
{
    m_clicked = nullptr;
    for (const auto &b : m_buttons) {
        // An open window loses the buttons as well, so that no press reaches a dropped item.
        if (QPushButton *w = b->m_widget) {
            QObject::disconnect(w, nullptr, this, nullptr);
            w->hide();
            w->deleteLater();
        }
    }
    m_buttons.clear();
}

void TCustomTaskDialog::SetProgressBar(const TTaskDialogProgressBar &Value)
{
    m_progress = Value;
    applyFlags();
}

void TCustomTaskDialog::SetProgressPosition(int Value)
{
    m_progress.Position = Value;
    applyFlags();
}

void TCustomTaskDialog::SetTimerInterval(int Value)
{
    m_timerInterval = std::max(1, Value);
    applyFlags();
}

QDialog *TCustomTaskDialog::Handle() const
{
    return m_window.data();
}

void TCustomTaskDialog::updateText()
{
    auto *w = static_cast<TTaskDialogWindow *>(m_window.data());
    if (!w)
        return;
    w->instruction->setText(DialogDisplayText(m_title));
    w->instruction->setVisible(!m_title.isEmpty());
    w->content->setText(DialogDisplayText(m_text));
    w->content->setVisible(!m_text.isEmpty());
    // Wide enough for the longest line (a path has no place to wrap), within most of the screen;
    // beyond that the text wraps between words.
    int widest = 0;
    for (const QString &line : w->content->text().split(u'\n'))
        widest = std::max(widest, w->content->fontMetrics().horizontalAdvance(line));
    const QScreen *screen = w->screen();
    const int room = screen ? screen->availableGeometry().width() * 3 / 4 : widest;
    w->content->setMinimumWidth(std::min(widest + 2, room));
    w->verification->setText(m_verificationText);
    w->verification->setVisible(!m_verificationText.isEmpty());
}

void TCustomTaskDialog::applyFlags()
{
    auto *w = static_cast<TTaskDialogWindow *>(m_window.data());
    if (!w)
        return;
    const bool marquee = m_flags.testFlag(tfShowMarqueeProgressBar);
    w->progress->setVisible(marquee || m_flags.testFlag(tfShowProgressBar));
    if (marquee) {
        w->progress->setRange(0, 0);
    } else {
        w->progress->setRange(m_progress.Min, m_progress.Max);
        w->progress->setValue(m_progress.Position);
    }
    {
        const QSignalBlocker block(w->verification);
        w->verification->setChecked(m_flags.testFlag(tfVerificationFlagChecked));
    }
    w->setLayoutDirection(m_flags.testFlag(tfRtlLayout) ? Qt::RightToLeft : Qt::LeftToRight);
    w->timer->setInterval(m_timerInterval);
    const bool run = m_flags.testFlag(tfCallbackTimer) && m_tickBase.isValid();
    if (run && !w->timer->isActive())
        w->timer->start();
    else if (!run)
        w->timer->stop();
}

void TCustomTaskDialog::runHandler(const std::function<void()> &Handler)
{
    // No exception may cross the modal loop: keep the first, close, and rethrow from Execute.
    try {
        Handler();
    } catch (...) {
        if (!m_pending)
            m_pending = std::current_exception();
        if (m_window)
            m_window->done(0);
    }
}

void TCustomTaskDialog::buttonPressed(int ModalResult, TTaskDialogButtonItem *Item)
{
    if (!m_window || m_pending)
        return;
    bool canClose = true;
    if (OnButtonClicked) {
        auto handler = OnButtonClicked;
        runHandler([&] { handler(this, ModalResult, canClose); });
    }
    if (!canClose || m_pending || !m_window)
        return;
    m_modalResult = ModalResult;
    m_clicked = Item;
    m_window->done(ModalResult);
}

void TCustomTaskDialog::timerTick()
{
    if (!OnTimer || !m_window)
        return;
    // A copy: the handler may replace or clear OnTimer while it runs.
    auto handler = OnTimer;
    bool reset = false;
    const auto tick = quint32(m_tickBase.elapsed());
    runHandler([&] { handler(this, tick, reset); });
    if (reset)
        m_tickBase.restart();
}

bool TCustomTaskDialog::Execute(QWidget *ParentWnd)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()) || m_window)
        return false;
    RequireGuiThread();

    m_modalResult = 0;
    m_clicked = nullptr;
    m_pending = nullptr;
    m_tickBase.invalidate();

    const QPointer<TCustomTaskDialog> self(this);
    const TDialogHolder<TTaskDialogWindow> window(
        new TTaskDialogWindow(this, ParentWnd ? ParentWnd : QApplication::activeWindow()));
    m_window = window.get();
    struct Cleanup
    {
        const QPointer<TCustomTaskDialog> &d;
        ~Cleanup()
        {
            if (!d)
                return;
            for (const auto &b : d->m_buttons)
                b->m_widget = nullptr;
            d->m_window = nullptr;
            d->m_tickBase.invalidate();
        }
    } cleanup { self };

    window->setWindowTitle(m_caption);
    const QIcon icon = m_flags.testFlag(tfUseHiconMain) ? m_customMainIcon : standardIcon(m_mainIcon);
    window->icon->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(32, 32));
    window->icon->setVisible(!icon.isNull());
    for (const auto &b : m_buttons) {
        b->m_widget = window->addButton(b->m_caption, b->m_modalResult, b->m_default);
        b->m_widget->setEnabled(b->m_enabled);
        QObject::connect(b->m_widget, &QPushButton::clicked, this,
            [this, item = b.get(), result = b->m_modalResult] { buttonPressed(result, item); });
    }
    for (const CommonButton &c : commonButtons) {
        if (!m_commonButtons.testFlag(c.flag))
            continue;
        const TModalResult result = MsgDlgButtonResult(c.button);
        QPushButton *pb = window->addButton(MsgDlgButtonCaption(c.button), result, false);
        QObject::connect(pb, &QPushButton::clicked, this, [this, result] { buttonPressed(result, nullptr); });
    }
    QObject::connect(window->verification, &QCheckBox::toggled, this, [this](bool checked) {
        m_flags.setFlag(tfVerificationFlagChecked, checked);
        if (OnVerificationClicked) {
            auto handler = OnVerificationClicked;
            runHandler([&] { handler(this); });
        }
    });
    QObject::connect(window->timer, &QTimer::timeout, this, [this] { timerTick(); });
    updateText();
    applyFlags();
    PlaceDialog(window.get(), m_x, m_y);

    if (OnDialogConstructed) {
        auto handler = OnDialogConstructed;
        handler(this);
    }
    const int closedWith = ExecModal(window.get(), mrCancel);
    if (!self)
        return false; // freed while shown: nothing of it may be touched
    if (window) {
        window->timer->stop();
    } else if (!m_pending && m_modalResult == 0) {
        // The window went with its parent before any button closed it.
        m_modalResult = closedWith;
    }
    if (OnDialogDestroyed) {
        auto handler = OnDialogDestroyed;
        runHandler([&] { handler(this); });
    }
    if (m_pending)
        std::rethrow_exception(std::exchange(m_pending, nullptr));
    return true;
}
