#include "collapsepanel.h"

#include "components/appservices/zelk_registry.h"
#include "components/panels/xgraphic.h"
#include "platform/numbers.h"
#include "platform/settingsstore.h"
#include "platform/widgets/application.h"

#include <QApplication>
#include <QMainWindow>
#include <QMetaClassInfo>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollArea>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QWidget *requireHolder(QWidget *AOwner)
{
    if (!CollapseHolder())
        throw Exception(u"Kein gültiger Layoutkomponente für TCollapsePanel"_s);
    return AOwner;
}

bool sideOrClient(TAlign a)
{
    return a == TAlign::alLeft || a == TAlign::alRight || a == TAlign::alClient;
}

QList<QWidget *> childWidgets(const QWidget *w)
{
    return w->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
}

bool isOwnerView(const QWidget *w)
{
    return TZelkRegistryOptions::IsFrame(w) || TZelkRegistryOptions::IsForm(w);
}

constexpr const char *AlignProperty = "zcAlign";
constexpr const char *AlignWithMarginsProperty = "zcAlignWithMargins";
constexpr const char *MarginsProperty = "zcMargins";
// Set on a child while the panel has masked it.
constexpr const char *ClippedProperty = "zcClippedByPanel";

} // namespace

struct TCollapsePanel::TPrivate
{
    bool fPrivResize = false;
    bool fAsPanel = false;
    bool fCollapseOtherPanels = false;
    bool fCollapsed = false;
    int fExpandSteps = -1;
    TCollapseHolder *fCollapseHolder = nullptr; // null once the holder is gone
    std::unique_ptr<TCollapsStyle> orphanStyle;
    bool fSizeing = false;
    float fExpandProgress = 0;
    QString fAutoSaveByName;
    bool fAutoLoad = false;
    bool fAutoSave = false;
    QString fIniPfad;
    bool FAutoExpandOnFocus = true;
    bool FAutoCollapseOnLostFocus = false;
    bool fAutoConstraint = true;
    bool scrollSearched = false;
    QPointer<QScrollArea> fParentScrollingWinControl;
    bool FAutoScrollInView = false;
    QString caption;
    TAlign align = TAlign::alNone;
    TColor color = clBtnFace;
    TColor fontColor = clBlack;
    bool loading = false;
    bool destroying = false;
    bool aligning = false;
};

TCollapsePanel::TCollapsePanel(QWidget *AOwner)
    : QWidget(requireHolder(AOwner))
    , d(std::make_unique<TPrivate>())
{
    d->fCollapseHolder = CollapseHolder();
    // The style paints every pixel itself; nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    d->color = clBtnFace;
    d->fCollapseHolder->Add(this);
    if (qApp)
        connect(qApp, &QApplication::focusChanged, this, &TCollapsePanel::focusMoved);
}

TCollapsePanel::~TCollapsePanel()
{
    d->destroying = true;
    if (qApp)
        disconnect(qApp, nullptr, this, nullptr);
    try {
        // The run's ready handler still fires, before the state is saved.
        TTriggerObject::RemoveOngoingProcess(this);
        if (d->fAutoSave)
            WriteEinstellungen();
    } catch (const std::exception &e) {
        qWarning("%s", e.what());
    } catch (...) {
    }
    for (QWidget *child : childWidgets(this))
        child->removeEventFilter(this);
    if (d->fCollapseHolder)
        d->fCollapseHolder->Remove(this);
}

// ---- plain properties

bool TCollapsePanel::Collapse() const
{
    return d->fCollapsed;
}

bool TCollapsePanel::Expand() const
{
    return !d->fCollapsed;
}

bool TCollapsePanel::Sizeing() const
{
    return d->fSizeing;
}

int TCollapsePanel::ExpandSteps() const
{
    return d->fExpandSteps;
}

void TCollapsePanel::SetExpandSteps(int Value)
{
    d->fExpandSteps = Value;
}

bool TCollapsePanel::CollapseOtherPanels() const
{
    return d->fCollapseOtherPanels;
}

bool TCollapsePanel::AutoExpandOnFocus() const
{
    return d->FAutoExpandOnFocus;
}

void TCollapsePanel::SetAutoExpandOnFocus(bool Value)
{
    d->FAutoExpandOnFocus = Value;
}

bool TCollapsePanel::AutoCollapseOnLostFocus() const
{
    return d->FAutoCollapseOnLostFocus;
}

void TCollapsePanel::SetAutoCollapseOnLostFocus(bool Value)
{
    d->FAutoCollapseOnLostFocus = Value;
}

bool TCollapsePanel::AsPanel() const
{
    return d->fAsPanel;
}

bool TCollapsePanel::AutoConstraint() const
{
    return d->fAutoConstraint;
}

void TCollapsePanel::SetAutoConstraint(bool Value)
{
    d->fAutoConstraint = Value;
}

QString TCollapsePanel::AutoSaveByName() const
{
    return d->fAutoSaveByName;
}

bool TCollapsePanel::AutoLoad() const
{
    return d->fAutoLoad;
}

void TCollapsePanel::SetAutoLoad(bool Value)
{
    d->fAutoLoad = Value;
}

bool TCollapsePanel::AutoSave() const
{
    return d->fAutoSave;
}

void TCollapsePanel::SetAutoSave(bool Value)
{
    d->fAutoSave = Value;
}

QString TCollapsePanel::Caption() const
{
    return d->caption;
}

TAlign TCollapsePanel::Align() const
{
    return d->align;
}

TColor TCollapsePanel::Color() const
{
    return d->color;
}

TColor TCollapsePanel::CanvasFontColor() const
{
    return d->fontColor;
}

void TCollapsePanel::SetCanvasFontColor(TColor Value)
{
    d->fontColor = Value;
}

bool TCollapsePanel::Loading() const
{
    return d->loading;
}

void TCollapsePanel::BeginLoading()
{
    d->loading = true;
}

void TCollapsePanel::SetSizeing(bool Value)
{
    d->fSizeing = Value;
}

bool TCollapsePanel::AutoScrollInView() const
{
    return d->FAutoScrollInView;
}

void TCollapsePanel::SetAutoScrollInView(bool Value)
{
    d->FAutoScrollInView = Value;
}

TCollapsStyle *TCollapsePanel::style() const
{
    if (d->fCollapseHolder) {
        if (TCollapsStyle *installed = d->fCollapseHolder->CollapsStyleObj())
            return installed;
    }
    // Without a holder (the unit has finished) the panel keeps the base style's geometry.
    if (!d->orphanStyle)
        d->orphanStyle = std::make_unique<TCollapsStyle>();
    return d->orphanStyle.get();
}

void TCollapsePanel::holderGone()
{
    d->fCollapseHolder = nullptr;
    update();
}

float TCollapsePanel::ExpandSingle() const
{
    if (d->fSizeing)
        return d->fExpandProgress;
    return d->fCollapsed ? 0.0f : 1.0f;
}

// ---- the collapse change

void TCollapsePanel::SetCollapse(bool Value)
{
    if ((Value && d->fAsPanel) || Value == d->fCollapsed || d->destroying)
        return;
    if (Value) {
        if (sideOrClient(d->align))
            return;
        if (OnBeforeCollapse)
            OnBeforeCollapse(this);
        const QList<QWidget *> children = childWidgets(this);
        if (children.isEmpty()) {
            d->fCollapsed = true;
            return;
        }
        for (qsizetype i = children.size() - 1; i >= 0; --i) {
            if (sideOrClient(ChildAlign(children.at(i))))
                return;
        }
    } else if (OnBeforeExpand) {
        OnBeforeExpand(this);
    }
    // A handler that raises while the children are laid out (before a run exists) must not leave
    // the panel sizing for ever: the flag goes back unless a run or the change at once took over.
    QScopedValueRollback sizeing(d->fSizeing, true);
    d->fCollapsed = Value;
    AlignControls();
    const int target = Value ? style()->GetCollapsePanelCollapseHeight(this) : HeightExpanded();
    const int steps = StepsFor(d->fExpandSteps, std::abs(target - height()));
    if (AnimationEnabled() && AnimationAllowed() && !d->loading && !d->destroying && d->fExpandSteps != 0
        && TriggerThread()) {
        TTriggerObject *run = TTriggerObject::Create(this, height(), target, steps, Value);
        sizeing.commit();
        run->SetReadyProc([this](TTriggerObject *, bool ADirection) { ExpandReady(nullptr, ADirection); });
    } else {
        d->fSizeing = false;
        sizeing.commit();
        if (height() != target)
            SetHeight(target);
        ExpandReady(nullptr, Value);
    }
    if (!d->loading && d->fCollapseOtherPanels && !d->fCollapsed)
        DoCollapseOtherPanels();
}

int TCollapsePanel::StepsFor(int AExpandSteps, int ADistance)
{
    const int steps = std::min(AExpandSteps, 100);
    if (steps >= 0)
        return steps;
    if (ADistance >= 300)
        return 15;
    return std::max(0, RoundHalfEven((double(ADistance * 15) / 300 * 2 + 15) / 3));
}

void TCollapsePanel::ExpandReady(QObject *, bool ADirection)
{
    d->fSizeing = false;
    if (d->loading)
        return;
    AlignControls();
    update();
    if (d->FAutoScrollInView) {
        d->FAutoScrollInView = false;
        ScrollInView();
    }
    if (ADirection) {
        style()->AfterCollapse(this);
        if (OnAfterCollapse)
            OnAfterCollapse(this);
    } else {
        style()->AfterExpand(this);
        if (OnAfterExpand)
            OnAfterExpand(this);
    }
}

void TCollapsePanel::SetExpandImmediately(bool Value)
{
    if (Value == Expand())
        return;
    const int steps = d->fExpandSteps;
    struct Restore
    {
        int &field;
        int value;
        ~Restore() { field = value; }
    } restore { d->fExpandSteps, steps };
    d->fExpandSteps = 0;
    SetExpand(Value);
}

void TCollapsePanel::SetAsPanel(bool Value)
{
    if (Value == d->fAsPanel)
        return;
    d->fAsPanel = Value;
    if (Value)
        SetCollapse(false);
    AlignControls();
    if (Value)
        SetExpand(true);
    childrenChanged();
    update();
}

void TCollapsePanel::SetCollapseOtherPanels(bool Value)
{
    if (Value == d->fCollapseOtherPanels)
        return;
    d->fCollapseOtherPanels = Value;
    if (Value)
        DoCollapseOtherPanels();
}

void TCollapsePanel::DoCollapseOtherPanels()
{
    if (d->loading || !parentWidget())
        return;
    for (QObject *sibling : parentWidget()->children()) {
        auto *panel = qobject_cast<TCollapsePanel *>(sibling);
        if (panel && panel != this)
            panel->SetCollapse(true);
    }
}

void TCollapsePanel::SetExpandProgress(float Value)
{
    d->fExpandProgress = Value;
    update();
}

void TCollapsePanel::SetHeight(int Value)
{
    // A panel stacked in a layout keeps the height it is given; a side or client panel is sized by
    // its parent.
    if (sideOrClient(d->align))
        resize(width(), Value);
    else
        setFixedHeight(Value);
    // The new client rectangle before the next paint, also while the panel is not shown (no resize
    // event then).
    clipChildren();
}

// ---- geometry

int TCollapsePanel::CollapsePanelHeaderHeight() const
{
    return style()->GetCollapsePanelHeaderHeight(this);
}

int TCollapsePanel::CollapsePanelBottomSpace() const
{
    return style()->GetCollapsePanelBottomSpace(this);
}

int TCollapsePanel::HeightExpanded() const
{
    const int base = d->fAsPanel ? 0 : style()->GetCollapsePanelHeaderHeight(this);
    if (sideOrClient(d->align))
        return std::max(base, height());
    const int space = style()->GetCollapsePanelBottomSpace(this);
    int result = base;
    for (const QWidget *child : childWidgets(this)) {
        if (child->isHidden())
            continue;
        int bottom = child->y() + child->height();
        const TAlign a = ChildAlign(child);
        if (child->property(AlignWithMarginsProperty).toBool()
            && (a == TAlign::alTop || a == TAlign::alBottom))
            bottom += child->property(MarginsProperty).value<QMargins>().bottom();
        result = std::max(result, bottom + space + 1);
    }
    return result;
}

QRect TCollapsePanel::AdjustClientRect() const
{
    if (d->fAsPanel)
        return rect();
    QRect r = style()->GetClientRect(this).adjusted(1, 1, -1, -1);
    // Children of a collapsed panel are laid out below the visible area.
    if (d->fCollapsed && !d->fSizeing)
        r.translate(0, 5000);
    return r;
}

void TCollapsePanel::ConstrainedResize(int &MinWidth, int &MinHeight, int &MaxWidth, int &MaxHeight) const
{
    Q_UNUSED(MinWidth);
    Q_UNUSED(MaxWidth);
    Q_UNUSED(MaxHeight);
    if (d->fAsPanel || d->fSizeing || d->fCollapsed)
        return;
    if (d->fAutoConstraint && d->align == TAlign::alClient)
        MinHeight = std::max(MinHeight, style()->GetCollapsePanelCollapseHeight(this) + 80);
}

void TCollapsePanel::ReExpand()
{
    const QScopedValueRollback priv(d->fPrivResize, true);
    const int target = d->fCollapsed ? style()->GetCollapsePanelCollapseHeight(this) : HeightExpanded();
    if (height() != target)
        SetHeight(target);
}

void TCollapsePanel::SetChildAlign(
    QWidget *AChild, TAlign AAlign, bool AAlignWithMargins, const QMargins &AMargins)
{
    AChild->setProperty(AlignProperty, int(AAlign));
    AChild->setProperty(AlignWithMarginsProperty, AAlignWithMargins);
    AChild->setProperty(MarginsProperty, QVariant::fromValue(AMargins));
    if (auto *panel = qobject_cast<TCollapsePanel *>(AChild))
        panel->d->align = AAlign;
    if (auto *parent = qobject_cast<TCollapsePanel *>(AChild->parentWidget()))
        parent->childrenChanged();
}

TAlign TCollapsePanel::ChildAlign(const QWidget *AChild)
{
    if (auto *panel = qobject_cast<const TCollapsePanel *>(AChild))
        return panel->d->align;
    return TAlign(AChild->property(AlignProperty).toInt());
}

void TCollapsePanel::SetAlign(TAlign Value)
{
    SetChildAlign(this, Value, property(AlignWithMarginsProperty).toBool(),
        property(MarginsProperty).isValid() ? property(MarginsProperty).value<QMargins>()
                                            : QMargins(3, 3, 3, 3));
    if (sideOrClient(Value)) {
        setMinimumHeight(0);
        setMaximumHeight(QWIDGETSIZE_MAX);
    }
}

void TCollapsePanel::AlignControls()
{
    if (d->aligning)
        return;
    const QScopedValueRollback aligning(d->aligning, true);
    QRect r = AdjustClientRect();
    const QList<QWidget *> children = childWidgets(this);
    // As the platform aligns: top, bottom, left, right, then client, each in child order.
    for (TAlign pass :
        { TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient }) {
        for (QWidget *child : children) {
            if (child->isHidden() || ChildAlign(child) != pass)
                continue;
            const QMargins m = child->property(AlignWithMarginsProperty).toBool()
                ? child->property(MarginsProperty).value<QMargins>()
                : QMargins();
            const int w = child->width() + m.left() + m.right();
            const int h = child->height() + m.top() + m.bottom();
            QRect outer;
            switch (pass) {
            case TAlign::alTop:
                outer = QRect(r.left(), r.top(), r.width(), h);
                r.setTop(r.top() + h);
                break;
            case TAlign::alBottom:
                outer = QRect(r.left(), r.bottom() + 1 - h, r.width(), h);
                r.setBottom(r.bottom() - h);
                break;
            case TAlign::alLeft:
                outer = QRect(r.left(), r.top(), w, r.height());
                r.setLeft(r.left() + w);
                break;
            case TAlign::alRight:
                outer = QRect(r.right() + 1 - w, r.top(), w, r.height());
                r.setRight(r.right() - w);
                break;
            default:
                outer = r;
                break;
            }
            child->setGeometry(outer.marginsRemoved(m));
        }
    }
    clipChildren();
}

void TCollapsePanel::clipChildren()
{
    // While the panel folds, and while it is folded, its children end where the frame's inner edge
    // is: what lies below is hidden as if behind the frame, instead of showing over the frame, the
    // shadow and what lies below the panel. An expanded panel leaves its children alone.
    const bool clip = (d->fSizeing || d->fCollapsed) && !d->fAsPanel && d->fCollapseHolder;
    const QRect client = clip ? style()->GetClientRect(this) : QRect();
    for (QWidget *child : childWidgets(this)) {
        if (child->isWindow())
            continue;
        const QRect g = child->geometry();
        const int top = std::max(g.y(), client.y());
        const int bottom = std::min(g.y() + g.height(), client.y() + client.height());
        const bool whole = !clip || (top == g.y() && bottom == g.y() + g.height());
        if (whole) {
            if (child->property(ClippedProperty).toBool()) {
                child->clearMask();
                child->setProperty(ClippedProperty, false);
            }
            continue;
        }
        // An empty mask would mean no mask: nothing visible is a pixel outside the child.
        const QRegion visible
            = bottom > top ? QRegion(0, top - g.y(), g.width(), bottom - top) : QRegion(-1, -1, 1, 1);
        if (child->mask() != visible)
            child->setMask(visible);
        child->setProperty(ClippedProperty, true);
    }
}

void TCollapsePanel::childrenChanged()
{
    if (d->aligning || d->fPrivResize || d->loading || d->destroying)
        return;
    AlignControls();
    if (!d->fSizeing && d->align != TAlign::alClient && !d->fAsPanel)
        ReExpand();
}

// ---- caption and colours

void TCollapsePanel::SetCaption(const QString &Value)
{
    if (Value == d->caption)
        return;
    d->caption = Value;
    update();
}

QString TCollapsePanel::CaptionDoubleAmpersand() const
{
    if (d->caption.contains(u"&&"_s))
        return d->caption;
    QString text = d->caption;
    return text.replace(u'&', u"&&"_s);
}

void TCollapsePanel::SetColor(TColor Value)
{
    if (Value == d->color)
        return;
    d->color = Value;
    update();
}

void TCollapsePanel::MakeFontKontrast(TColor CBaseColor, float MinKontrast)
{
    constexpr float threshold = 0.66f;
    const auto enough = [&] { return ColorBrightnessDiff(d->fontColor, CBaseColor) >= MinKontrast; };
    if (enough())
        return;
    d->fontColor = ContrastColor(CBaseColor, MinKontrast, threshold);
    if (!enough()) {
        // The complement of the channels: all 32 bits would make a system colour of it.
        CBaseColor = ~ColorToRGB(CBaseColor) & 0xFFFFFF;
        d->fontColor = ContrastColor(CBaseColor, MinKontrast, threshold);
    }
    if (!enough()) {
        d->fontColor = ContrastColor(clBlack, MinKontrast, threshold);
        CBaseColor = clBlack;
    }
    if (!enough())
        d->fontColor = ContrastColor(clWhite, MinKontrast, threshold);
}

// ---- saved state

void TCollapsePanel::SetAutoSaveByName(const QString &Value)
{
    if (Value == d->fAutoSaveByName)
        return;
    d->fIniPfad.clear();
    d->fAutoSaveByName = Value;
}

QString TCollapsePanel::IniPfad()
{
    if (!d->fIniPfad.isEmpty())
        return d->fIniPfad;
    const QString name = d->fAutoSaveByName.trimmed();
    QString path = TZelkRegistryOptions::RootKey() + u'\\';
    if (TZelkRegistryOptions::HasApplicationKey()) {
        path += TZelkRegistryOptions::ApplicationKey();
        if (!name.isEmpty())
            path += u"\\CollapsePanels\\"_s + name;
        else // the control path ends with its delimiter: no empty segment
            path += u'\\' + TZelkRegistryOptions::ControlPath(this) + u"collapse\\"_s + objectName();
    } else {
        path += TZelkRegistryOptions::ApplicationTitle() + u"\\CollapsePanels\\"_s;
        if (!name.isEmpty()) {
            path += name;
        } else {
            const QWidget *view = this;
            for (const QWidget *w = parentWidget(); w; w = w->parentWidget()) {
                if (isOwnerView(w)) {
                    view = w;
                    break;
                }
            }
            path += QLatin1StringView(view->metaObject()->className()) + u'\\' + objectName();
        }
    }
    d->fIniPfad = path;
    return d->fIniPfad;
}

void TCollapsePanel::WriteEinstellungen()
{
    TRegistry reg;
    reg.OpenKey(u'\\' + IniPfad(), true);
    reg.WriteString(QString(), d->fCollapsed ? u"1"_s : u"0"_s);
}

void TCollapsePanel::LoadEinstellungen()
{
    TRegistry reg;
    // Reading writes nothing: a panel whose state was never saved leaves the store as it is.
    if (!reg.OpenKey(u'\\' + IniPfad(), false))
        return;
    SetCollapse(reg.ReadInteger(QString(), d->fCollapsed ? 1 : 0) != 0);
}

void TCollapsePanel::Loaded()
{
    d->loading = false;
    if (d->fAutoLoad) {
        try {
            LoadEinstellungen();
        } catch (const std::exception &e) {
            qWarning("%s", e.what());
        }
    }
    adjustChildControls(this);
    if (!d->destroying && !d->fCollapsed)
        ReExpand();
}

void TCollapsePanel::adjustChildControls(QWidget *AControl)
{
    // The panel's own colour shows through the plain containers on it.
    for (QWidget *child : childWidgets(AControl)) {
        if (qobject_cast<TCollapsePanel *>(child))
            continue;
        child->setAutoFillBackground(false);
        if (!childWidgets(child).isEmpty())
            adjustChildControls(child);
    }
}

// ---- view

QScrollArea *TCollapsePanel::parentScrollingWinControl()
{
    if (!d->scrollSearched) {
        d->scrollSearched = true;
        for (QWidget *w = parentWidget(); w; w = w->parentWidget()) {
            if (auto *area = qobject_cast<QScrollArea *>(w)) {
                d->fParentScrollingWinControl = area;
                break;
            }
        }
    }
    return d->fParentScrollingWinControl;
}

void TCollapsePanel::ScrollInView()
{
    if (d->fAsPanel || d->destroying || d->loading)
        return;
    try {
        if (QScrollArea *area = parentScrollingWinControl())
            area->ensureWidgetVisible(this, 0, 0);
    } catch (...) {
    }
}

bool TCollapsePanel::IsVisible(bool AFull) const
{
    Q_UNUSED(AFull);
    const QRect moved(mapToGlobal(QPoint(0, 0)), size());
    QScreen *screen = QGuiApplication::screenAt(moved.topLeft());
    if (!screen)
        screen = this->screen();
    if (!screen)
        return false;
    const QRect monitor = screen->geometry();
    return moved.bottom() <= monitor.bottom() && moved.top() >= monitor.top();
}

// ---- events

void TCollapsePanel::paintEvent(QPaintEvent *event)
{
    Guarded([&] {
        QPainter painter(this);
        painter.setClipRegion(event->region());
        if (!d->fCollapseHolder) {
            // No style any more: the panel's own colour, so that nothing undefined shows.
            painter.fillRect(rect(), ToQColor(d->color));
            return;
        }
        style()->Paint(this, painter);
    });
}

void TCollapsePanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Guarded([&] {
        AlignControls();
        if (d->fPrivResize || d->destroying)
            return;
        if (OnResize)
            OnResize(this);
        if (!d->fSizeing)
            ReExpand();
    });
}

void TCollapsePanel::mousePressEvent(QMouseEvent *event)
{
    QWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton || childAt(event->position().toPoint()))
        return;
    // The second press of a double-click: the double-click counts as the one click it began with.
    if (event->flags().testFlag(Qt::MouseEventCreatedDoubleClick)) {
        event->accept();
        return;
    }
    event->accept();
    Guarded([&] {
        if (d->fCollapsed)
            d->FAutoScrollInView = true;
        SetCollapse(!d->fCollapsed);
    });
}

void TCollapsePanel::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Not a press: QWidget's own handler would take it for one and toggle the panel again.
    event->accept();
}

bool TCollapsePanel::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        if (auto *child = qobject_cast<QWidget *>(static_cast<QChildEvent *>(event)->child()))
            child->installEventFilter(this);
        break;
    case QEvent::ChildPolished:
    case QEvent::ChildRemoved:
        Guarded([&] { childrenChanged(); });
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool TCollapsePanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched->parent() == this) {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::Move:
        case QEvent::Resize:
            Guarded([&] { childrenChanged(); });
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TCollapsePanel::focusMoved(QWidget *old, QWidget *now)
{
    const auto inside = [this](QWidget *w) { return w && (w == this || isAncestorOf(w)); };
    Guarded([&] {
        if (!inside(old) && inside(now))
            DoEnter();
        else if (inside(old) && !inside(now))
            DoExit();
    });
}

void TCollapsePanel::DoEnter()
{
    if (d->FAutoCollapseOnLostFocus)
        SetCollapse(false);
    if (OnEnter)
        OnEnter(this);
}

void TCollapsePanel::DoExit()
{
    if (d->FAutoCollapseOnLostFocus)
        SetCollapse(true);
    if (OnExit)
        OnExit(this);
}
