#pragma once
// The checker window: a payment file in an XML editor on one page, the validation report on the
// other, a menu of actions and a status bar with version, caret and file name.

#include "platform/component.h"
#include "platform/dialogtypes.h"
#include "platform/taggedlines.h"
#include "platform/textformat.h"
#include "sepa/finding.h"
#include "validation/xmlparseerrors.h"

#include <QMainWindow>
#include <memory>
#include <vector>

class QLabel;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QStatusBar;
class ESEPAXMLValidateException;
class TAction;
class TActionList;
class TMessageList;
class TMessageObject;
class TPageControl;
class TRulesPage;
class TPaymentsPage;
class TVerInfo;
class TXMLEditor;
class TValidationRun;
struct TTextSource;
class SchemaCache;

class TPravik_MAIN_Form : public QMainWindow
{
    Q_OBJECT

public:
    explicit TPravik_MAIN_Form(QWidget *parent = nullptr);
    ~TPravik_MAIN_Form() override;

    // The window's components, by their designer names.
    QStatusBar *StatusBar = nullptr;
    QLabel *StatusPanels[3] = {};
    // Beside the panels: hints and the last parser message, then whether the text has changes.
    QLabel *StatusMessage = nullptr;
    QLabel *StatusModified = nullptr;
    TPageControl *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    TXMLEditor *XMLViewer = nullptr;
    QWidget *TabSheet2 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QWidget *TabSheet3 = nullptr; // the SEPA rules' findings, shown after a run that has some
    TRulesPage *RulesPage = nullptr;
    QWidget *TabSheet4 = nullptr; // "Zahlungen": what the file pays, shown after a run over a payment file
    TPaymentsPage *PaymentsPage = nullptr;
    TActionList *ActionList1 = nullptr;
    TAction *FileOpen1 = nullptr;
    TAction *FileExit1 = nullptr;
    TAction *act_Validate = nullptr;
    TAction *Action_UpdateStatusPanels = nullptr;
    TAction *FileSaveAs1 = nullptr;
    TAction *FileSave1 = nullptr;
    TAction *act_NextError = nullptr;
    TAction *act_PreviousError = nullptr;
    TAction *act_Upgrade = nullptr; // "Aktualisieren...": a retired file in the version the banks take
    QMenuBar *MainMenu1 = nullptr;
    TVerInfo *VerInfo = nullptr;
    TMessageList *ML = nullptr;
    TMessageObject *MO_FileOverwrite = nullptr;

    // The owner of the window's non-visual components, read from its form resource.
    TComponent *Components() const { return FComponents.get(); }

    const QString &XMLFileName() const { return FXMLFileName; }
    const TTaggedLines &Errors() const { return FErrors; }

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class TestPravikMain;
    friend class TestRulesPage;
    friend class TestPaymentsPage;
    friend class TestEndToEndWindow;
    friend class TestUpgradeWindow;

    void createComponents();
    void createActions();
    void createMenu();

    // Handlers.
    void FormCreate();
    void FormShow();
    void Action_UpdateStatusPanelsUpdate(TAction *Sender);
    void act_ValidateExecute(TAction *Sender);
    void act_ValidateUpdate(TAction *Sender);
    void FileOpen1Execute();
    void FileOpen1Accept(const QString &FileName);
    void FileSave1Execute(TAction *Sender);
    void FileSaveAs1Execute();
    void FileSaveAs1Accept(const QString &FileName);
    void Memo1DblClick();
    void DropFiles(const QStringList &FileNames);
    void act_StepErrorExecute(bool Forward);
    void act_StepErrorUpdate(TAction *Sender);

    // Operations.
    QString CommandLineFile() const;
    void LoadXMLFile(const QString &FileName);
    void DoValidate();
    // A validation of the text just loaded (or of the editor's text when Source is null) starts.
    void StartValidation(
        const QByteArray &Utf8, TextEncoding Encoding, const std::shared_ptr<const TTextSource> &Source);
    // The run stops and goes, and so does its outcome.
    void DropValidation();
    // Keeps the window painting, with the parts done in the report, until the run's schema (or
    // rules) outcome is there; false when the window went meanwhile.
    bool WaitForValidation(TValidationRun &Run, bool Rules);
    void ShowRules(TValidationRun &Run);
    void showRuleFindings(std::vector<sepa::Finding> Findings);
    bool SaveXMLFile(const QString &FileName);
    void GotoErrorLine(int Line);
    void setReport(const QStringList &lines);

    // Moves the editor to the error's own position (its line when it has none); false when the
    // error leads nowhere.
    bool GotoError(int Tag);
    // When the text has unsaved changes: asks whether to save them and saves on Yes. True when the
    // caller may go on (saved, not wanted, or nothing to save); false on Cancel or a failed save.
    bool AskToSaveChanges();
    int ShowVerdict(const QString &Msg, TMsgDlgType DlgType, const QString &Details);
    void ShowParserStop(const ESEPAXMLValidateException &E);
    // For a document of a known message without a schema: the refusal with what the file is, and
    // for a retired one the offer to upgrade it (Pravik_MAIN_upgrade.cpp).
    bool ShowKnownMessage(const ESEPAXMLValidateException &E);
    void act_UpgradeExecute();
    void act_UpgradeUpdate(TAction *Sender);
    void NoteUpgradeTarget(const QString &NamespaceUri);
    void ProbeUpgradeTarget(const QByteArray &Utf8);
    QString ChooseUpgradeFile(const QString &Proposed);
    void ShowStatusMessage();
    QString ChooseSaveAsFile();

    std::unique_ptr<TComponent, TComponentFree> FComponents;
    QStringList FArguments; // the command line, replaceable in tests
    std::unique_ptr<SchemaCache> FSchemas; // outlives every validation run
    // The file of the command line, read while the window is built, and the validation of the text
    // loaded last, started when it was read; kept while the editor's text is still the one it
    // validates (FValidatedVersion), dropped at the next load or validation.
    std::shared_ptr<const TTextSource> FOpening;
    std::unique_ptr<TValidationRun> FValidation;
    quint64 FValidatedVersion = 0;
    bool FValidating = false; // within DoValidate: F5 again waits for nothing
    QString FXMLFileName;
    TTaggedLines FErrors;
    bool FShown = false;
    int FCurrentError = 0; // the error the last jump went to
    QString FHint; // the hint of the menu item under the mouse
    QString FStatusText; // what the parser said when it stopped
    QString FUpgradeTarget; // the version the text's message upgrades to, empty when none
};
