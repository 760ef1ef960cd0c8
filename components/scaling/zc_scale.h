#pragma once
// Display scaling of the library's own drawing (unit zc_Scale). Every size the library draws is
// designed for 96 dots per inch and passes through a scaler: the main scaler follows the screen's
// logical resolution (or a zoom chosen on a 96-dpi screen), a component scaler adds a percentage of
// its own kept per user in the settings store ("Software\Zelk Software\Scaling", value named by its
// identifier) on top of the main one.
//
// Rules:
// - Integer scaling is MulDiv: a x b / c with a 64-bit intermediate, halves away from zero; -1 when
//   the result leaves 32 bits or c is 0. Percentages computed in double precision round halves to
//   the even neighbour.
// - Component scalers are made with Tzc_ScalerWork::Create<T>(), which loads their percentage once
//   the object is complete, so that a subclass's identifier and default are the ones used.
// - Scalers are owned by whoever made them and freed explicitly; the interface's reference count
//   never frees one. GUI thread only.

#include "platform/interface.h"
#include "platform/numbers.h"
#include "platform/units.h"

#include <QHash>
#include <QString>

#include <memory>

class QWidget;
struct QMetaObject;

// A rectangle as the platform keeps one: right and bottom are exclusive edges.
struct TRect
{
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    friend bool operator==(const TRect &, const TRect &) = default;
};

class Tzc_Scaler;

class IZelk_ScalerInterface : public IInterface
{
public:
    static constexpr QUuid IID { 0xC15DCDE9, 0xC159, 0x4BF6, 0x9B, 0xB0, 0x21, 0xD6, 0xCA, 0xA7, 0xA0, 0xC1 };
    virtual Tzc_Scaler *GetScaler() = 0;
};

class Tzc_Scaler : public IZelk_ScalerInterface
{
public:
    Tzc_Scaler();
    ~Tzc_Scaler() override;
    Tzc_Scaler(const Tzc_Scaler &) = delete;
    Tzc_Scaler &operator=(const Tzc_Scaler &) = delete;

    HRESULT QueryInterface(const QUuid &AIID, void **Obj) override;
    int _AddRef() override;
    int _Release() override;

    virtual bool GetScaled() const = 0;
    virtual void SetScalePercent(int Value);
    virtual void LoadFromRegistry() = 0;
    virtual void SaveToRegistry() = 0;
    Tzc_Scaler *GetScaler() override = 0;
    virtual int ScaleValue(int AValue) const = 0;
    virtual int ScaleValuePartial(int AValue, double APartialScale) const = 0;
    virtual int ScaleValueNative(int AValue) const = 0;
    virtual int ScaleValueReverse(int AValue) const = 0;
    virtual bool ScaleRect(TRect &ARect) const = 0;
    // Scales position (not of a window), size, an own font and the children by the effective
    // percentage.
    virtual void ScaleWinControl(QWidget *AWinControl) const = 0;
    // Through the main scaler, unless the form's dynamic property "Scaled" is set (and no zoom is in
    // force); sets it afterwards.
    virtual bool ScaleFormIfNotScaled(QWidget *AForm) const = 0;

    int ScalePercent() const { return f_ScalePercent; }
    int ScalePercentActual() const { return ScaleValue(100); }
    bool Scaled() const { return GetScaled(); }
    bool IsVirtual() const { return fIsVirtual; }
    // Sets a zoom of 66 to 150 percent on the main scaler of a 96-dpi screen, once.
    void SetVirtualScale(int Value);
    bool Modified() const { return fScalePercentOrigin != f_ScalePercent; }
    // "110 %" with U+202F before the sign; with AInclActual and a different effective percentage
    // followed by " (Effektiv 138 %)".
    QString AsText(bool AInclActual) const;

    // The screen's logical resolution is not 96 dots per inch.
    static bool IsNativeScaled();
    // The screen's vertical logical resolution; 96 without a screen.
    static int ScreenPixelsPerInchY();
    // A GUI application with a screen exists.
    static bool HasScreen();

    // Which scaler serves which component class. Does not own the scalers: a scaler leaves the
    // register when it is freed, so the register never holds a freed one.
    class TScaleClasses
    {
    public:
        void Add(const QMetaObject *AClass, Tzc_Scaler *AScaler);
        // Drops every class AScaler serves.
        void Remove(const Tzc_Scaler *AScaler);
        Tzc_Scaler *Find(const QMetaObject *AClass) const { return m_classes.value(AClass); }
        int ScaleValue() const { return fScaleValue; }
        // Passes a changed value on to every registered scaler's SetScalePercent.
        void SetScaleValue(int Value);

    private:
        QHash<const QMetaObject *, Tzc_Scaler *> m_classes;
        int fScaleValue = 100;
    };

protected:
    bool fIsVirtual = false;
    int fScalePercentOrigin = 100;

private:
    int f_ScalePercent = 100;
    int m_refCount = 0;
};

class Tzc_ScalerWork : public Tzc_Scaler
{
public:
    // A main scaler from the screen; a component scaler starts from its default, unloaded: make
    // those with Create<T>().
    explicit Tzc_ScalerWork(bool AMainScaler);
    // A main scaler for a screen of this resolution.
    Tzc_ScalerWork(bool AMainScaler, int APixelsPerInchY);

    template <class T, class... Args> static std::unique_ptr<T> Create(Args &&...args)
    {
        std::unique_ptr<T> scaler(new T(std::forward<Args>(args)...));
        scaler->AfterConstruction();
        return scaler;
    }

    bool GetScaled() const override;
    void LoadFromRegistry() override;
    void SaveToRegistry() override;
    Tzc_Scaler *GetScaler() override;
    int ScaleValue(int AValue) const override;
    int ScaleValuePartial(int AValue, double APartialScale) const override;
    int ScaleValueNative(int AValue) const override;
    int ScaleValueReverse(int AValue) const override;
    bool ScaleRect(TRect &ARect) const override;
    void ScaleWinControl(QWidget *AWinControl) const override;
    bool ScaleFormIfNotScaled(QWidget *AForm) const override;

    // The guarded writer: only subclasses may change their percentage.
    virtual void SetScalePercentChecked(int Value);
    virtual QString GetRegistryIdent() const;
    virtual int GetDefaultScalePercent() const { return 100; }

    bool IsMainScaler() const { return m_main; }
    // A main scaler made before there was a screen takes its resolution now; a zoom set meanwhile
    // stays only on a 96-dpi screen.
    void TakeScreen(int APixelsPerInchY);
    // The effective percentage.
    int Effective() const;

protected:
    // Component scalers: the default percentage, then the stored one.
    void AfterConstruction();

private:
    bool m_main;
};

// The main scaler, made on first request from the screen's resolution. Asked before the GUI
// application exists (the units start before it), it has no screen yet: it answers for 96 dpi until
// then and takes the screen's resolution at the first request after the application came, so that
// the whole run does not keep the guess.
Tzc_Scaler *MainScaler();
// Puts another main scaler in place (a program choosing its resolution, tests); returns the old one.
std::unique_ptr<Tzc_Scaler> ReplaceMainScaler(std::unique_ptr<Tzc_Scaler> AScaler);
// The register of component classes; null outside the unit's run.
Tzc_Scaler::TScaleClasses *ScaleClasses();

// Creates the class register at start; frees it and the main scaler at the end.
extern const TUnit zc_ScaleUnit;
