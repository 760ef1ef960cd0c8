#include "components/dialogs/zc_customtaskdialog.h"

#include "components/panels/xgraphic_png.h"

#include <QFont>
#include <QImage>
#include <QWidget>

bool Tzc_CustomTaskDialog::IconFromImageList(const TCustomImageList *AImageList, int AIndex)
{
    if (!AImageList || AIndex < 0 || AIndex >= AImageList->size())
        return false;
    SetFlags(Flags() | tfUseHiconMain);
    SetCustomMainIcon(AImageList->at(AIndex));
    return true;
}

bool Tzc_CustomTaskDialog::IconFromPng(const QImage *APng)
{
    if (!APng)
        return false;
    SetFlags(Flags() | tfUseHiconMain);
    SetCustomMainIcon(PngToIcon(*APng, false, 0, 0));
    return true;
}

void ApplyDialogFont(QWidget *ADialogWindow, const QFont &AFont)
{
    if (!ADialogWindow)
        return;
    const QFont former = ADialogWindow->font();
    const QList<QWidget *> children = ADialogWindow->findChildren<QWidget *>();
    ADialogWindow->setFont(AFont);
    for (QWidget *child : children) {
        QFont font = AFont;
        // An emphasised label stays emphasised in the new face, else the headline looks like body text.
        if (child->testAttribute(Qt::WA_SetFont)) {
            const QFont own = child->font();
            font.setWeight(own.weight());
            if (former.pointSizeF() > 0 && own.pointSizeF() > 0 && AFont.pointSizeF() > 0)
                font.setPointSizeF(AFont.pointSizeF() * own.pointSizeF() / former.pointSizeF());
        }
        child->setFont(font);
    }
}
