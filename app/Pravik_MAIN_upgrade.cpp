// The window's upgrade of retired payment files: the action, the offer in the refusal, the preview
// and the save of the upgraded text as a new file, which is then opened and validated.

#include "Pravik_MAIN.h"
#include "upgradeform.h"

#include "components/messages/messagecntr.h"
#include "editor/xmleditor.h"
#include "legacy/messageversions.h"
#include "legacy/upgrade.h"
#include "platform/dialogbuilder.h"
#include "platform/dialogs.h"
#include "platform/filename.h"
#include "platform/textfile.h"
#include "platform/widgets/actions.h"
#include "validation/validationengine.h"
#include "validation/xmlservices.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QPushButton>

void TPravik_MAIN_Form::act_UpgradeUpdate(TAction *Sender)
{
    Sender->setEnabled(!FUpgradeTarget.isEmpty() && !XMLViewer->isBlank());
}

void TPravik_MAIN_Form::NoteUpgradeTarget(const QString &NamespaceUri)
{
    FUpgradeTarget = legacy::upgradeTarget(NamespaceUri);
}

void TPravik_MAIN_Form::ProbeUpgradeTarget(const QByteArray &Utf8)
{
    // The namespace stands at the top: the beginning of the text is enough to find it (at least its
    // first 65536 characters), cut before a character.
    qsizetype head = std::min<qsizetype>(Utf8.size(), 3 * 65536);
    while (head < Utf8.size() && head > 0 && (uchar(Utf8[head]) & 0xC0) == 0x80)
        --head;
    NoteUpgradeTarget(xmlservices::firstNamespace(Utf8.first(head)));
}

bool TPravik_MAIN_Form::ShowKnownMessage(const ESEPAXMLValidateException &E)
{
    const QString detail = legacy::refusalDetailGerman(E.namespaceUri());
    if (detail.isEmpty())
        return false;
    NoteUpgradeTarget(E.namespaceUri());
    // The refusal stays the dialog's message; what the file is comes below it, in the report and
    // in the status bar, and a file that can be upgraded offers it.
    setReport({ E.message(), detail });
    FStatusText = detail;
    ShowStatusMessage();
    const bool offer = !FUpgradeTarget.isEmpty();
    TDialogHolder<TMessageForm> dialog = CreateMessageDialog(
        E.message(), mtError, offer ? TMsgDlgButtons { mbOK, mbRetry } : TMsgDlgButtons { mbOK });
    SetMessageDetails(dialog.get(), detail);
    if (offer)
        dialog->Button(mbRetry)->setText(QStringLiteral("&Aktualisieren..."));
    const QPointer<TPravik_MAIN_Form> alive(this);
    if (dialog->ShowModal() == mrRetry && alive)
        act_UpgradeExecute();
    return true;
}

QString TPravik_MAIN_Form::ChooseUpgradeFile(const QString &Proposed)
{
    auto *dialog = new QFileDialog(this);
    dialog->setObjectName(QStringLiteral("UpgradeSaveDialog"));
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setOption(QFileDialog::DontConfirmOverwrite); // the window asks, with its own question
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    const QFileInfo proposed(Proposed);
    dialog->setDirectory(proposed.absolutePath());
    dialog->selectFile(proposed.fileName());
    const TDialogHolder<QFileDialog> held(dialog);
    if (ExecModal(dialog, QDialog::Rejected) != QDialog::Accepted || !held || held->selectedFiles().isEmpty())
        return QString();
    return resolveFileName(held->selectedFiles().constFirst());
}

void TPravik_MAIN_Form::act_UpgradeExecute()
{
    const QByteArray text = XMLViewer->textUtf8();
    SchemaCache cache;
    const legacy::UpgradeResult result = legacy::upgrade(text, cache);
    const QPointer<TPravik_MAIN_Form> alive(this);
    {
        const TDialogHolder<TUpgradeForm> preview(new TUpgradeForm(text, result, this));
        if (ExecModal(preview.get(), QDialog::Rejected) != QDialog::Accepted || !alive)
            return;
    }
    if (!result.passes())
        return;
    const QString proposed = FXMLFileName.isEmpty()
        ? legacy::defaultUpgradeName(QStringLiteral("upgraded.xml"), result.to)
        : legacy::defaultUpgradeName(FXMLFileName, result.to);
    const QString target = ChooseUpgradeFile(proposed);
    if (target.isEmpty() || !alive)
        return;
    if (!FXMLFileName.isEmpty() && QFileInfo(target) == QFileInfo(FXMLFileName))
        throw EFCreateError(QStringLiteral("Die Aktualisierung überschreibt nie ihre Quelldatei; bitte einen "
                                           "anderen Namen wählen."));
    if (fileNameExists(target)) {
        const int answer
            = MO_FileOverwrite->TaskMessageDlgFmt({ target }, mtWarning, { mbYes, mbNo }, 0, mbNo);
        if (!alive || answer != mrYes)
            return;
    }
    writeFileAtomically(target, result.text);
    if (!AskToSaveChanges())
        return;
    LoadXMLFile(target);
    DoValidate();
}
