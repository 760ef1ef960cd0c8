// A picture of the window's page "Zahlungen" for the documentation, drawn offscreen:
//   payments_screenshot <file.xml> <out.png>

#include "Pravik_MAIN.h"
#include "payments_window.h"
#include "paymentspage.h"

#include "editor/xmleditor.h"
#include "platform/widgets/pagecontrol.h"
#include "sepa/rulespass.h"
#include "validation/validationengine.h"

#include <QPixmap>
#include <QTableView>
#include <QTest>

// The window lets this name see its pages, as it lets the page's test.
class TestPaymentsPage
{
public:
    static int picture(TPravik_MAIN_Form &form, const QString &file, const QString &out)
    {
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
    return paymentsbench::run(argc, argv, 2, "payments_screenshot <file.xml> <out.png>",
        [&](TPravik_MAIN_Form &form, const QString &file) {
            return TestPaymentsPage::picture(form, file, QString::fromLocal8Bit(argv[2]));
        });
}
