#pragma once
// The dialog service's task dialog: the platform's task dialog with custom main icons from an image
// list or a PNG image, meant for the customising callback of Tzc_Dialogs::MessageDlg. The service
// makes one per dialog and gives its window the application's button font when it is constructed.

#include "platform/taskdialog.h"

#include <QIcon>
#include <QList>

class QFont;
class QImage;
class QWidget;

// An image list: the icons in their order.
using TCustomImageList = QList<QIcon>;

class Tzc_CustomTaskDialog : public TCustomTaskDialog
{
    Q_OBJECT

public:
    using TCustomTaskDialog::TCustomTaskDialog;

    // Shows the image at AIndex of the list as the custom main icon; false, and the icon unchanged,
    // without a list or for an index outside it.
    bool IconFromImageList(const TCustomImageList *AImageList, int AIndex);
    // Shows the PNG image as the custom main icon; false, and the icon unchanged, without an image.
    bool IconFromPng(const QImage *APng);
};

// Gives the dialog window and every widget inside it AFont. A widget with a font of its own (the
// main instruction) keeps its weight and its size relative to the dialog's former font.
void ApplyDialogFont(QWidget *ADialogWindow, const QFont &AFont);
