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
    : fPanel(AOwner)
{
    InitTitle();
}

TCustomTitlePanelTitle::~TCustomTitlePanelTitle()
{
    DoneTitle();
}

void TCustomTitlePanelTitle::InitTitle()
{
    fMargins = std::make_unique<TTitleMargins>(this);
    fMargins->OnChanging = [this](TTitleMargins *) { BeginUpdate(); };
    fMargins->OnChanged = [this](TTitleMargins *) { EndUpdate(); };
    fFont = fPanel ? fPanel->font() : QFont();
    fFontColor = clHighlightText;
    fDefaultDrawing = true;
    fColor = clHighlight;
    fActiveColor = clActiveCaption;
    fInactiveColor = clInactiveCaption;
    fHeight = 17;
    fAlignment = txaCenter;
    fEndEllipsis = true;
    fMultiLine = false;
    fGradient = true;
    fPosition = tpLeft;
}

void TCustomTitlePanelTitle::DoneTitle()
{
    fMargins.reset();
}

void TCustomTitlePanelTitle::Assign(const QObject *Source)
{
    auto *t = qobject_cast<const TCustomTitlePanelTitle *>(Source);
    if (!t)
        assignError(Source, this);
    const TTitleUpdateGuard update(this);
    SetMargins(t->fMargins.get());
    SetFont(t->fFont);
    SetFontColor(t->fFontColor);
    SetColor(t->fColor);
    SetHeight(t->fHeight);
    SetAlignment(t->fAlignment);
    SetPosition(t->fPosition);
}

void TCustomTitlePanelTitle::BeginUpdate()
{
    ++fUpdateCount;
}

void TCustomTitlePanelTitle::EndUpdate()
{
    --fUpdateCount;
    NotifyChanged();
}

void TCustomTitlePanelTitle::NotifyChanged()
{
    if (fUpdateCount > 0 || !fPanel)
        return;
    fPanel->RefreshTitle();
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
    fMargins->Assign(Value);
}

void TCustomTitlePanelTitle::SetFont(const QFont &Value)
{
    const TTitleUpdateGuard update(this);
    fFont = Value;
}

void TCustomTitlePanelTitle::SetFontColor(TColor Value)
{
    const TTitleUpdateGuard update(this);
    fFontColor = Value;
}

void TCustomTitlePanelTitle::SetActiveColor(TColor Value)
{
    change(fActiveColor, Value);
}

void TCustomTitlePanelTitle::SetInactiveColor(TColor Value)
{
    change(fInactiveColor, Value);
}

void TCustomTitlePanelTitle::SetColor(TColor Value)
{
    // Repainted like every other setting, so that the new colour shows.
    if (fColor == Value && fActiveColor == Value && fInactiveColor == Value)
        return;
    const TTitleUpdateGuard update(this);
    fColor = Value;
    fActiveColor = Value;
    fInactiveColor = Value;
}

void TCustomTitlePanelTitle::SetHeight(int Value)
{
    change(fHeight, Value);
}

void TCustomTitlePanelTitle::SetAlignment(TTextAlignment Value)
{
    change(fAlignment, Value);
}

void TCustomTitlePanelTitle::SetPosition(TTitlePanelTitlePosition Value)
{
    change(fPosition, Value);
}

void TCustomTitlePanelTitle::SetEndEllipsis(bool Value)
{
    change(fEndEllipsis, Value);
}

void TCustomTitlePanelTitle::SetMultiline(bool Value)
{
    change(fMultiLine, Value);
}

void TCustomTitlePanelTitle::SetGradient(bool Value)
{
    change(fGradient, Value);
}

void TCustomTitlePanelTitle::SetDefaultDrawing(bool Value)
{
    change(fDefaultDrawing, Value);
}

void TCustomTitlePanelTitle::CalcTitleRect(QRect &Rect) const
{
    // On exclusive edges, as the band's arithmetic is written.
    int left = Rect.left();
    int top = Rect.top();
    int right = Rect.left() + Rect.width();
    int bottom = Rect.top() + Rect.height();
    switch (fPosition) {
    case tpTop:
        bottom = top + fHeight;
        break;
    case tpBottom:
        top = bottom - fHeight;
        break;
    case tpLeft:
        right = left + fHeight;
        break;
    case tpRight:
        left = right - fHeight;
        break;
    }
    if (fPanel && fPanel->Style() == psFramed) {
        const int fw = fPanel->FrameWidth();
        left += fw;
        top += fw;
        right -= fw;
        bottom -= fw;
        // The band reaches over the frame's gap towards the children.
        switch (fPosition) {
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
    switch (fPosition) {
    case tpTop:
        Rect.setTop(Rect.top() + fHeight);
        break;
    case tpBottom:
        Rect.setBottom(Rect.bottom() - fHeight);
        break;
    case tpLeft:
        Rect.setLeft(Rect.left() + fHeight);
        break;
    case tpRight:
        Rect.setRight(Rect.right() - fHeight);
        break;
    }
}

void TCustomTitlePanelTitle::Draw(QPainter &Canvas, const QRect &ARect)
{
    if (!fPanel || fHeight < 2 * fPanel->FrameWidth())
        return;
    QRect tr = ARect;
    CalcTitleRect(tr);
    if (fPanel->Style() == ps3DTitle)
        frame3D(Canvas, ARect, clBtnHighlight, clBtnShadow);
    if (!fDefaultDrawing) {
        if (const TDrawTitleEvent onDraw = fPanel->OnDrawTitle()) {
            // The handler runs inside a paint event: its error must not cross the event loop, and
            // no box may open in the middle of a paint.
            try {
                onDraw(fPanel, Canvas, tr);
            } catch (...) {
                TApplication::HandleExceptionLater(fPanel);
            }
            return;
        }
    }

    const TColor c = fPanel->GetTitleColor();
    const TColor light = fGradient ? BlendColors(c, clWhite, 0.2) : c;
    // The light side is always the panel's outer edge.
    const bool outerFirst = fPosition == tpTop || fPosition == tpLeft;
    TColor c1 = outerFirst ? light : c;
    const TColor c2 = outerFirst ? c : light;
    if (fPanel->Style() == ps3DTitle)
        c1 = c2;
    const bool horizontal = fPosition == tpLeft || fPosition == tpRight;
    Canvas.setBrush(ToQColor(c));
    FillGradientRect(Canvas, tr, c1, c2, horizontal);

    Canvas.setFont(fFont);
    Canvas.setPen(ToQColor(fFontColor));
    Canvas.setBrush(ToQColor(fColor));
    const QString text = fPanel->Caption();
    if (horizontal) {
        DrawRotatedText(Canvas, tr, 0, text, fAlignment, fMultiLine, fEndEllipsis, fMargins->Top(),
            fMargins->Bottom(), fMargins->Left(), fMargins->Right(), true, false, fPosition == tpLeft ? 1 : 0,
            c);
    } else {
        DrawOutlinedText(Canvas, tr, false, text, fAlignment, fMultiLine, fEndEllipsis, fMargins->Top(),
            fMargins->Bottom(), fMargins->Left(), fMargins->Right(), true, false, c);
    }
}
