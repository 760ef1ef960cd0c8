#include "components/panels/titlepanel.h"

#include "platform/exception.h"
#include "platform/widgets/application.h"

#include <QPainter>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void assignError(const QObject *Source, const QObject *Dest)
{
    const QString from
        = Source ? QString::fromLatin1(Source->metaObject()->className()) : QStringLiteral("nil");
    throw EConvertError(
        u"Cannot assign a %1 to a %2"_s.arg(from, QString::fromLatin1(Dest->metaObject()->className())));
}

// A one-pixel 3-D frame: TopLeft on the top and left edge, BottomRight on the bottom and right.
void frame3D(QPainter &Canvas, const QRect &R, TColor TopLeft, TColor BottomRight)
{
    if (R.isEmpty())
        return;
    const QColor light = ToQColor(TopLeft);
    const QColor dark = ToQColor(BottomRight);
    Canvas.fillRect(QRect(R.left(), R.top(), R.width() - 1, 1), light);
    Canvas.fillRect(QRect(R.left(), R.top(), 1, R.height() - 1), light);
    Canvas.fillRect(QRect(R.left(), R.bottom(), R.width(), 1), dark);
    Canvas.fillRect(QRect(R.right(), R.top(), 1, R.height()), dark);
}

} // namespace

// The panel is not owned.
struct TCustomTitlePanelTitle::TPrivate
{
    bool fDefaultDrawing = true;
    int fUpdateCount = 0;
    std::unique_ptr<TTitleMargins> fMargins;
    QFont fFont;
    TColor fontColor = clHighlightText;
    TColor fColor = clHighlight;
    TColor fActiveColor = clActiveCaption;
    TColor fInactiveColor = clInactiveCaption;
    int fHeight = 17;
    TTextAlignment fAlignment = txaCenter;
    bool fEndEllipsis = true;
    bool fMultiLine = false;
    bool fGradient = true;
    TTitlePanelTitlePosition fPosition = tpLeft;
    TCustomTitlePanel *fPanel = nullptr;
};

// ---- plain properties

int TCustomTitlePanelTitle::UpdateCount() const
{
    return d->fUpdateCount;
}

TCustomTitlePanel *TCustomTitlePanelTitle::Panel() const
{
    return d->fPanel;
}

TTitleMargins *TCustomTitlePanelTitle::Margins() const
{
    return d->fMargins.get();
}

QFont TCustomTitlePanelTitle::Font() const
{
    return d->fFont;
}

TColor TCustomTitlePanelTitle::FontColor() const
{
    return d->fontColor;
}

TColor TCustomTitlePanelTitle::Color() const
{
    return d->fColor;
}

TColor TCustomTitlePanelTitle::ActiveColor() const
{
    return d->fActiveColor;
}

TColor TCustomTitlePanelTitle::InactiveColor() const
{
    return d->fInactiveColor;
}

int TCustomTitlePanelTitle::Height() const
{
    return d->fHeight;
}

TTextAlignment TCustomTitlePanelTitle::Alignment() const
{
    return d->fAlignment;
}

TTitlePanelTitlePosition TCustomTitlePanelTitle::Position() const
{
    return d->fPosition;
}

bool TCustomTitlePanelTitle::EndEllipsis() const
{
    return d->fEndEllipsis;
}

bool TCustomTitlePanelTitle::Multiline() const
{
    return d->fMultiLine;
}

bool TCustomTitlePanelTitle::Gradient() const
{
    return d->fGradient;
}

bool TCustomTitlePanelTitle::DefaultDrawing() const
{
    return d->fDefaultDrawing;
}

// TTitleMargins

TTitleMargins::TTitleMargins(TCustomTitlePanelTitle *AOwner)
    : fTitle(AOwner)
{
}

TTitleMargins::~TTitleMargins() = default;

void TTitleMargins::Assign(const QObject *Source)
{
    if (auto *m = qobject_cast<const TTitleMargins *>(Source)) {
        SetLeft(m->fLeft);
        SetRight(m->fRight);
        return;
    }
    assignError(Source, this);
}

void TTitleMargins::SetValue(int Index, int Value)
{
    if (OnChanging)
        OnChanging(this);
    switch (Index) {
    case 1:
        fLeft = Value;
        break;
    case 2:
        fRight = Value;
        break;
    case 3:
        fTop = Value;
        break;
    case 4:
        fBottom = Value;
        break;
    default:
        break;
    }
    if (OnChanged)
        OnChanged(this);
}

// TCustomTitlePanelTitle

TCustomTitlePanelTitle::TCustomTitlePanelTitle(TCustomTitlePanel *AOwner)
    : d(std::make_unique<TPrivate>())
{
    d->fPanel = AOwner;
    InitTitle();
}

TCustomTitlePanelTitle::~TCustomTitlePanelTitle()
{
    DoneTitle();
}

void TCustomTitlePanelTitle::InitTitle()
{
    d->fMargins = std::make_unique<TTitleMargins>(this);
    d->fMargins->OnChanging = [this](TTitleMargins *) { BeginUpdate(); };
    d->fMargins->OnChanged = [this](TTitleMargins *) { EndUpdate(); };
    d->fFont = d->fPanel ? d->fPanel->font() : QFont();
    d->fontColor = clHighlightText;
    d->fDefaultDrawing = true;
    d->fColor = clHighlight;
    d->fActiveColor = clActiveCaption;
    d->fInactiveColor = clInactiveCaption;
    d->fHeight = 17;
    d->fAlignment = txaCenter;
    d->fEndEllipsis = true;
    d->fMultiLine = false;
    d->fGradient = true;
    d->fPosition = tpLeft;
}

void TCustomTitlePanelTitle::DoneTitle()
{
    d->fMargins.reset();
}

void TCustomTitlePanelTitle::Assign(const QObject *Source)
{
    auto *t = qobject_cast<const TCustomTitlePanelTitle *>(Source);
    if (!t)
        assignError(Source, this);
    const TTitleUpdateGuard update(this);
    SetMargins(t->d->fMargins.get());
    SetFont(t->d->fFont);
    SetFontColor(t->d->fontColor);
    SetColor(t->d->fColor);
    SetHeight(t->d->fHeight);
    SetAlignment(t->d->fAlignment);
    SetPosition(t->d->fPosition);
}

void TCustomTitlePanelTitle::BeginUpdate()
{
    ++d->fUpdateCount;
}

void TCustomTitlePanelTitle::EndUpdate()
{
    --d->fUpdateCount;
    NotifyChanged();
}

void TCustomTitlePanelTitle::NotifyChanged()
{
    if (d->fUpdateCount > 0 || !d->fPanel)
        return;
    d->fPanel->RefreshTitle();
}

template <class T> void TCustomTitlePanelTitle::change(T &Field, T Value)
{
    if (Field == Value)
        return;
    const TTitleUpdateGuard update(this);
    Field = Value;
}

void TCustomTitlePanelTitle::SetMargins(const TTitleMargins *Value)
{
    const TTitleUpdateGuard update(this);
    d->fMargins->Assign(Value);
}

void TCustomTitlePanelTitle::SetFont(const QFont &Value)
{
    const TTitleUpdateGuard update(this);
    d->fFont = Value;
}

void TCustomTitlePanelTitle::SetFontColor(TColor Value)
{
    const TTitleUpdateGuard update(this);
    d->fontColor = Value;
}

void TCustomTitlePanelTitle::SetActiveColor(TColor Value)
{
    change(d->fActiveColor, Value);
}

void TCustomTitlePanelTitle::SetInactiveColor(TColor Value)
{
    change(d->fInactiveColor, Value);
}

void TCustomTitlePanelTitle::SetColor(TColor Value)
{
    // Repainted like every other setting, so that the new colour shows.
    if (d->fColor == Value && d->fActiveColor == Value && d->fInactiveColor == Value)
        return;
    const TTitleUpdateGuard update(this);
    d->fColor = Value;
    d->fActiveColor = Value;
    d->fInactiveColor = Value;
}

void TCustomTitlePanelTitle::SetHeight(int Value)
{
    change(d->fHeight, Value);
}

void TCustomTitlePanelTitle::SetAlignment(TTextAlignment Value)
{
    change(d->fAlignment, Value);
}

void TCustomTitlePanelTitle::SetPosition(TTitlePanelTitlePosition Value)
{
    change(d->fPosition, Value);
}

void TCustomTitlePanelTitle::SetEndEllipsis(bool Value)
{
    change(d->fEndEllipsis, Value);
}

void TCustomTitlePanelTitle::SetMultiline(bool Value)
{
    change(d->fMultiLine, Value);
}

void TCustomTitlePanelTitle::SetGradient(bool Value)
{
    change(d->fGradient, Value);
}

void TCustomTitlePanelTitle::SetDefaultDrawing(bool Value)
{
    change(d->fDefaultDrawing, Value);
}

void TCustomTitlePanelTitle::CalcTitleRect(QRect &Rect) const
{
    // On exclusive edges, as the band's arithmetic is written.
    int left = Rect.left();
    int top = Rect.top();
    int right = Rect.left() + Rect.width();
    int bottom = Rect.top() + Rect.height();
    switch (d->fPosition) {
    case tpTop:
        bottom = top + d->fHeight;
        break;
    case tpBottom:
        top = bottom - d->fHeight;
        break;
    case tpLeft:
        right = left + d->fHeight;
        break;
    case tpRight:
        left = right - d->fHeight;
        break;
    }
    if (d->fPanel && d->fPanel->Style() == psFramed) {
        const int fw = d->fPanel->FrameWidth();
        left += fw;
        top += fw;
        right -= fw;
        bottom -= fw;
        // The band reaches over the frame's gap towards the children.
        switch (d->fPosition) {
        case tpTop:
            bottom += 2 * fw;
            break;
        case tpBottom:
            top -= 2 * fw;
            break;
        case tpLeft:
            right += 2 * fw;
            break;
        case tpRight:
            left -= 2 * fw;
            break;
        }
    }
    Rect = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

void TCustomTitlePanelTitle::AdjustPanelClientRect(QRect &Rect) const
{
    switch (d->fPosition) {
    case tpTop:
        Rect.setTop(Rect.top() + d->fHeight);
        break;
    case tpBottom:
        Rect.setBottom(Rect.bottom() - d->fHeight);
        break;
    case tpLeft:
        Rect.setLeft(Rect.left() + d->fHeight);
        break;
    case tpRight:
        Rect.setRight(Rect.right() - d->fHeight);
        break;
    }
}

void TCustomTitlePanelTitle::Draw(QPainter &Canvas, const QRect &ARect)
{
    if (!d->fPanel || d->fHeight < 2 * d->fPanel->FrameWidth())
        return;
    QRect tr = ARect;
    CalcTitleRect(tr);
    if (d->fPanel->Style() == ps3DTitle)
        frame3D(Canvas, ARect, clBtnHighlight, clBtnShadow);
    if (!d->fDefaultDrawing) {
        if (const TDrawTitleEvent onDraw = d->fPanel->OnDrawTitle()) {
            // The handler runs inside a paint event: its error must not cross the event loop, and
            // no box may open in the middle of a paint.
            try {
                onDraw(d->fPanel, Canvas, tr);
            } catch (...) {
                TApplication::HandleExceptionLater(d->fPanel);
            }
            return;
        }
    }

    const TColor c = d->fPanel->GetTitleColor();
    const TColor light = d->fGradient ? BlendColors(c, clWhite, 0.2) : c;
    // The light side is always the panel's outer edge.
    const bool outerFirst = d->fPosition == tpTop || d->fPosition == tpLeft;
    TColor c1 = outerFirst ? light : c;
    const TColor c2 = outerFirst ? c : light;
    if (d->fPanel->Style() == ps3DTitle)
        c1 = c2;
    const bool horizontal = d->fPosition == tpLeft || d->fPosition == tpRight;
    Canvas.setBrush(ToQColor(c));
    FillGradientRect(Canvas, tr, c1, c2, horizontal);

    Canvas.setFont(d->fFont);
    Canvas.setPen(ToQColor(d->fontColor));
    Canvas.setBrush(ToQColor(d->fColor));
    const QString text = d->fPanel->Caption();
    if (horizontal) {
        DrawRotatedText(Canvas, tr, 0, text, d->fAlignment, d->fMultiLine, d->fEndEllipsis,
            d->fMargins->Top(), d->fMargins->Bottom(), d->fMargins->Left(), d->fMargins->Right(), true, false,
            d->fPosition == tpLeft ? 1 : 0, c);
    } else {
        DrawOutlinedText(Canvas, tr, false, text, d->fAlignment, d->fMultiLine, d->fEndEllipsis,
            d->fMargins->Top(), d->fMargins->Bottom(), d->fMargins->Left(), d->fMargins->Right(), true, false,
            c);
    }
}
