#include "components/scaling/zc_scale.h"

#include "components/appservices/zelk_registry.h"
#include "platform/settingsstore.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <limits>
#include <typeinfo>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<Tzc_Scaler> g_mainScaler;
// The main scaler was made before a GUI application with a screen existed: it has no screen to go
// by yet and reads it once there is one.
bool g_mainScalerAwaitsScreen = false;
std::unique_ptr<Tzc_Scaler::TScaleClasses> g_scaleClasses;

const QString ScalingKey = u"Scaling"_s;

QString rootKey()
{
    return TZelkRegistryOptions::RootKey() + u'\\';
}

// Scales bounds, an own font and the children, as the platform's scale change does. A window keeps
// its place and changes only its size.
void scaleWidget(QWidget *w, int m, int d)
{
    const QRect g = w->geometry();
    const int width = MulDiv(g.width(), m, d);
    const int height = MulDiv(g.height(), m, d);
    if (w->isWindow())
        w->resize(width, height);
    else
        w->setGeometry(MulDiv(g.x(), m, d), MulDiv(g.y(), m, d), width, height);
    if (w->testAttribute(Qt::WA_SetFont)) {
        QFont font = w->font();
        if (font.pixelSize() > 0)
            font.setPixelSize(std::max(1, MulDiv(font.pixelSize(), m, d)));
        else
            font.setPointSizeF(font.pointSizeF() * m / d);
        w->setFont(font);
    }
    for (QObject *child : w->children()) {
        auto *cw = qobject_cast<QWidget *>(child);
        if (cw && !cw->isWindow())
            scaleWidget(cw, m, d);
    }
}

} // namespace

const TUnit zc_ScaleUnit = {
    "zc_Scale",
    [] { g_scaleClasses = std::make_unique<Tzc_Scaler::TScaleClasses>(); },
    [] {
        g_mainScaler.reset();
        g_mainScalerAwaitsScreen = false;
        try {
            g_scaleClasses.reset();
        } catch (...) {
        }
    },
};

Tzc_Scaler *MainScaler()
{
    if (!g_mainScaler) {
        g_mainScaler = std::make_unique<Tzc_ScalerWork>(true);
        g_mainScalerAwaitsScreen = !Tzc_Scaler::HasScreen();
    } else if (g_mainScalerAwaitsScreen && Tzc_Scaler::HasScreen()) {
        // The same object, so that whoever holds it sees the screen too.
        g_mainScalerAwaitsScreen = false;
        static_cast<Tzc_ScalerWork *>(g_mainScaler.get())->TakeScreen(Tzc_Scaler::ScreenPixelsPerInchY());
    }
    return g_mainScaler.get();
}

std::unique_ptr<Tzc_Scaler> ReplaceMainScaler(std::unique_ptr<Tzc_Scaler> AScaler)
{
    std::swap(g_mainScaler, AScaler);
    // A scaler put in place brings its own resolution.
    g_mainScalerAwaitsScreen = false;
    return AScaler;
}

Tzc_Scaler::TScaleClasses *ScaleClasses()
{
    return g_scaleClasses.get();
}

// Tzc_Scaler

Tzc_Scaler::Tzc_Scaler() = default;
Tzc_Scaler::~Tzc_Scaler()
{
    if (TScaleClasses *classes = ScaleClasses())
        classes->Remove(this);
}

HRESULT Tzc_Scaler::QueryInterface(const QUuid &AIID, void **Obj)
{
    if (AIID == IZelk_ScalerInterface::IID || AIID == IInterface::IID) {
        *Obj = static_cast<IZelk_ScalerInterface *>(this);
        _AddRef();
        return S_OK;
    }
    *Obj = nullptr;
    return E_NOINTERFACE;
}

int Tzc_Scaler::_AddRef()
{
    return ++m_refCount;
}

int Tzc_Scaler::_Release()
{
    return --m_refCount;
}

void Tzc_Scaler::SetScalePercent(int Value)
{
    f_ScalePercent = Value;
}

void Tzc_Scaler::SetVirtualScale(int Value)
{
    Value = std::clamp(Value, 66, 150);
    if (fIsVirtual || Value == 100)
        return;
    if (typeid(*this) != typeid(Tzc_ScalerWork))
        throw Exception(u"Tzc_Scaler.IsVirtual darf ausschließlich im HauptScaler gesetzt werden."_s);
    if (ScalePercent() == 100) {
        SetScalePercent(Value);
        fIsVirtual = true;
    }
}

QString Tzc_Scaler::AsText(bool AInclActual) const
{
    const QChar narrow(0x202F);
    QString text = QString::number(ScalePercent()) + narrow + u'%';
    const int actual = ScalePercentActual();
    if (AInclActual && actual != ScalePercent())
        text += u" (Effektiv "_s + QString::number(actual) + narrow + u"%)"_s;
    return text;
}

bool Tzc_Scaler::HasScreen()
{
    // qGuiApp is only a cast: a console application object is no GUI application.
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) && QGuiApplication::primaryScreen();
}

int Tzc_Scaler::ScreenPixelsPerInchY()
{
    if (HasScreen())
        return RoundHalfEven(QGuiApplication::primaryScreen()->logicalDotsPerInchY());
    return 96;
}

bool Tzc_Scaler::IsNativeScaled()
{
    return ScreenPixelsPerInchY() != 96;
}

void Tzc_Scaler::TScaleClasses::Add(const QMetaObject *AClass, Tzc_Scaler *AScaler)
{
    m_classes.insert(AClass, AScaler);
}

void Tzc_Scaler::TScaleClasses::Remove(const Tzc_Scaler *AScaler)
{
    m_classes.removeIf([AScaler](const auto &entry) { return entry.value() == AScaler; });
}

void Tzc_Scaler::TScaleClasses::SetScaleValue(int Value)
{
    if (Value == fScaleValue)
        return;
    fScaleValue = Value;
    for (Tzc_Scaler *scaler : std::as_const(m_classes))
        scaler->SetScalePercent(Value);
}

// Tzc_ScalerWork

Tzc_ScalerWork::Tzc_ScalerWork(bool AMainScaler)
    : Tzc_ScalerWork(AMainScaler, AMainScaler ? ScreenPixelsPerInchY() : 96)
{
}

Tzc_ScalerWork::Tzc_ScalerWork(bool AMainScaler, int APixelsPerInchY)
    : m_main(AMainScaler)
{
    if (m_main)
        SetScalePercent(MulDiv(APixelsPerInchY, 100, 96));
    fScalePercentOrigin = ScalePercent();
}

void Tzc_ScalerWork::TakeScreen(int APixelsPerInchY)
{
    if (!m_main)
        return;
    const int percent = MulDiv(APixelsPerInchY, 100, 96);
    // A zoom chosen meanwhile holds only on a 96-dpi screen, as it would have from the start.
    if (fIsVirtual && percent == 100)
        return;
    fIsVirtual = false;
    SetScalePercent(percent);
    fScalePercentOrigin = percent;
}

void Tzc_ScalerWork::AfterConstruction()
{
    if (m_main)
        return;
    SetScalePercent(GetDefaultScalePercent());
    LoadFromRegistry();
    fScalePercentOrigin = ScalePercent();
}

int Tzc_ScalerWork::Effective() const
{
    if (m_main)
        return ScalePercent();
    const double main = MainScaler()->ScalePercent();
    return RoundHalfEven(main / 100.0 * (ScalePercent() / 100.0) * 100.0);
}

bool Tzc_ScalerWork::GetScaled() const
{
    return Effective() != 100;
}

void Tzc_ScalerWork::LoadFromRegistry()
{
    if (m_main)
        return;
    int stored = -1;
    try {
        TRegistry reg;
        reg.OpenKey(rootKey(), true);
        if (reg.OpenKey(ScalingKey, false))
            stored = reg.ReadInteger(GetRegistryIdent(), -1);
    } catch (const ERegistryException &e) {
        // A store that cannot be read leaves the default, as a missing value does.
        qWarning("%s", e.what());
    }
    if (stored > 1) {
        SetScalePercentChecked(stored);
    } else {
        try {
            SaveToRegistry();
        } catch (const Exception &) {
        }
    }
    fScalePercentOrigin = ScalePercent();
}

void Tzc_ScalerWork::SaveToRegistry()
{
    try {
        TRegistry reg;
        reg.OpenKey(rootKey() + ScalingKey, true);
        reg.WriteInteger(GetRegistryIdent(), ScalePercent());
    } catch (const Exception &e) {
        throw ERegistryException(e.message() + u"\r\r"_s + u" in Registrierung "_s
            + TZelkRegistryOptions::RootKey() + u'\\' + ScalingKey + u'\\');
    }
}

Tzc_Scaler *Tzc_ScalerWork::GetScaler()
{
    return MainScaler();
}

int Tzc_ScalerWork::ScaleValue(int AValue) const
{
    const int e = Effective();
    return e == 100 ? AValue : MulDiv(AValue, e, 100);
}

int Tzc_ScalerWork::ScaleValuePartial(int AValue, double APartialScale) const
{
    const int e = Effective();
    if (e == 100)
        return AValue;
    const double f = std::clamp(APartialScale, 0.0, 2.0);
    const int p = RoundHalfEven(((e / 100.0 - 1.0) * f + 1.0) * 100.0);
    return MulDiv(AValue, p, 100);
}

int Tzc_ScalerWork::ScaleValueNative(int AValue) const
{
    return ScalePercent() == 100 ? AValue : MulDiv(AValue, ScalePercent(), 100);
}

int Tzc_ScalerWork::ScaleValueReverse(int AValue) const
{
    const int e = Effective();
    return e == 100 ? AValue : MulDiv(AValue, 100, e);
}

bool Tzc_ScalerWork::ScaleRect(TRect &ARect) const
{
    if (!Scaled())
        return false;
    TRect r;
    r.Left = ScaleValue(ARect.Left);
    r.Top = ScaleValue(ARect.Top);
    r.Right = r.Left + ScaleValue(ARect.Right - ARect.Left);
    r.Bottom = r.Top + ScaleValue(ARect.Bottom - ARect.Top);
    if (r == ARect)
        return false;
    ARect = r;
    return true;
}

void Tzc_ScalerWork::ScaleWinControl(QWidget *AWinControl) const
{
    if (AWinControl)
        scaleWidget(AWinControl, Effective(), 100);
}

bool Tzc_ScalerWork::ScaleFormIfNotScaled(QWidget *AForm) const
{
    Tzc_Scaler *main = MainScaler();
    if (!main->Scaled())
        return false;
    if (AForm->property("Scaled").toBool() && !main->IsVirtual())
        return false;
    main->ScaleWinControl(AForm);
    AForm->setProperty("Scaled", true);
    return true;
}

void Tzc_ScalerWork::SetScalePercentChecked(int Value)
{
    if (typeid(*this) == typeid(Tzc_ScalerWork))
        throw Exception(u"ScalePercent darf nur in Ableitungen gesetzt werden"_s);
    SetScalePercent(Value);
}

QString Tzc_ScalerWork::GetRegistryIdent() const
{
    return u"{17DFC259-3EAB-48FB-9556-50F656EFDD8D}"_s;
}
