#include "zc_historieframe.h"

#include "components/dialogs/zc_dialogs.h"

#include <QFont>
#include <QLayout>
#include <QPlainTextEdit>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
// The gap kept around the view inside its owner.
constexpr int OwnerMargin = 3;
}

THistorieFrame::THistorieFrame(QWidget *AOwner)
    : QFrame(AOwner)
{
    if (AOwner) {
        QLayout *layout = AOwner->layout();
        if (!layout) {
            layout = new QVBoxLayout(AOwner);
            layout->setContentsMargins(OwnerMargin, OwnerMargin, OwnerMargin, OwnerMargin);
        }
        layout->addWidget(this);
    }
    fMemo = new QPlainTextEdit(this);
    fMemo->setObjectName(u"fMemo"_s);
    fMemo->setReadOnly(true);
    fMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    fMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    fMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font(u"Courier New"_s);
    font.setStyleHint(QFont::TypeWriter);
    fMemo->setFont(font);
    auto *own = new QVBoxLayout(this);
    own->setContentsMargins(0, 0, 0, 0);
    own->addWidget(fMemo);
    Collect();
    THistorie::AddView(this);
}

THistorieFrame::~THistorieFrame()
{
    THistorie::RemoveView(this);
}

void THistorieFrame::Collect()
{
    const THistorie *historie = Tzc_Dialogs::GetHistorie();
    fMemo->setPlainText(historie ? HistorieLines(*historie).join(u'\n') : QString());
}

void THistorieFrame::Clear()
{
    fMemo->clear();
}

void THistorieFrame::HistorieChanged()
{
    if (OnChangeHistorie)
        OnChangeHistorie(this);
}

THistorieFrame *THistorie::CreateView(QWidget *AOwner)
{
    auto *view = new THistorieFrame(AOwner);
    view->setVisible(true);
    return view;
}
