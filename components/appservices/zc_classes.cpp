#include "components/appservices/zc_classes.h"

Tzc_CustomComponent::Tzc_CustomComponent(TComponent *AOwner)
    : TComponent(AOwner)
{
}

Tzc_CustomComponent::~Tzc_CustomComponent() = default;

void Tzc_CustomComponent::AfterConstruction()
{
    TComponent::AfterConstruction();
    InitializeComponent();
}

void Tzc_CustomComponent::BeforeDestruction()
{
    // Mark first: freed alone or by its owner, the hook sees the same destroying state.
    TComponent::BeforeDestruction();
    FinalizeComponent();
}

void Tzc_CustomComponent::BeginUpdate()
{
    ++FUpdateCount;
}

void Tzc_CustomComponent::EndUpdate()
{
    FUpdateCount = FUpdateCount - 1 <= 0 ? 0 : FUpdateCount - 1;
}

QString Tzc_CustomComponent::GetUniqueName(const TComponent *AComponent)
{
    QString base = QString::fromLatin1(AComponent->metaObject()->className());
    if (base.startsWith(u'T'))
        base.remove(0, 1);
    const TComponent *owner = AComponent->Owner();
    for (qint64 n = 1;; ++n) {
        const QString candidate = base + QString::number(n);
        if (!owner || !owner->FindComponent(candidate))
            return candidate;
    }
}
