#include "zc_dialogs_input.h"

#include "components/appservices/xprocs_display.h"
#include "components/dialogs/zc_dialogwidgets.h"
#include "components/scaling/zc_scale.h"
#include "platform/dialogbuilder.h"
#include "platform/numbers.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QValidator>

using namespace Qt::StringLiterals;

TInputQueryLayout TInputQueryLayout::Calculate(int X, int Y, int PromptHeight, int EditHeight)
{
    TInputQueryLayout l;
    l.ClientWidth = MulDiv(180, X, 4);
    l.PromptLeft = MulDiv(8, X, 4);
    l.PromptTop = MulDiv(8, Y, 8);
    l.PromptMaxWidth = MulDiv(164, X, 4);
    l.EditTop = l.PromptTop + PromptHeight + 5;
    l.EditWidth = MulDiv(164, X, 4);
    l.ButtonTop = l.EditTop + EditHeight + 15;
    l.ButtonWidth = MulDiv(50, X, 4);
    l.ButtonHeight = MulDiv(14, Y, 8);
    l.OkLeft = MulDiv(38, X, 4);
    l.CancelLeft = MulDiv(92, X, 4);
    l.ClientHeight = l.ButtonTop + l.ButtonHeight + 13;
    return l;
}

namespace {

// The platform's edit limit: typing and pasting stop at the limit, while a longer text put in by
// the program stays whole and may still be shortened (QLineEdit's maxLength would cut it). Set it
// after the text: it measures every change against the text before.
class TEditLimit : public QValidator
{
public:
    TEditLimit(QLineEdit *edit, int limit)
        : QValidator(edit)
        , m_limit(limit)
        , m_before(int(edit->text().size()))
    {
        connect(edit, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_before = int(text.size()); });
    }

    State validate(QString &input, int &pos) const override
    {
        const int excess = int(input.size()) - std::max(m_limit, m_before);
        if (excess > 0) {
            // Drop what does not fit of the text just inserted before the cursor.
            const int from = std::clamp(pos - excess, 0, int(input.size()) - excess);
            input.remove(from, excess);
            pos = from;
        }
        return Acceptable;
    }

private:
    int m_limit;
    int m_before;
};

QWidget *mainForm()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow *>(w) && w->isVisible())
            return w;
    }
    return QApplication::activeWindow();
}

QRect monitorArea(TDefaultMonitor monitor)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    QWidget *form = nullptr;
    switch (monitor) {
    case dmDesktop:
        return screen ? screen->virtualGeometry() : QRect();
    case dmPrimary:
        break;
    case dmMainForm:
        form = mainForm();
        break;
    case dmActiveForm:
        form = QApplication::activeWindow();
        break;
    }
    if (form && form->screen())
        screen = form->screen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

bool Tzc_DialogWidgets::InputQuery(
    const QString &ACaption, const QString &APrompt, QString &Value, TDefaultMonitor ADefaultMonitor)
{
    RequireGuiThread();
    // Pop-up mode automatic: modal for the active window, or on its own without one.
    const TDialogHolder<QDialog> form(new QDialog(QApplication::activeWindow()));
    form->setObjectName(u"InputQueryForm"_s);
    form->setWindowTitle(ACaption);
    ApplyFontGuideline(form.get(), QString(), -1);

    // Measured with the font the controls will draw with, the one the guideline chose.
    const QFontMetrics fm(form->font());
    const QString letters = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"_s;
    const int x = fm.horizontalAdvance(letters) / 52;
    const int y = fm.height();

    auto *prompt = new QLabel(APrompt, form.get());
    prompt->setObjectName(u"Prompt"_s);
    prompt->setTextFormat(Qt::PlainText);
    prompt->setWordWrap(true);
    const int maxWidth = MulDiv(164, x, 4);
    const QRect wrapped
        = fm.boundingRect(QRect(0, 0, maxWidth, 1 << 20), Qt::TextWordWrap | Qt::TextExpandTabs, APrompt);
    const int promptWidth = std::min(maxWidth, wrapped.width());
    const int promptHeight = std::max(wrapped.height(), prompt->heightForWidth(promptWidth));

    auto *edit = new QLineEdit(form.get());
    edit->setObjectName(u"Edit"_s);
    edit->setText(Value);
    edit->setValidator(new TEditLimit(edit, InputQueryMaxLength));
    edit->selectAll();

    const TInputQueryLayout l = TInputQueryLayout::Calculate(x, y, promptHeight, edit->sizeHint().height());
    prompt->setGeometry(l.PromptLeft, l.PromptTop, promptWidth, promptHeight);
    edit->setGeometry(l.PromptLeft, l.EditTop, l.EditWidth, edit->sizeHint().height());

    AddDialogButton(form.get(), nullptr, mbOK, true)
        ->setGeometry(l.OkLeft, l.ButtonTop, l.ButtonWidth, l.ButtonHeight);
    // Escape answers through reject(), which is not OK.
    AddDialogButton(form.get(), nullptr, mbCancel, false)
        ->setGeometry(l.CancelLeft, l.ButtonTop, l.ButtonWidth, l.ButtonHeight);
    form->resize(l.ClientWidth, l.ClientHeight);

    MainScaler()->ScaleFormIfNotScaled(form.get());
    form->setFixedSize(form->size());
    PlaceDialog(form.get(), monitorArea(ADefaultMonitor));
    EnsureFormVisible(form.get(), false);

    edit->setFocus();
    if (ExecModal(form.get(), mrCancel) != mrOk)
        return false;
    // ExecModal returns the result the form closed with even when the form went with its parent;
    // the text went with it then.
    if (!form)
        return false;
    Value = edit->text();
    return true;
}

namespace {

QString withTrailingSlash(const QString &folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

bool folderExists(const QString &folder)
{
    return !folder.isEmpty() && QFileInfo(folder).isDir();
}

} // namespace

bool Tzc_DialogWidgets::SelectDirectory(QString &ADirectory, const QString &AGuid, const QString &ATitle)
{
    RequireGuiThread();
    QString d = ADirectory;
    if (d.isEmpty() && m_service.Answers.Registered() && !AGuid.isEmpty()) {
        const std::unique_ptr<TRegistry> store = m_service.Answers.Open();
        if (store->ValueExists(AGuid)) {
            d = store->ReadString(AGuid);
            if (!folderExists(d))
                d = ADirectory;
        }
    }

    // Qt's own dialog rather than the desktop's: the same on every desktop, and tests can drive it.
    const TDialogHolder<QFileDialog> dialog(new QFileDialog(QApplication::activeWindow(), ATitle));
    dialog->setObjectName(u"SelectDirectoryDialog"_s);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setLabelText(QFileDialog::Accept, u"Auswählen"_s);
    // Opened inside d, which Auswählen takes as it is; selecting d as a file would open its parent.
    if (!d.isEmpty())
        dialog->setDirectory(d);
    PlaceDialog(dialog.get(), -1, -1);
    if (ExecModal(dialog.get(), mrCancel) != QDialog::Accepted || !dialog)
        return false;
    const QStringList chosen = dialog->selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return false;
    ADirectory = withTrailingSlash(QDir::fromNativeSeparators(chosen.first()));

    if (m_service.Answers.Registered() && !AGuid.isEmpty() && folderExists(ADirectory)) {
        const std::unique_ptr<TRegistry> store = m_service.Answers.Open();
        store->WriteString(AGuid, ADirectory);
    }
    return true;
}
