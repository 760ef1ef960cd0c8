#pragma once
// The platform's dialog vocabulary: message types, buttons and button sets, modal results, and the
// one table that ties each button to its caption, object name and result. Needs no widgets, so that
// code which only speaks of dialogs (a queue of them, remembered answers) stays console-friendly.

#include <QString>
#include <QtGlobal>

#include <initializer_list>

enum TMsgDlgType
{
    mtWarning,
    mtError,
    mtInformation,
    mtConfirmation,
    mtCustom
};
enum TMsgDlgBtn
{
    mbYes,
    mbNo,
    mbOK,
    mbCancel,
    mbAbort,
    mbRetry,
    mbIgnore,
    mbAll,
    mbNoToAll,
    mbYesToAll,
    mbHelp,
    mbClose
};
constexpr int MsgDlgBtnCount = mbClose + 1;

// A set of buttons: bit n stands for button n.
class TMsgDlgButtons
{
public:
    constexpr TMsgDlgButtons() = default;
    constexpr TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons)
    {
        for (TMsgDlgBtn b : buttons)
            m_bits |= quint16(1u << b);
    }
    static constexpr TMsgDlgButtons FromBits(quint16 bits)
    {
        TMsgDlgButtons s;
        s.m_bits = bits;
        return s;
    }
    constexpr quint16 Bits() const { return m_bits; }
    constexpr bool Contains(TMsgDlgBtn b) const { return m_bits & (1u << b); }
    constexpr bool IsEmpty() const { return m_bits == 0; }
    constexpr bool operator==(const TMsgDlgButtons &) const = default;

private:
    quint16 m_bits = 0;
};

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;
constexpr TModalResult mrClose = 8;
constexpr TModalResult mrAll = 12;
constexpr TModalResult mrNoToAll = 13;
constexpr TModalResult mrYesToAll = 14;
// The Help button of a task-message dialog closes it with this result.
constexpr TModalResult mrTaskDialogHelp = -1;

// "&Yes", "&No", "OK", "Cancel", "&Abort", "&Retry", "&Ignore", "&All", "N&o to All", "Yes to &All",
// "&Help", "&Close".
QString MsgDlgButtonCaption(TMsgDlgBtn Button);
// The object name of the button's widget: "Yes", "No", "OK", ..., "NoToAll", "YesToAll", "Help", "Close".
QString MsgDlgButtonName(TMsgDlgBtn Button);
// The modal result a button closes a dialog with (Help: 0 in message dialogs, where it asks for help
// instead of closing).
TModalResult MsgDlgButtonResult(TMsgDlgBtn Button);
// The modal result a button closes a task dialog with: Help closes it too, with mrTaskDialogHelp.
TModalResult TaskDialogButtonResult(TMsgDlgBtn Button);
// The default button of a set when the caller names none, for every dialog of the platform and of
// the dialog service alike: OK, else Yes, else the lowest button of the set; Abort for an empty set.
TMsgDlgBtn DefaultMsgDlgButton(TMsgDlgButtons Buttons);
