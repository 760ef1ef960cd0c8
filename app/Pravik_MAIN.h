#pragma once
// The checker window: a payment file in an XML editor on one page, the validation report on the
// other, a menu of actions and a status bar with version, caret and file name.

#include "platform/component.h"
#include "platform/taggedlines.h"
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
class TAction;
class TActionList;
class TMessageList;
class TMessageObject;
class TPageControl;
class TRulesPage;
class TVerInfo;
class TXMLEditor;
namespace xmlservices {
class DocumentObserver;
}

class TPravik_MAIN_Form : public QMainWindow
{
    Q_OBJECT

public:
    explicit TPravik_MAIN_Form(QWidget *parent = nullptr);
    ~TPravik_MAIN_Form() override;

    // The window's components, by their designer names.
    QStatusBar *StatusBar = nullptr;
    QLabel *StatusPanels[3] = {};
    TPageControl *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    TXMLEditor *XMLViewer = nullptr;
    QWidget *TabSheet2 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QWidget *TabSheet3 = nullptr; // the SEPA rules' findings, shown after a run that has some
    TRulesPage *RulesPage = nullptr;
    TActionList *ActionList1 = nullptr;
    TAction *FileOpen1 = nullptr;
    TAction *FileExit1 = nullptr;
    TAction *act_Validate = nullptr;
    TAction *Action_UpdateStatusPanels = nullptr;
    TAction *FileSaveAs1 = nullptr;
    TAction *FileSave1 = nullptr;
    QMenuBar *MainMenu1 = nullptr;
    TVerInfo *VerInfo = nullptr;
    TMessageList *ML = nullptr;
    TMessageObject *MO_FileOverwrite = nullptr;

    // The owner of the window's non-visual components, read from its form resource.
    TComponent *Components() const { return FComponents.get(); }

    const QString &XMLFileName() const { return FXMLFileName; }
    const TTaggedLines &Errors() const { return FErrors; }

protected:
    void showEvent(QShowEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class TestPravikMain;
    friend class TestRulesPage;

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

    // Operations.
    void LoadXMLFile(const QString &FileName);
    void DoValidate();
    bool ValidateXML(const QByteArray &Text, std::unique_ptr<TXMLParseErrors> &Errors);
    bool ValidateXML(const QByteArray &Text, std::unique_ptr<TXMLParseErrors> &Errors,
        xmlservices::DocumentObserver *Rules);
    void showRuleFindings(std::vector<sepa::Finding> Findings);
    bool SaveXMLFile(const QString &FileName);
    void GotoErrorLine(int Line);
    void setReport(const QStringList &lines);

    std::unique_ptr<TComponent, TComponentFree> FComponents;
    QStringList FArguments; // the command line, replaceable in tests
    QString FXMLFileName;
    TTaggedLines FErrors;
    bool FShown = false;
};
