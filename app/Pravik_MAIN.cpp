#include "Pravik_MAIN.h"
#include "statuspanel.h"

#include "components/messages/messagecntr.h"
#include "components/versioninfo/zc_verinfo.h"
#include "editor/xmleditor.h"
#include "paymentspage.h"
#include "platform/dialogbuilder.h"
#include "platform/dialogs.h"
#include "platform/filename.h"
#include "platform/formstream.h"
#include "platform/widgets/actions.h"
#include "platform/widgets/application.h"
#include "platform/widgets/pagecontrol.h"
#include "rulespage.h"
#include "sepa/rulespass.h"
#include "validation/validationengine.h"
#include "validationrun.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTextBlock>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString errorCountText(int count)
{
    return count == 1 ? QStringLiteral("1 error found.") : QStringLiteral("%1 errors found.").arg(count);
}

// A path that a wrapping label may break only after a '/': a word joiner (U+2060) holds every
// other pair of characters together (a hyphen or a space in a file name would be a place to break),
// a zero-width space (U+200B) follows each '/'. Neither is drawn.
QString breakableOnlyAtSlashes(const QString &path)
{
    QString text;
    text.reserve(path.size() * 2);
    for (qsizetype i = 0; i < path.size(); ++i) {
        text.append(path.at(i));
        if (i + 1 == path.size() || path.at(i).isHighSurrogate())
            continue;
        text.append(path.at(i) == u'/' ? QChar(0x200B) : QChar(0x2060));
    }
    return text;
}

QWidget *pageWith(QWidget *content)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    return page;
}

// Runs a file dialog of the window and frees it: the file chosen, or empty when the user cancelled or
// the dialog went with the window while it was open (then nothing of the window may be touched).
QString chosenFile(QFileDialog *Dialog)
{
    const TDialogHolder<QFileDialog> held(Dialog);
    if (ExecModal(Dialog, QDialog::Rejected) != QDialog::Accepted || !held || held->selectedFiles().isEmpty())
        return QString();
    return held->selectedFiles().constFirst();
}

} // namespace

TPravik_MAIN_Form::TPravik_MAIN_Form(QWidget *parent)
    : QMainWindow(parent)
    , FComponents(Create<TComponent>())
    , FArguments(losslessArguments(QCoreApplication::arguments()))
    , FSchemas(std::make_unique<SchemaCache>())
{
    // The file of the command line is read first and a large one's validation starts, so that both
    // run while the window is built and shown (the rules, which need the window's history setting,
    // are prepared once the schema's outcome is told); the window loads it once shown. One that
    // cannot be read is read again then, and refused in its own words.
    const QString commandLineFile = CommandLineFile();
    if (!commandLineFile.isEmpty()) {
        try {
            FOpening = std::make_shared<const TTextSource>(commandLineFile);
            if (TValidationRun::inParts(FOpening->utf8.size()))
                StartValidation(FOpening->utf8, FOpening->encoding, FOpening);
        } catch (const std::exception &) {
            FOpening.reset();
            FValidation.reset();
        }
    }

    setObjectName(QStringLiteral("Pravik_MAIN_Form"));
    FComponents->SetName(QStringLiteral("Pravik_MAIN_Form"));
    setWindowTitle(QStringLiteral("Pravik"));
    QFont font(QStringLiteral("Segoe UI"));
    font.setPixelSize(12);
    setFont(font);

    createComponents();
    createActions();
    createMenu();

    // Client area of 1017 × 575 below the menu, centred on the screen.
    resize(1017, 575 + MainMenu1->sizeHint().height());
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    FormCreate();

    if (FOpening && !FValidation) {
        try {
            StartValidation(FOpening->utf8, FOpening->encoding, FOpening);
        } catch (const std::exception &) {
            FOpening.reset();
            FValidation.reset();
        }
    }
    // The run stands for the editor's text only once the editor has loaded it.
    if (FValidation)
        FValidatedVersion = ~quint64(0);
}

TPravik_MAIN_Form::~TPravik_MAIN_Form()
{
    // The validation's threads stop before anything they may read goes.
    FValidation.reset();
    // The message objects and the version info go with their owner, before the widgets.
    FComponents.reset();
}

void TPravik_MAIN_Form::createComponents()
{
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setFixedHeight(19);
    StatusBar->setSizeGripEnabled(false);
    const int widths[3] = { 85, 90, 1000 };
    for (int i = 0; i < 3; ++i) {
        // A path loses its middle when it does not fit, so that the file's name stays in view.
        StatusPanels[i] = new TStatusPanel(i == 2 ? Qt::ElideMiddle : Qt::ElideRight, StatusBar);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        if (i < 2)
            StatusPanels[i]->setFixedWidth(widths[i]);
        else
            StatusPanels[i]->setMaximumWidth(widths[i]);
        StatusBar->addWidget(StatusPanels[i], i == 2 ? 1 : 0);
    }
    StatusMessage = new TStatusPanel(Qt::ElideRight, StatusBar);
    StatusMessage->setObjectName(QStringLiteral("StatusMessage"));
    StatusMessage->hide();
    StatusBar->addWidget(StatusMessage, 1);
    StatusModified = new TStatusPanel(Qt::ElideRight, StatusBar);
    StatusModified->setObjectName(QStringLiteral("StatusModified"));
    StatusModified->setText(QStringLiteral("Geändert"));
    StatusModified->setFixedWidth(
        StatusModified->fontMetrics().horizontalAdvance(StatusModified->text()) + 12);
    StatusModified->hide();
    StatusBar->addPermanentWidget(StatusModified);
    setStatusBar(StatusBar);

    PageControl1 = new TPageControl(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    XMLViewer = new TXMLEditor;
    XMLViewer->setObjectName(QStringLiteral("XMLViewer"));
    // Text typed into the empty editor is saved in the system's own encoding, UTF-8 here; a loaded
    // file keeps its own.
    XMLViewer->setEncoding(TextEncoding::Utf8);
    TabSheet1 = pageWith(XMLViewer);
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->viewport()->installEventFilter(this);
    Memo1->installEventFilter(this);
    TabSheet2 = pageWith(Memo1);
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->AddPage(TabSheet1, QStringLiteral("Inhalt der Datei"));
    PageControl1->AddPage(TabSheet2, QStringLiteral("Ergebnis Validierung"));
    PageControl1->SetActivePage(TabSheet2);
    PageControl1->SetTabVisible(TabSheet2, false);
    RulesPage = new TRulesPage;
    TabSheet3 = pageWith(RulesPage);
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    PageControl1->AddPage(TabSheet3, TRulesPage::caption());
    PageControl1->SetTabVisible(TabSheet3, false);
    // The editor keeps the findings' places through edits; a place an edit took away is no jump.
    connect(RulesPage, &TRulesPage::findingActivated, this, [this](const sepa::Finding &, qsizetype index) {
        if (!XMLViewer->gotoFindingPosition(index)) {
            RulesPage->findingLost();
            return;
        }
        PageControl1->SetActivePage(TabSheet1);
    });
    connect(XMLViewer, &TXMLEditor::textChanged, RulesPage, &TRulesPage::setOutOfDate);
    PaymentsPage = new TPaymentsPage;
    TabSheet4 = pageWith(PaymentsPage);
    TabSheet4->setObjectName(QStringLiteral("TabSheet4"));
    PageControl1->AddPage(TabSheet4, TPaymentsPage::caption());
    PageControl1->SetTabVisible(TabSheet4, false);
    // The editor keeps the transactions' places through edits; a place an edit took away is no jump.
    connect(PaymentsPage, &TPaymentsPage::transactionActivated, this, [this](qsizetype transaction) {
        if (!XMLViewer->gotoItemPosition(transaction)) {
            PaymentsPage->transactionLost();
            return;
        }
        PageControl1->SetActivePage(TabSheet1);
    });
    connect(XMLViewer, &TXMLEditor::caretMoved, PaymentsPage,
        [this] { PaymentsPage->followCaret(XMLViewer->itemAtCaret()); });
    connect(XMLViewer, &TXMLEditor::textChanged, PaymentsPage, &TPaymentsPage::setOutOfDate);
    setCentralWidget(PageControl1);

    // The non-visual components come from the form resource; the version info reads this
    // executable's own version resource.
    ReadComponentResource(FComponents.get(), QStringLiteral(":/forms/Pravik_MAIN.form"), this);
    ML = FormComponent<TMessageList>(FComponents.get(), QStringLiteral("ML"));
    MO_FileOverwrite = FormComponent<TMessageObject>(FComponents.get(), QStringLiteral("MO_FileOverwrite"));
    VerInfo = Create<TVerInfo>(FComponents.get());
    VerInfo->SetName(QStringLiteral("VerInfo"));

    connect(XMLViewer, &TXMLEditor::modificationChanged, StatusModified, &QWidget::setVisible);
    // A text changed after its file was read needs its validation no longer: its threads stop.
    // Queued, so that the load's own notice finds the validation of the text it loaded.
    connect(
        XMLViewer, &TXMLEditor::textChanged, this,
        [this] {
            if (FValidation && !FValidating && XMLViewer->textVersion() != FValidatedVersion)
                FValidation->cancel();
        },
        Qt::QueuedConnection);
}

void TPravik_MAIN_Form::createActions()
{
    ActionList1 = new TActionList(this);
    ActionList1->setObjectName(QStringLiteral("ActionList1"));
    auto make = [this](const char *name, const QString &caption, const QString &category) {
        auto *action = new TAction(this);
        action->setObjectName(QString::fromLatin1(name));
        action->setText(caption);
        action->Category = category;
        ActionList1->Add(action);
        addAction(action); // shortcuts work whether or not a menu shows the action
        return action;
    };
    const QString file = QStringLiteral("Datei");
    FileOpen1 = make("FileOpen1", QStringLiteral("Ö&ffnen..."), file);
    FileOpen1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    FileOpen1->SetHint(QStringLiteral("Öffnen|Vorhandene Datei öffnen"));
    FileOpen1->OnExecute = [this](TAction *) { FileOpen1Execute(); };

    FileExit1 = make("FileExit1", QStringLiteral("&Beenden"), file);
    FileExit1->SetHint(QStringLiteral("Beenden|Anwendung beenden"));
    FileExit1->OnExecute = [this](TAction *) { close(); };

    act_Validate = make("act_Validate", QStringLiteral("Validieren"), QString());
    act_Validate->setShortcut(QKeySequence(Qt::Key_F5));
    act_Validate->OnExecute = [this](TAction *a) { act_ValidateExecute(a); };
    act_Validate->OnUpdate = [this](TAction *a) { act_ValidateUpdate(a); };

    Action_UpdateStatusPanels = make("Action_UpdateStatusPanels", QString(), QString());
    Action_UpdateStatusPanels->OnUpdate = [this](TAction *a) { Action_UpdateStatusPanelsUpdate(a); };

    FileSaveAs1 = make("FileSaveAs1", QStringLiteral("Speichern &unter..."), file);
    FileSaveAs1->SetHint(QStringLiteral("Speichern unter|Aktive Datei unter einem neuen Namen speichern"));
    FileSaveAs1->OnExecute = [this](TAction *) { FileSaveAs1Execute(); };
    FileSaveAs1->OnUpdate = [this](TAction *a) { act_ValidateUpdate(a); };

    act_Upgrade = make("act_Upgrade", QStringLiteral("&Aktualisieren..."), file);
    act_Upgrade->SetHint(QStringLiteral(
        "Aktualisieren|Datei einer nicht mehr angenommenen Version in die aktuelle umwandeln"));
    act_Upgrade->OnExecute = [this](TAction *) { act_UpgradeExecute(); };
    act_Upgrade->OnUpdate = [this](TAction *a) { act_UpgradeUpdate(a); };

    FileSave1 = make("FileSave1", QStringLiteral("Speichern"), file);
    FileSave1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    FileSave1->OnExecute = [this](TAction *a) { FileSave1Execute(a); };
    FileSave1->OnUpdate = [this](TAction *a) { act_ValidateUpdate(a); };

    act_NextError = make("act_NextError", QStringLiteral("&Nächster Fehler"), QString());
    act_NextError->setShortcut(QKeySequence(Qt::Key_F8));
    act_NextError->SetHint(QStringLiteral("Nächster Fehler|Zum nächsten Fehler der Validierung springen"));
    act_NextError->OnExecute = [this](TAction *) { act_StepErrorExecute(true); };
    act_NextError->OnUpdate = [this](TAction *a) { act_StepErrorUpdate(a); };

    act_PreviousError = make("act_PreviousError", QStringLiteral("&Vorheriger Fehler"), QString());
    act_PreviousError->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8));
    act_PreviousError->SetHint(
        QStringLiteral("Vorheriger Fehler|Zum vorherigen Fehler der Validierung springen"));
    act_PreviousError->OnExecute = [this](TAction *) { act_StepErrorExecute(false); };
    act_PreviousError->OnUpdate = [this](TAction *a) { act_StepErrorUpdate(a); };
}

void TPravik_MAIN_Form::createMenu()
{
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    QMenu *file = MainMenu1->addMenu(QStringLiteral("Datei"));
    file->addAction(FileOpen1);
    file->addAction(FileSave1);
    file->addAction(FileSaveAs1);
    file->addAction(act_Upgrade);
    file->addSeparator();
    file->addAction(FileExit1);
    QMenu *edit = MainMenu1->addMenu(QStringLiteral("Bearbeiten"));
    edit->addAction(act_Validate);
    edit->addSeparator();
    edit->addAction(act_NextError);
    edit->addAction(act_PreviousError);
}

void TPravik_MAIN_Form::FormCreate()
{
    setAcceptDrops(true);
}

void TPravik_MAIN_Form::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    // After the window has painted, as the platform runs its show handler.
    QTimer::singleShot(0, this, [this] { Guarded([this] { FormShow(); }); });
}

QString TPravik_MAIN_Form::CommandLineFile() const
{
    // "pravik -- -name.xml": after "--" the file may begin with '-'.
    const qsizetype at = FArguments.value(1) == u"--" ? 2 : 1;
    const QString first = FArguments.size() > at ? FArguments.at(at) : QString();
    return first.isEmpty() || !fileNameIsFile(first) ? QString() : first;
}

void TPravik_MAIN_Form::FormShow()
{
    const QString first = CommandLineFile();
    if (first.isEmpty())
        return;
    LoadXMLFile(first);
    DoValidate();
}

void TPravik_MAIN_Form::Action_UpdateStatusPanelsUpdate(TAction *Sender)
{
    Sender->setEnabled(true);
    const int column = XMLViewer->caretColumn();
    const int line = XMLViewer->caretLine();
    const QString caret = column < 1 || line < 1 ? QString() : QStringLiteral("%1:%2").arg(line).arg(column);
    if (StatusPanels[1]->text() != caret)
        StatusPanels[1]->setText(caret);
    if (StatusPanels[2]->text() != displayFileName(FXMLFileName)) {
        StatusPanels[2]->setText(displayFileName(FXMLFileName));
        StatusPanels[2]->setToolTip(displayFileName(FXMLFileName));
    }
    const QString version = QStringLiteral(" V ") + VerInfo->FileVersion();
    if (StatusPanels[0]->text() != version)
        StatusPanels[0]->setText(version);
}

void TPravik_MAIN_Form::act_ValidateUpdate(TAction *Sender)
{
    Sender->setEnabled(!XMLViewer->isBlank());
}

void TPravik_MAIN_Form::act_ValidateExecute(TAction *)
{
    DoValidate();
}

void TPravik_MAIN_Form::FileOpen1Execute()
{
    auto *dialog = new QFileDialog(this);
    dialog->setObjectName(QStringLiteral("FileOpen1Dialog"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    const QString chosen = chosenFile(dialog);
    if (!chosen.isEmpty())
        FileOpen1Accept(resolveFileName(chosen));
}

void TPravik_MAIN_Form::FileOpen1Accept(const QString &FileName)
{
    if (AskToSaveChanges())
        LoadXMLFile(FileName);
}

void TPravik_MAIN_Form::FileSave1Execute(TAction *)
{
    SaveXMLFile(FXMLFileName);
}

QString TPravik_MAIN_Form::ChooseSaveAsFile()
{
    auto *dialog = new QFileDialog(this);
    dialog->setObjectName(QStringLiteral("FileSaveAs1Dialog"));
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    // The window asks before overwriting, with its own question.
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    if (!FXMLFileName.isEmpty()) {
        const QFileInfo current(FXMLFileName);
        dialog->setDirectory(current.absolutePath());
        dialog->selectFile(current.fileName());
    }
    return chosenFile(dialog);
}

void TPravik_MAIN_Form::FileSaveAs1Execute()
{
    const QString chosen = ChooseSaveAsFile();
    if (!chosen.isEmpty())
        FileSaveAs1Accept(resolveFileName(chosen));
}

void TPravik_MAIN_Form::FileSaveAs1Accept(const QString &FileName)
{
    SaveXMLFile(FileName);
}

void TPravik_MAIN_Form::LoadXMLFile(const QString &FileName)
{
    // Read first: a file that cannot be read must not become the save target of the text shown.
    // The file of the command line was read while the window was built, and its validation runs.
    std::shared_ptr<const TTextSource> source = std::exchange(FOpening, nullptr);
    if (!source || source->fileName != FileName) {
        source = std::make_shared<const TTextSource>(FileName);
        StartValidation(source->utf8, source->encoding, source);
    }
    try {
        XMLViewer->loadText(source->utf8, source->encoding);
    } catch (...) {
        DropValidation();
        throw;
    }
    // The editor shows what was validated unless another program wrote to the file meanwhile.
    if (source->changedWhileRead())
        DropValidation();
    FValidatedVersion = XMLViewer->textVersion();
    FXMLFileName = FileName;
    ProbeUpgradeTarget(source->utf8);
    FCurrentError = 0;
    FStatusText.clear();
    ShowStatusMessage();
    PageControl1->SetTabVisible(TabSheet2, false);
    PageControl1->SetTabVisible(TabSheet3, false);
    PageControl1->SetTabVisible(TabSheet4, false);
    PageControl1->SetActivePage(TabSheet1);
}

void TPravik_MAIN_Form::StartValidation(
    const QByteArray &Utf8, TextEncoding Encoding, const std::shared_ptr<const TTextSource> &Source)
{
    DropValidation();
    FValidation = std::make_unique<TValidationRun>(Utf8, Encoding, Source, *FSchemas,
        [this](sepa::RulesPass &rules) { RulesPage->prepareHistory(rules); });
    // Before the window is built (a run started in its constructor) no text stands for the run.
    FValidatedVersion = XMLViewer ? XMLViewer->textVersion() : ~quint64(0);
}

void TPravik_MAIN_Form::DropValidation()
{
    FValidation.reset();
}

// The validation runs on threads of its own while the window keeps painting and shows how far the
// parts got. User input waits until the end, so that nothing can change or validate the text
// meanwhile; an exception of the threads is rethrown by the run, on this side of the event loop.
bool TPravik_MAIN_Form::WaitForValidation(TValidationRun &Run, bool Rules)
{
    if (FValidation.get() != &Run)
        return false;
    const auto done = [&Run, Rules] { return Rules ? Run.rulesDone() : Run.schemaDone(); };
    if (done())
        return true;
    const QPointer<TPravik_MAIN_Form> alive(this);
    QEventLoop loop;
    connect(&Run, Rules ? &TValidationRun::rulesFinished : &TValidationRun::schemaFinished, &loop,
        &QEventLoop::quit);
    // A window that goes meanwhile takes its run along.
    connect(&Run, &QObject::destroyed, &loop, &QEventLoop::quit);
    QTimer progress;
    progress.setInterval(100);
    const QPointer<TValidationRun> run(&Run);
    connect(&progress, &QTimer::timeout, &loop, [&] {
        if (!Rules && run && run->partsTotal() > 0)
            setReport({ QStringLiteral("Validating... %1 of %2 parts")
                            .arg(run->partsDone())
                            .arg(run->partsTotal()) });
    });
    progress.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return alive && FValidation.get() == &Run && done();
}

void TPravik_MAIN_Form::ShowRules(TValidationRun &Run)
{
    Run.checkRules();
    showRuleFindings(Run.takeFindings());
    RulesPage->recordHistory(Run.rules());
    PaymentsPage->setPayments(Run.takePayments());
    XMLViewer->setItemPositions(PaymentsPage->transactionOffsets());
    PageControl1->SetTabVisible(TabSheet4, !PaymentsPage->payments().blocks().empty());
}

void TPravik_MAIN_Form::showRuleFindings(std::vector<sepa::Finding> Findings)
{
    const bool any = !Findings.empty();
    RulesPage->setFindings(std::move(Findings));
    XMLViewer->setFindingPositions(RulesPage->findingPositions());
    PageControl1->SetTabVisible(TabSheet3, any);
}

void TPravik_MAIN_Form::setReport(const QStringList &lines)
{
    Memo1->setPlainText(lines.join(u'\n'));
}

void TPravik_MAIN_Form::DoValidate()
{
    // F5 again while the window validates (a key that came while it painted "Validating...") is
    // answered by the validation under way.
    if (FValidating)
        return;
    const QPointer<TPravik_MAIN_Form> alive(this);
    FValidating = true;
    const TValidationRun *used = nullptr;
    const auto validating = qScopeGuard([&] {
        if (!alive)
            return;
        FValidating = false;
        // Each outcome is shown once; the text and the threads go with it.
        if (used && FValidation.get() == used)
            DropValidation();
    });
    const TXMLSetBookmarkProc setBookmark = [this](int32_t tag, int32_t line) {
        if (line >= 1 && line <= XMLViewer->lineCount())
            XMLViewer->setLineTag(line - 1, tag);
    };

    XMLViewer->clearErrorMarks();
    FCurrentError = 0;
    FStatusText.clear();
    ShowStatusMessage();
    PageControl1->SetTabVisible(TabSheet2, true);
    PageControl1->SetActivePage(TabSheet2);
    setReport({ QStringLiteral("Validating...") });
    Memo1->repaint();
    QCoreApplication::processEvents();
    if (!alive)
        return;

    std::unique_ptr<TXMLParseErrors> errors;
    PageControl1->SetTabVisible(TabSheet3, false);
    PageControl1->SetTabVisible(TabSheet4, false);
    // The validation that started when the file was read serves while the editor's text is still
    // the one it validates; a text changed meanwhile is validated as it is now.
    for (;;) {
        if (!FValidation || FValidation->cancelled() || XMLViewer->textVersion() != FValidatedVersion)
            StartValidation(XMLViewer->textUtf8(), XMLViewer->encoding(), nullptr);
        if (!WaitForValidation(*FValidation, false))
            return;
        if (XMLViewer->textVersion() == FValidatedVersion)
            break;
    }
    TValidationRun &run = *FValidation;
    used = &run;
    // What follows may load and validate another file (an upgrade offered by the refusal).
    FValidating = false;
    bool valid = false;
    try {
        valid = run.takeSchemaOutcome(errors);
    } catch (ESEPAXMLValidateException &e) {
        ShowParserStop(e);
        if (ShowKnownMessage(e))
            return;
        // The error box tells in full what the status bar may have to shorten.
        e.setDetails(FStatusText);
        throw;
    }
    // The rules' pages come with the report when the rules are done by then (a small text is
    // checked for both in one pass); else after the verdict, which does not wait for them.
    const bool rulesFirst = run.rulesDone();
    if (rulesFirst)
        ShowRules(run);

    Memo1->setUpdatesEnabled(false);
    if (valid) {
        setReport({ ValidDocumentSentence() });
        Memo1->setUpdatesEnabled(true);
        MessageDlg(ValidDocumentSentence(), mtInformation, { mbOK }, 0);
    } else {
        const int count = int(errors->size());
        try {
            FErrors.clear();
            {
                TXMLEditorUpdateGuard bracket(*XMLViewer);
                errors->ToStrings(FErrors, setBookmark);
                // Each error also keeps its own position, so that errors sharing a line stay apart.
                // One pass in the errors' order: the editor finds ascending positions fastest.
                const int lines = XMLViewer->lineCount();
                int tag = 0;
                for (const TXMLParseErrorItem &e : *errors) {
                    ++tag;
                    XMLViewer->addErrorUnderline(e.FFilePos);
                    if (e.FLine >= 1 && e.FLine <= lines)
                        XMLViewer->setErrorPosition(tag, e.FFilePos);
                }
            }
            QStringList lines;
            lines.reserve(FErrors.size() + 1);
            for (const TTaggedLine &l : std::as_const(FErrors))
                lines.append(l.text);
            // The count below the report, on a row of its own that leads nowhere.
            lines.append(errorCountText(count));
            setReport(lines);
        } catch (...) {
            Memo1->setUpdatesEnabled(true);
            throw;
        }
        Memo1->setUpdatesEnabled(true);
        errors.reset();
        ShowVerdict(QStringLiteral("XML is not valid!"), mtError, errorCountText(count));
    }
    if (!alive || rulesFirst || FValidation.get() != &run || !WaitForValidation(run, true))
        return;
    // The verdict's box keeps the text as it was; anything else would make the findings stale.
    if (XMLViewer->textVersion() == FValidatedVersion)
        ShowRules(run);
}

int TPravik_MAIN_Form::ShowVerdict(const QString &Msg, TMsgDlgType DlgType, const QString &Details)
{
    TDialogHolder<TMessageForm> dialog = CreateMessageDialog(Msg, DlgType, { mbOK });
    // The verdict stays the dialog's message; the count is a line of its own below it.
    SetMessageDetails(dialog.get(), Details);
    return dialog->ShowModal();
}

void TPravik_MAIN_Form::ShowParserStop(const ESEPAXMLValidateException &E)
{
    if (E.line() <= 0)
        return;
    XMLViewer->addStopMark(E.filePos());
    XMLViewer->gotoFilePosition(E.filePos());
    FStatusText
        = QStringLiteral("Zeile %1, Position %2: %3").arg(E.line()).arg(E.linePos()).arg(E.parserMessage());
    ShowStatusMessage();
}

void TPravik_MAIN_Form::ShowStatusMessage()
{
    const QString text = FHint.isEmpty() ? FStatusText : FHint;
    StatusMessage->setText(text);
    StatusMessage->setToolTip(text);
    StatusMessage->setVisible(!text.isEmpty());
}

void TPravik_MAIN_Form::Memo1DblClick()
{
    const int row = Memo1->textCursor().blockNumber();
    if (row < 0 || row >= FErrors.size())
        return;
    if (GotoError(FErrors.at(row).tag))
        PageControl1->SetActivePage(TabSheet1);
}

bool TPravik_MAIN_Form::GotoError(int Tag)
{
    if (Tag <= 0)
        return false;
    if (!XMLViewer->gotoErrorPosition(Tag)) {
        const int line = XMLViewer->findLineWithTag(Tag);
        if (line < 0)
            return false;
        GotoErrorLine(line + 1);
    }
    FCurrentError = Tag;
    return true;
}

void TPravik_MAIN_Form::act_StepErrorUpdate(TAction *Sender)
{
    Sender->setEnabled(XMLViewer->errorPositionCount() > 0);
}

void TPravik_MAIN_Form::act_StepErrorExecute(bool Forward)
{
    int target = 0;
    if (PageControl1->ActivePage() == TabSheet2) {
        // From the report: the error after (before) the one whose lines hold the caret, in report order.
        const int row = Memo1->textCursor().blockNumber();
        const int here = row >= 0 && row < FErrors.size() ? FErrors.at(row).tag : 0;
        const int last = FErrors.isEmpty() ? 0 : FErrors.constLast().tag;
        for (int step = 1; step <= last && target == 0; ++step) {
            int tag = here == 0 ? (Forward ? step : last + 1 - step) : here + (Forward ? step : -step);
            tag = ((tag - 1) % last + last) % last + 1;
            if (XMLViewer->gotoErrorPosition(tag))
                target = tag;
        }
    } else {
        target = XMLViewer->adjacentErrorTag(FCurrentError, Forward);
        if (target != 0)
            XMLViewer->gotoErrorPosition(target);
    }
    if (target == 0)
        return;
    FCurrentError = target;
    // The report follows, so that going back to it shows this error's lines.
    for (int row = 0; row < FErrors.size(); ++row) {
        if (FErrors.at(row).tag == target) {
            Memo1->setTextCursor(QTextCursor(Memo1->document()->findBlockByNumber(row)));
            Memo1->centerCursor();
            break;
        }
    }
    PageControl1->SetActivePage(TabSheet1);
    XMLViewer->setFocus();
}

bool TPravik_MAIN_Form::AskToSaveChanges()
{
    if (!XMLViewer->isModified())
        return true;
    const QString question = FXMLFileName.isEmpty()
        ? QStringLiteral("Der Text wurde geändert.\nSollen die Änderungen gespeichert werden?")
        : QStringLiteral("Die Datei %1 wurde geändert.\nSollen die Änderungen gespeichert werden?")
              .arg(FXMLFileName);
    const QPointer<TPravik_MAIN_Form> alive(this);
    int answer = mrCancel;
    {
        TDialogHolder<TMessageForm> dialog
            = CreateMessageDialog(question, mtConfirmation, { mbYes, mbNo, mbCancel }, mbYes);
        dialog->setWindowTitle(windowTitle());
        dialog->Button(mbYes)->setText(QStringLiteral("&Ja"));
        dialog->Button(mbNo)->setText(QStringLiteral("&Nein"));
        dialog->Button(mbCancel)->setText(QStringLiteral("Abbrechen"));
        answer = dialog->ShowModal();
    }
    if (!alive || answer == mrCancel)
        return false; // a window that went while it asked does nothing more
    if (answer == mrNo)
        return true;
    if (FXMLFileName.isEmpty()) {
        const QString chosen = ChooseSaveAsFile();
        return alive && !chosen.isEmpty() && SaveXMLFile(chosen);
    }
    // Yes was the answer to saving into this very file: no second question.
    XMLViewer->saveToFile(FXMLFileName);
    return true;
}

void TPravik_MAIN_Form::GotoErrorLine(int Line)
{
    XMLViewer->gotoLine(Line);
}

bool TPravik_MAIN_Form::SaveXMLFile(const QString &FileName)
{
    if (fileNameExists(FileName)) {
        const QPointer<TPravik_MAIN_Form> alive(this);
        // A long path wraps in the question; only between its folders, never inside a name.
        const QScreen *screen = this->screen();
        const bool wraps
            = screen && fontMetrics().horizontalAdvance(FileName) > screen->availableGeometry().width() / 2;
        const int answer = MO_FileOverwrite->TaskMessageDlgFmt(
            { wraps ? breakableOnlyAtSlashes(FileName) : FileName }, mtWarning, { mbYes, mbNo }, 0, mbNo);
        if (!alive || answer != mrYes)
            return false; // a window that went while it asked saves nothing
    }
    XMLViewer->saveToFile(FileName);
    return true;
}

bool TPravik_MAIN_Form::event(QEvent *event)
{
    if (event->type() == QEvent::StatusTip) {
        // Hints go beside the panels instead of over them.
        FHint = static_cast<QStatusTipEvent *>(event)->tip();
        ShowStatusMessage();
        return true;
    }
    return QMainWindow::event(event);
}

void TPravik_MAIN_Form::closeEvent(QCloseEvent *event)
{
    bool close = false;
    Guarded([&] { close = AskToSaveChanges(); });
    if (close)
        QMainWindow::closeEvent(event);
    else
        event->ignore();
}

bool TPravik_MAIN_Form::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Memo1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Guarded([this] { Memo1DblClick(); });
            return true;
        }
    }
    if (watched == Memo1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        // Let the view place its caret first, as the platform's double-click handler runs after it.
        const bool handled = QMainWindow::eventFilter(watched, event);
        QTimer::singleShot(0, this, [this] { Guarded([this] { Memo1DblClick(); }); });
        return handled;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TPravik_MAIN_Form::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TPravik_MAIN_Form::dropEvent(QDropEvent *event)
{
    QStringList files;
    const auto urls = event->mimeData()->urls();
    for (const QUrl &url : urls) {
        // From the URL's bytes: toLocalFile() loses those of a name that is not UTF-8.
        if (url.isLocalFile())
            files.append(
                decodeFileName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())));
    }
    event->acceptProposedAction();
    Guarded([&] { DropFiles(files); });
}

void TPravik_MAIN_Form::DropFiles(const QStringList &FileNames)
{
    if (FileNames.isEmpty())
        return;
    raise();
    activateWindow();
    if (!AskToSaveChanges())
        return;
    LoadXMLFile(FileNames.constFirst());
    DoValidate();
}
