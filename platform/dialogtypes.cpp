#include "platform/dialogtypes.h"

namespace {

struct ButtonInfo
{
    const char16_t *caption;
    const char *name;
    TModalResult result;
};

constexpr ButtonInfo buttonInfo[MsgDlgBtnCount] = {
    { u"&Yes", "Yes", mrYes },
    { u"&No", "No", mrNo },
    { u"OK", "OK", mrOk },
    { u"Cancel", "Cancel", mrCancel },
    { u"&Abort", "Abort", mrAbort },
    { u"&Retry", "Retry", mrRetry },
    { u"&Ignore", "Ignore", mrIgnore },
    { u"&All", "All", mrAll },
    { u"N&o to All", "NoToAll", mrNoToAll },
    { u"Yes to &All", "YesToAll", mrYesToAll },
    { u"&Help", "Help", mrNone },
    { u"&Close", "Close", mrClose },
};

} // namespace

QString MsgDlgButtonCaption(TMsgDlgBtn Button)
{
    return QString::fromUtf16(buttonInfo[Button].caption);
}

QString MsgDlgButtonName(TMsgDlgBtn Button)
{
    return QLatin1String(buttonInfo[Button].name);
}

TModalResult MsgDlgButtonResult(TMsgDlgBtn Button)
{
    return buttonInfo[Button].result;
}

TModalResult TaskDialogButtonResult(TMsgDlgBtn Button)
{
    return Button == mbHelp ? mrTaskDialogHelp : MsgDlgButtonResult(Button);
}

TMsgDlgBtn DefaultMsgDlgButton(TMsgDlgButtons Buttons)
{
    if (Buttons.Contains(mbOK))
        return mbOK;
    if (Buttons.Contains(mbYes))
        return mbYes;
    for (int b = mbYes; b <= mbClose; ++b) {
        if (Buttons.Contains(TMsgDlgBtn(b)))
            return TMsgDlgBtn(b);
    }
    return mbAbort;
}
