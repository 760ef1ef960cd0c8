#pragma once
// The platform's task dialog: a non-visual component that holds the dialog's settings and, in
// Execute, builds a modal dialog window from them (main instruction, content, icon, push buttons
// with modal results, verification check box, progress bar, periodic timer). While the window is
// open, changes of the text, the progress bar, the flags and the buttons reach it at once.
//
// The window's widgets carry object names for tests and for customising handlers: "Icon",
// "MainInstruction", "Content", "ProgressBar", "Verification"; every push button has the dynamic
// property "ModalResult".

#include "platform/component.h"

#include <QElapsedTimer>
#include <QFlags>
#include <QIcon>
#include <QPointer>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

class QDialog;
class QPushButton;
class TCustomTaskDialog;

enum TTaskDialogFlag
{
    tfUseHiconMain = 0x1, // show CustomMainIcon instead of MainIcon
    tfAllowDialogCancellation = 0x2, // Esc and the close box answer mrCancel
    tfVerificationFlagChecked = 0x4, // the verification check box is (or starts) ticked
    tfShowProgressBar = 0x8,
    tfShowMarqueeProgressBar = 0x10,
    tfCallbackTimer = 0x20, // OnTimer runs periodically while the dialog is shown
    tfRtlLayout = 0x40,
};
Q_DECLARE_FLAGS(TTaskDialogFlags, TTaskDialogFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TTaskDialogFlags)

enum TTaskDialogIcon
{
    tdiNone,
    tdiWarning,
    tdiError,
    tdiInformation,
    tdiShield
};

enum TTaskDialogCommonButton
{
    tcbOk = 0x1,
    tcbYes = 0x2,
    tcbNo = 0x4,
    tcbCancel = 0x8,
    tcbRetry = 0x10,
    tcbClose = 0x20
};
Q_DECLARE_FLAGS(TTaskDialogCommonButtons, TTaskDialogCommonButton)
Q_DECLARE_OPERATORS_FOR_FLAGS(TTaskDialogCommonButtons)

// One custom push button. Owned by its dialog.
class TTaskDialogButtonItem
{
public:
    QString Caption() const { return m_caption; }
    void SetCaption(const QString &Value);
    int ModalResult() const { return m_modalResult; }
    void SetModalResult(int Value) { m_modalResult = Value; }
    bool Default() const { return m_default; }
    void SetDefault(bool Value);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool Value);
    // Presses the button of the open dialog, as the user would (OnButtonClicked runs, then the dialog
    // closes with ModalResult). Safe from any thread; does nothing while the dialog is not shown.
    void Click();

private:
    friend class TCustomTaskDialog;
    explicit TTaskDialogButtonItem(TCustomTaskDialog *Owner)
        : m_dialog(Owner)
    {
    }
    TCustomTaskDialog *m_dialog;
    QString m_caption;
    int m_modalResult = 0;
    bool m_default = false;
    bool m_enabled = true;
    QPointer<QPushButton> m_widget; // while the window is open
};

struct TTaskDialogProgressBar
{
    int Min = 0;
    int Max = 100;
    int Position = 0;
};

class TCustomTaskDialog : public TComponent
{
    Q_OBJECT

public:
    using TNotify = std::function<void(TCustomTaskDialog *Sender)>;
    using TButtonClicked = std::function<void(TCustomTaskDialog *Sender, int ModalResult, bool &CanClose)>;
    // TickCount: milliseconds since the dialog was shown, or since the handler last set Reset.
    using TTimer = std::function<void(TCustomTaskDialog *Sender, quint32 TickCount, bool &Reset)>;

    explicit TCustomTaskDialog(TComponent *AOwner = nullptr);
    ~TCustomTaskDialog() override;

    QString Caption() const { return m_caption; }
    void SetCaption(const QString &Value);
    // The main instruction; none is shown when empty.
    QString Title() const { return m_title; }
    void SetTitle(const QString &Value);
    QString Text() const { return m_text; }
    void SetText(const QString &Value);
    QString VerificationText() const { return m_verificationText; }
    void SetVerificationText(const QString &Value);

    TTaskDialogIcon MainIcon() const { return m_mainIcon; }
    void SetMainIcon(TTaskDialogIcon Value) { m_mainIcon = Value; }
    QIcon CustomMainIcon() const { return m_customMainIcon; }
    void SetCustomMainIcon(const QIcon &Value) { m_customMainIcon = Value; }

    TTaskDialogFlags Flags() const { return m_flags; }
    void SetFlags(TTaskDialogFlags Value);
    // Defaults to OK and Cancel, shown after the custom buttons.
    TTaskDialogCommonButtons CommonButtons() const { return m_commonButtons; }
    void SetCommonButtons(TTaskDialogCommonButtons Value) { m_commonButtons = Value; }
    int HelpContext() const { return m_helpContext; }
    void SetHelpContext(int Value) { m_helpContext = Value; }
    // Left and top edge of the window; negative: the platform's place (centred on the parent).
    void SetPosition(int X, int Y);

    // Custom push buttons, in the order they were added.
    TTaskDialogButtonItem *AddButton(const QString &Caption, int ModalResult, bool Default = false);
    int ButtonCount() const { return int(m_buttons.size()); }
    TTaskDialogButtonItem *Buttons(int Index) const { return m_buttons.at(size_t(Index)).get(); }
    // The custom button with that modal result (the last one added with it), or nullptr.
    TTaskDialogButtonItem *FindButton(int ModalResult) const;
    void ClearButtons();

    TTaskDialogProgressBar ProgressBar() const { return m_progress; }
    void SetProgressBar(const TTaskDialogProgressBar &Value);
    void SetProgressPosition(int Value);

    // Period of OnTimer in milliseconds (200 by default).
    int TimerInterval() const { return m_timerInterval; }
    void SetTimerInterval(int Value);

    // Shows the dialog modally on ParentWnd (else the active window) and returns true with
    // ModalResult set once it has closed; when the window goes with its parent before a button
    // closed it, ModalResult is mrCancel. Returns false when it cannot be shown (no widget
    // application, or already shown) and when the dialog itself is freed while shown. An exception
    // from one of the handlers closes the dialog and propagates from here. Raises Exception when
    // called on a thread other than the GUI thread.
    bool Execute(QWidget *ParentWnd = nullptr);
    int ModalResult() const { return m_modalResult; }
    // The custom button that closed the dialog, or nullptr.
    TTaskDialogButtonItem *Button() const { return m_clicked; }
    // The dialog window while it is open, else nullptr.
    QDialog *Handle() const;

    TNotify OnDialogConstructed; // the window is built, not yet shown
    TNotify OnDialogCreated; // the window has just been shown
    TNotify OnDialogDestroyed; // the window has closed and is about to go
    TButtonClicked OnButtonClicked;
    TTimer OnTimer;
    TNotify OnVerificationClicked;

private:
    friend class TTaskDialogButtonItem;
    friend class TTaskDialogWindow;
    void buttonPressed(int ModalResult, TTaskDialogButtonItem *Item);
    void timerTick();
    void runHandler(const std::function<void()> &Handler);
    void applyFlags();
    void updateText();

    QString m_caption;
    QString m_title;
    QString m_text;
    QString m_verificationText;
    TTaskDialogIcon m_mainIcon = tdiNone;
    QIcon m_customMainIcon;
    TTaskDialogFlags m_flags = tfAllowDialogCancellation;
    TTaskDialogCommonButtons m_commonButtons = TTaskDialogCommonButtons(tcbOk) | tcbCancel;
    int m_helpContext = 0;
    int m_x = -1;
    int m_y = -1;
    std::vector<std::unique_ptr<TTaskDialogButtonItem>> m_buttons;
    TTaskDialogProgressBar m_progress;
    int m_timerInterval = 200;
    int m_modalResult = 0;
    TTaskDialogButtonItem *m_clicked = nullptr;

    QPointer<QDialog> m_window;
    QElapsedTimer m_tickBase;
    std::exception_ptr m_pending;
};

using TTaskDialog = TCustomTaskDialog;
