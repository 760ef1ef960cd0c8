#pragma once
// The input and folder dialogs of Tzc_Dialogs (InputQuery, SelectDirectory) are declared with the
// service; this header holds what their signatures need and the input form's sizes, which follow
// the form's average character size as the platform's dialog units do.

// Which monitor a form comes up on, in the platform's order.
enum TDefaultMonitor
{
    dmDesktop, // centred on the whole desktop
    dmPrimary, // the primary monitor
    dmMainForm, // the monitor of the application's main window
    dmActiveForm // the monitor of the active window
};

// The input form's layout before scaling, from the average character width X and height Y of its
// font and the height of the prompt once wrapped and of the edit box.
struct TInputQueryLayout
{
    int ClientWidth = 0;
    int PromptLeft = 0, PromptTop = 0, PromptMaxWidth = 0;
    int EditTop = 0, EditWidth = 0;
    int ButtonTop = 0, ButtonWidth = 0, ButtonHeight = 0;
    int OkLeft = 0, CancelLeft = 0;
    int ClientHeight = 0;

    static TInputQueryLayout Calculate(int X, int Y, int PromptHeight, int EditHeight);
};

// The most characters a user can type into the input box.
constexpr int InputQueryMaxLength = 255;
