#include "components/panels/titlepanel.h"

#include "components/panels/collapsepanel.h"
#include "components/panels/collapsestyle.h"
#include "components/scaling/zc_hooks.h"
#include "components/scaling/zc_scale.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPointer>

namespace {

TTitlePanelSkinColorProc g_skinColor = nullptr;

// The identifier of this thread's focus hook; only the thread that started the unit has one.
thread_local QUuid FocusHookGUID;
// The widget that lost the focus last, for the FocusIn that follows its FocusOut.
thread_local QPointer<QWidget> g_lostFocus;

void fillColor(QPainter &Canvas, const QRect &R, TColor C)
{
    Canvas.fillRect(R, ToQColor(C));
}

// A one-pixel outline of R, as the platform's frame of a rectangle.
void frameRect(QPainter &Canvas, const QRect &R, TColor C)
{
    if (R.isEmpty())
        return;
    const QColor c = ToQColor(C);
    Canvas.fillRect(QRect(R.left(), R.top(), R.width(), 1), c);
    Canvas.fillRect(QRect(R.left(), R.bottom(), R.width(), 1), c);
    Canvas.fillRect(QRect(R.left(), R.top(), 1, R.height()), c);
    Canvas.fillRect(QRect(R.right(), R.top(), 1, R.height()), c);
}

void titlePanelFocusHook(QObject *Receiver, QEvent *Event)
{
    // Runs for every event of the thread: everything but the two focus events costs one comparison.
    static_assert(QEvent::FocusOut == QEvent::FocusIn + 1);
    if (unsigned(Event->type()) - unsigned(QEvent::FocusIn) > 1u)
        return;
    // The style object gets the same events after the widget.
    if (!Receiver->isWidgetType())
        return;
    try {
        auto *w = static_cast<QWidget *>(Receiver);
        QWidget *other = nullptr;
        if (Event->type() == QEvent::FocusOut) {
            // Qt names the new focus widget before it tells the old one.
            other = QApplication::focusWidget();
            g_lostFocus = w;
        } else {
            other = g_lostFocus.data();
            g_lostFocus.clear();
        }
        if (other == w)
            other = nullptr;
        NotifyTitlePanels(w, other);
    } catch (const std::exception &e) {
        qWarning("Title panel focus notification failed: %s", e.what());
    } catch (...) {
        qWarning("Title panel focus notification failed");
    }
}

void startTitlePanel()
{
    Tzc_Hooks *hooks = HookRegistry();
    if (!hooks) {
        // Panels then simply keep their colour; the order of the units is the program's mistake.
        qWarning("TitlePanel: the hook register is not running; title panels will not follow the focus");
        return;
    }
    FocusHookGUID = hooks->AddHook(WH_CALLWNDPROC, titlePanelFocusHook);
}

void finishTitlePanel()
{
    if (Tzc_Hooks *hooks = HookRegistry())
        hooks->RemoveHook(FocusHookGUID);
    FocusHookGUID = QUuid();
    g_lostFocus.clear();
}

} // namespace

struct TCustomTitlePanel::TPrivate
{
    TDrawTitleEvent fOnDrawTitle;
    TTitlePanelStyle fStyle = psFramed;
    int fFrameWidth = 1;
    bool fAsPanel = false;
    bool FNativeStyle = true;
    bool parentBackground = true;
    TColor FActiveFrameColor = clActiveCaption;
    TColor FInactiveFrameColor = clInactiveCaption;
    QString caption;
    std::unique_ptr<TCustomTitlePanelTitle> FTitle;
};

// ---- plain properties

TCustomTitlePanelTitle *TCustomTitlePanel::Title() const
{
    return d->FTitle.get();
}

QString TCustomTitlePanel::Caption() const
{
    return d->caption;
}

TTitlePanelStyle TCustomTitlePanel::Style() const
{
    return d->fStyle;
}

int TCustomTitlePanel::FrameWidth() const
{
    return d->fFrameWidth;
}

bool TCustomTitlePanel::AsPanel() const
{
    return d->fAsPanel;
}

bool TCustomTitlePanel::NativeStyle() const
{
    return d->FNativeStyle;
}

bool TCustomTitlePanel::ParentBackground() const
{
    return d->parentBackground;
}

TColor TCustomTitlePanel::ActiveFrameColor() const
{
    return d->FActiveFrameColor;
}

TColor TCustomTitlePanel::InactiveFrameColor() const
{
    return d->FInactiveFrameColor;
}

TDrawTitleEvent TCustomTitlePanel::OnDrawTitle() const
{
    return d->fOnDrawTitle;
}

const TUnit TitlePanelUnit = { "TitlePanel", startTitlePanel, finishTitlePanel };

QUuid TitlePanelFocusHookGUID()
{
    return FocusHookGUID;
}

std::optional<TColor> TitlePanelSkinColor()
{
    if (g_skinColor)
        return g_skinColor();
    const TCollapseHolder *holder = CollapseHolder();
    const TCollapsStyle *style = holder ? holder->CollapsStyleObj() : nullptr;
    if (style && style->IsLookAndSkin())
        return style->InnerColor();
    return std::nullopt;
}

TTitlePanelSkinColorProc SetTitlePanelSkinColor(TTitlePanelSkinColorProc AProc)
{
    return std::exchange(g_skinColor, AProc);
}

TCustomTitlePanel *FindEnclosingTitlePanel(const QWidget *W)
{
    if (!W || W->isWindow())
        return nullptr;
    for (QWidget *p = W->parentWidget(); p; p = p->isWindow() ? nullptr : p->parentWidget()) {
        if (auto *panel = qobject_cast<TCustomTitlePanel *>(p))
            return panel;
    }
    return nullptr;
}

void NotifyTitlePanels(QWidget *W, QWidget *Other)
{
    const auto walk = [W, Other](QWidget *from) {
        for (QPointer<TCustomTitlePanel> p = FindEnclosingTitlePanel(from); p;
             p = FindEnclosingTitlePanel(p)) {
            // One panel's failure does not keep the others from hearing of the move.
            try {
                p->FocusMoved(Other, W);
            } catch (const std::exception &e) {
                qWarning("A title panel failed to follow the focus: %s", e.what());
            }
        }
    };
    walk(Other);
    walk(W);
}

// TCustomTitlePanel

TCustomTitlePanel::TCustomTitlePanel(QWidget *AParent)
    : QWidget(AParent)
    , d(std::make_unique<TPrivate>())
{
    InitPanel();
}

TCustomTitlePanel::~TCustomTitlePanel()
{
    FreeTitle();
}

void TCustomTitlePanel::InitPanel()
{
    d->fOnDrawTitle = nullptr;
    d->fStyle = psFramed;
    d->fFrameWidth = 1;
    d->fAsPanel = false;
    d->FNativeStyle = true;
    d->parentBackground = true;
    d->FActiveFrameColor = clActiveCaption;
    d->FInactiveFrameColor = clInactiveCaption;
    FreeTitle();
    d->FTitle.reset(GetTitleClass()(this));
    Realign();
}

void TCustomTitlePanel::FreeTitle()
{
    d->FTitle.reset();
}

TTitlePanelTitleClass TCustomTitlePanel::GetTitleClass() const
{
    return TitlePanelTitleClass<TBasicTitlePanelTitle>();
}

void TCustomTitlePanel::Loaded()
{
    if (!d->FTitle)
        return;
    const Tzc_Scaler *scaler = MainScaler();
    const TTitleUpdateGuard update(d->FTitle.get());
    d->FTitle->SetHeight(scaler->ScaleValue(d->FTitle->Height()));
    QFont font = d->FTitle->Font();
    if (font.pointSize() > 0)
        font.setPointSize(scaler->ScaleValue(font.pointSize()));
    else if (font.pixelSize() > 0)
        font.setPixelSize(scaler->ScaleValue(font.pixelSize()));
    d->FTitle->SetFont(font);
}

QRect TCustomTitlePanel::GetTitleRect() const
{
    QRect r = rect();
    if (d->FTitle)
        d->FTitle->CalcTitleRect(r);
    return r;
}

void TCustomTitlePanel::AdjustClientRect(QRect &R) const
{
    // The platform panel has neither bevels nor a border here, so its own rule takes nothing away.
    if (d->fAsPanel || !d->FTitle)
        return;
    d->FTitle->AdjustPanelClientRect(R);
    if (d->fStyle == psFramed)
        R.adjust(2 * d->fFrameWidth, 2 * d->fFrameWidth, -2 * d->fFrameWidth, -2 * d->fFrameWidth);
}

void TCustomTitlePanel::Realign()
{
    // The rule only takes fixed amounts off the edges, so any rectangle large enough shows them.
    const QRect all(0, 0, 1 << 20, 1 << 20);
    QRect r = all;
    AdjustClientRect(r);
    setContentsMargins(
        r.left() - all.left(), r.top() - all.top(), all.right() - r.right(), all.bottom() - r.bottom());
}

bool TCustomTitlePanel::ContainsWindow(const QWidget *AWindow) const
{
    return AWindow && AWindow != this && isAncestorOf(AWindow);
}

bool TCustomTitlePanel::TracksFocus() const
{
    return false;
}

bool TCustomTitlePanel::Focused() const
{
    if (hasFocus())
        return true;
    const QWidget *focus = QApplication::focusWidget();
    return focus && (focus == this || isAncestorOf(focus));
}

TColor TCustomTitlePanel::GetTitleColor() const
{
    const bool active = !TracksFocus() || Focused();
    if (!d->FNativeStyle) {
        if (const std::optional<TColor> inner = TitlePanelSkinColor())
            return DarkenColor(*inner, active ? 0.2 : 0.15);
    }
    return active ? d->FActiveFrameColor : d->FInactiveFrameColor;
}

TColor TCustomTitlePanel::GetBackgroundColor() const
{
    if (!d->FNativeStyle) {
        if (const std::optional<TColor> inner = TitlePanelSkinColor())
            return DarkenColor(*inner, 0.15);
    }
    const QWidget *from = parentWidget() ? parentWidget() : this;
    return FromQColor(from->palette().color(from->backgroundRole()));
}

void TCustomTitlePanel::RefreshTitle()
{
    Invalidate();
    Realign();
}

void TCustomTitlePanel::Invalidate()
{
    update();
}

void TCustomTitlePanel::FocusMoved(QWidget *AOther, QWidget *AWindow)
{
    if (!TracksFocus())
        return;
    // The focus crossed the border only when exactly one side lies inside.
    if (ContainsWindow(AOther) != ContainsWindow(AWindow))
        Invalidate();
}

void TCustomTitlePanel::SetCaption(const QString &Value)
{
    if (d->caption == Value)
        return;
    d->caption = Value;
    Invalidate();
}

void TCustomTitlePanel::SetStyle(TTitlePanelStyle Value)
{
    if (d->fStyle == Value)
        return;
    d->fStyle = Value;
    RefreshTitle();
}

void TCustomTitlePanel::SetFrameWidth(int Value)
{
    if (d->fFrameWidth == Value)
        return;
    d->fFrameWidth = Value;
    RefreshTitle();
}

void TCustomTitlePanel::SetAsPanel(bool Value)
{
    if (d->fAsPanel == Value)
        return;
    d->fAsPanel = Value;
    RefreshTitle();
}

void TCustomTitlePanel::SetNativeStyle(bool Value)
{
    if (d->FNativeStyle == Value)
        return;
    d->FNativeStyle = Value;
    Invalidate();
}

void TCustomTitlePanel::SetParentBackground(bool Value)
{
    if (d->parentBackground == Value)
        return;
    d->parentBackground = Value;
    Invalidate();
}

void TCustomTitlePanel::SetActiveFrameColor(TColor Value)
{
    if (d->FActiveFrameColor == Value)
        return;
    if (d->FTitle)
        d->FTitle->SetActiveColor(Value);
    d->FActiveFrameColor = Value;
    RefreshTitle();
}

void TCustomTitlePanel::SetInactiveFrameColor(TColor Value)
{
    if (d->FInactiveFrameColor == Value)
        return;
    if (d->FTitle)
        d->FTitle->SetInactiveColor(Value);
    d->FInactiveFrameColor = Value;
    RefreshTitle();
}

void TCustomTitlePanel::SetOnDrawTitle(TDrawTitleEvent Value)
{
    d->fOnDrawTitle = std::move(Value);
    Invalidate();
}

void TCustomTitlePanel::paintEvent(QPaintEvent *Event)
{
    Q_UNUSED(Event)
    QPainter canvas(this);
    const TColor c = GetTitleColor();
    if (d->fAsPanel) {
        // The plain panel: its own background unless the parent's shows, and the caption centred.
        if (!d->parentBackground)
            canvas.fillRect(rect(), palette().color(backgroundRole()));
        canvas.setPen(palette().color(foregroundRole()));
        canvas.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, d->caption);
        return;
    }
    // Without bevels or border the whole client rectangle is the panel's.
    const QRect r = rect();
    if (d->fStyle == psFramed) {
        QRect ring = r;
        for (int i = 0; i < d->fFrameWidth && !ring.isEmpty(); ++i) {
            frameRect(canvas, ring, c);
            ring.adjust(1, 1, -1, -1);
        }
    }
    QRect cr = r;
    AdjustClientRect(cr);
    if (!d->parentBackground)
        fillColor(canvas, cr, GetBackgroundColor());
    canvas.setBrush(Qt::NoBrush);
    canvas.setFont(font());
    if (d->FTitle)
        d->FTitle->Draw(canvas, r);
}
