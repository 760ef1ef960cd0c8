// A picture of the window's page "Zahlungen" for the documentation, drawn offscreen:
//   payments_screenshot <file.xml> <out.png>

#include "Pravik_MAIN.h"
#include "paymentspage.h"
#include "units.h"

#include "editor/xmleditor.h"
#include "platform/widgets/actions.h"
#include "platform/widgets/application.h"
#include "platform/widgets/pagecontrol.h"
#include "sepa/rulespass.h"
#include "validation/validationengine.h"

#include <QPixmap>
#include <QTableView>
#include <QTest>

#include <cstdio>

// The window lets this name see its pages, as it lets the page's test.
class TestPaymentsPage
{
public:
    static int picture(const QString &file, const QString &out)
    {
        TPravik_MAIN_Form form;
        form.resize(1280, 760);
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            return 1;
        form.LoadXMLFile(file);
        // The rules' pass as a run makes it, without the run's closing dialog.
        const QByteArray text = form.XMLViewer->textUtf8();
        sepa::RulesPass rules(text, form.XMLViewer->encoding());
        std::unique_ptr<TXMLParseErrors> errors;
        ValidationEngine::ValidateXMLUtf8(text, errors, nullptr, &rules);
        rules.finish();
        form.PaymentsPage->setPayments(rules.takePayments());
        form.PageControl1->SetTabVisible(form.TabSheet4, true);
        form.PageControl1->SetActivePage(form.TabSheet4);
        form.PaymentsPage->table()->selectRow(1);
        QTest::qWait(50);
        return form.grab().save(out) ? 0 : 1;
    }
};

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc < 3) {
        std::fprintf(stderr, "usage: payments_screenshot <file.xml> <out.png>\n");
        return 2;
    }
    qputenv("PRAVIK_NO_HISTORY", "1");
    const TUnitRun units(PravikUnits());
    // The window opens a file named on its command line by itself; this one it is given below.
    int appArgc = 1;
    TApplication app(appArgc, argv);
    return TestPaymentsPage::picture(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
}
