#pragma once
// Tzc_Dialogs: the library's process-wide message-dialog service. It has no instances; its state
// (the dialog history) lives from the start of unit zc_Dialogs to its finish.

#include "components/dialogs/zc_dialogs_history.h"
#include "platform/units.h"

class Tzc_Dialogs
{
public:
    using THistorie = ::THistorie;
    using THistorieItem = ::THistorieItem;

    Tzc_Dialogs() = delete;

    // The process's history; null before the unit starts and after it finishes.
    static THistorie *GetHistorie();
    // Records a dialog. On the GUI thread the entry is created at once; from any other thread the
    // values are handed to the GUI thread without waiting, and the entry is stamped when it is created
    // there. Entries handed over are not lost when their thread object goes; they are dropped only
    // when the application or the history is already gone.
    static void AddToHistoryStack(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton, const QString &AGuid, quint8 AAnswerTyp,
        TModalResult AResult);

    // The canonical form of a dialog GUID: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case,
    // empty for a blank value. Raises EConvertError for a text that is not a braced GUID.
    static QString ParseGuid(const QString &AValue);
    // As ParseGuid, but a malformed GUID gives an empty result (the dialog then runs without
    // remembered answers); raises Exception "Ungültige GUID in Tzc_Dialogs.MessageDlg" when the text
    // parses yet is not already canonical.
    static QString CheckGuid(const QString &AValue);

private:
    friend void zc_DialogsStart();
    friend void zc_DialogsFinish();
    static THistorie *FHistorie;
    static int FUnitCount;
};

// Start: the empty history and its list of open views. Finish: both freed, errors swallowed.
extern const TUnit zc_DialogsUnit;
