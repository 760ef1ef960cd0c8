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
    bool defaultDrawing = true;
    int updateCount = 0;
    std::unique_ptr<TTitleMargins> margins;
    QFont font;
    TColor fontColor = clHighlightText;
    TColor color = clHighlight;
    TColor activeColor = clActiveCaption;
    TColor inactiveColor = clInactiveCaption;
    int height = 17;
    TTextAlignment alignment = txaCenter;
    bool endEllipsis = true;
    bool multiLine = false;
    bool gradient = true;
    TTitlePanelTitlePosition position = tpLeft;
    TCustomTitlePanel *panel = nullptr;
};

// ---- plain properties

int TCustomTitlePanelTitle::UpdateCount() const
{
    return d->updateCount;
}

TCustomTitlePanel *TCustomTitlePanelTitle::Panel() const
{
    return d->panel;
}

TTitleMargins *TCustomTitlePanelTitle::Margins() const
{
    return d->margins.get();
}

QFont TCustomTitlePanelTitle::Font() const
{
    return d->font;
}

TColor TCustomTitlePanelTitle::FontColor() const
{
    return d->fontColor;
}

TColor TCustomTitlePanelTitle::Color() const
{
    return d->color;
}

TColor TCustomTitlePanelTitle::ActiveColor() const
{
    return d->activeColor;
}

TColor TCustomTitlePanelTitle::InactiveColor() const
{
    return d->inactiveColor;
}

int TCustomTitlePanelTitle::Height() const
{
    return d->height;
}

TTextAlignment TCustomTitlePanelTitle::Alignment() const
{
    return d->alignment;
}

TTitlePanelTitlePosition TCustomTitlePanelTitle::Position() const
{
    return d->position;
}

bool TCustomTitlePanelTitle::EndEllipsis() const
{
    return d->endEllipsis;
}

bool TCustomTitlePanelTitle::Multiline() const
{
    return d->multiLine;
}

bool TCustomTitlePanelTitle::Gradient() const
{
    return d->gradient;
}

bool TCustomTitlePanelTitle::DefaultDrawing() const
{
    return d->defaultDrawing;
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
    d->panel = AOwner;
    InitTitle();
}

TCustomTitlePanelTitle::~TCustomTitlePanelTitle()
{
    DoneTitle();
}

void TCustomTitlePanelTitle::InitTitle()
{
    d->margins = std::make_unique<TTitleMargins>(this);
    d->margins->OnChanging = [this](TTitleMargins *) { BeginUpdate(); };
    d->margins->OnChanged = [this](TTitleMargins *) { EndUpdate(); };
    d->font = d->panel ? d->panel->font() : QFont();
    d->fontColor = clHighlightText;
    d->defaultDrawing = true;
    d->color = clHighlight;
    d->activeColor = clActiveCaption;
    d->inactiveColor = clInactiveCaption;
    d->height = 17;
    d->alignment = txaCenter;
    d->endEllipsis = true;
    d->multiLine = false;
    d->gradient = true;
    d->position = tpLeft;
}

void TCustomTitlePanelTitle::DoneTitle()
{
    d->margins.reset();
}

void TCustomTitlePanelTitle::Assign(const QObject *Source)
{
    auto *t = qobject_cast<const TCustomTitlePanelTitle *>(Source);
    if (!t)
        assignError(Source, this);
    const TTitleUpdateGuard update(this);
    SetMargins(t->d->margins.get());
    SetFont(t->d->font);
    SetFontColor(t->d->fontColor);
    SetColor(t->d->color);
    SetHeight(t->d->height);
    SetAlignment(t->d->alignment);
    SetPosition(t->d->position);
}

void TCustomTitlePanelTitle::BeginUpdate()
{
    ++d->updateCount;
}

void TCustomTitlePanelTitle::EndUpdate()
{
    --d->updateCount;
    NotifyChanged();
}

void TCustomTitlePanelTitle::NotifyChanged()
{
    if (d->updateCount > 0 || !d->panel)
        return;
    d->panel->RefreshTitle();
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
    d->margins->Assign(Value);
}

void TCustomTitlePanelTitle::SetFont(const QFont &Value)
{
    const TTitleUpdateGuard update(this);
    d->font = Value;
}

void TCustomTitlePanelTitle::SetFontColor(TColor Value)
{
    const TTitleUpdateGuard update(this);
    d->fontColor = Value;
}

void TCustomTitlePanelTitle::SetActiveColor(TColor Value)
{
    change(d->activeColor, Value);
}

void TCustomTitlePanelTitle::SetInactiveColor(TColor Value)
{
    change(d->inactiveColor, Value);
}

void TCustomTitlePanelTitle::SetColor(TColor Value)
{
    // Repainted like every other setting, so that the new colour shows.
    if (d->color == Value && d->activeColor == Value && d->inactiveColor == Value)
        return;
    const TTitleUpdateGuard update(this);
    d->color = Value;
    d->activeColor = Value;
    d->inactiveColor = Value;
}

void TCustomTitlePanelTitle::SetHeight(int Value)
{
    change(d->height, Value);
}

void TCustomTitlePanelTitle::SetAlignment(TTextAlignment Value)
{
    change(d->alignment, Value);
}

void TCustomTitlePanelTitle::SetPosition(TTitlePanelTitlePosition Value)
{
    change(d->position, Value);
}

void TCustomTitlePanelTitle::SetEndEllipsis(bool Value)
{
    change(d->endEllipsis, Value);
}

void TCustomTitlePanelTitle::SetMultiline(bool Value)
{
    change(d->multiLine, Value);
}

void TCustomTitlePanelTitle::SetGradient(bool Value)
{
    change(d->gradient, Value);
}

void TCustomTitlePanelTitle::SetDefaultDrawing(bool Value)
{
    change(d->defaultDrawing, Value);
}

void TCustomTitlePanelTitle::CalcTitleRect(QRect &Rect) const
{
    // On exclusive edges, as the band's arithmetic is written.
    int left = Rect.left();
    int top = Rect.top();
    int right = Rect.left() + Rect.width();
    int bottom = Rect.top() + Rect.height();
    switch (d->position) {
    case tpTop:
        bottom = top + d->height;
        break;
    case tpBottom:
        top = bottom - d->height;
        break;
    case tpLeft:
        right = left + d->height;
        break;
    case tpRight:
        left = right - d->height;
        break;
    }
    if (d->panel && d->panel->Style() == psFramed) {
        const int fw = d->panel->FrameWidth();
        left += fw;
        top += fw;
        right -= fw;
        bottom -= fw;
        // The band reaches over the frame's gap towards the children.
        switch (d->position) {
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
    switch (d->position) {
    case tpTop:
        Rect.setTop(Rect.top() + d->height);
        break;
    case tpBottom:
        Rect.setBottom(Rect.bottom() - d->height);
        break;
    case tpLeft:
        Rect.setLeft(Rect.left() + d->height);
        break;
    case tpRight:
        Rect.setRight(Rect.right() - d->height);
        break;
    }
}

void TCustomTitlePanelTitle::Draw(QPainter &Canvas, const QRect &ARect)
{
    if (!d->panel || d->height < 2 * d->panel->FrameWidth())
        return;
    QRect tr = ARect;
    CalcTitleRect(tr);
    if (d->panel->Style() == ps3DTitle)
        frame3D(Canvas, ARect, clBtnHighlight, clBtnShadow);
    if (!d->defaultDrawing) {
        if (const TDrawTitleEvent onDraw = d->panel->OnDrawTitle()) {
            // The handler runs inside a paint event: its error must not cross the event loop, and
            // no box may open in the middle of a paint.
            try {
                onDraw(d->panel, Canvas, tr);
            } catch (...) {
                TApplication::HandleExceptionLater(d->panel);
            }
            return;
        }
    }

    const TColor c = d->panel->GetTitleColor();
    const TColor light = d->gradient ? BlendColors(c, clWhite, 0.2) : c;
    // The light side is always the panel's outer edge.
    const bool outerFirst = d->position == tpTop || d->position == tpLeft;
    TColor c1 = outerFirst ? light : c;
    const TColor c2 = outerFirst ? c : light;
    if (d->panel->Style() == ps3DTitle)
        c1 = c2;
    const bool horizontal = d->position == tpLeft || d->position == tpRight;
    Canvas.setBrush(ToQColor(c));
    FillGradientRect(Canvas, tr, c1, c2, horizontal);

    Canvas.setFont(d->font);
    Canvas.setPen(ToQColor(d->fontColor));
    Canvas.setBrush(ToQColor(d->color));
    const QString text = d->panel->Caption();
    if (horizontal) {
        DrawRotatedText(Canvas, tr, 0, text, d->alignment, d->multiLine, d->endEllipsis, d->margins->Top(),
            d->margins->Bottom(), d->margins->Left(), d->margins->Right(), true, false,
            d->position == tpLeft ? 1 : 0, c);
    } else {
        DrawOutlinedText(Canvas, tr, false, text, d->alignment, d->multiLine, d->endEllipsis,
            d->margins->Top(), d->margins->Bottom(), d->margins->Left(), d->margins->Right(), true, false, c);
    }
}
