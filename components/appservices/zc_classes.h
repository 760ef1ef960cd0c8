#pragma once
// Base classes of the library's non-visual components: an update counter, construction and
// destruction hooks, and the routine that finds a free component name.

#include "platform/component.h"

class Tzc_CustomComponent : public TComponent
{
    Q_OBJECT

public:
    explicit Tzc_CustomComponent(TComponent *AOwner = nullptr);
    ~Tzc_CustomComponent() override;

    // Nesting of BeginUpdate/EndUpdate; never negative. Reaching 0 triggers nothing here.
    virtual void BeginUpdate();
    virtual void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }

    // The class name without a leading upper-case "T", followed by the first number n = 1, 2, ...
    // for which AComponent's owner has no component of that name (compared without regard to case).
    // A component without owner gets n = 1.
    static QString GetUniqueName(const TComponent *AComponent);

    void AfterConstruction() override;
    void BeforeDestruction() override;

protected:
    // Runs once the component is fully constructed (through Create<T>() or the form reader).
    virtual void InitializeComponent() { }
    // Runs when destruction begins (through Free() or the owner), before anything is torn down;
    // the component and the ones it owns are already marked as being destroyed.
    virtual void FinalizeComponent() { }

private:
    int FUpdateCount = 0;
};

// The class concrete components derive from.
class Tzc_Component : public Tzc_CustomComponent
{
    Q_OBJECT

public:
    using Tzc_CustomComponent::Tzc_CustomComponent;
};
