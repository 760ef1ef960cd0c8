#include "collapsestyle_standard.h"

#include "collapsepanel.h"
#include "components/appservices/xprocs_display.h"
#include "components/panels/xgraphic_cache.h"
#include "platform/numbers.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRegion>

namespace {

// The platform's rectangle from its four edges.
QRect edges(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}

int S(int v)
{
    return GetCollapsePanelScaler()->ScaleValue(v);
}

} // namespace

TCollapsStyleStandard::TCollapsStyleStandard()
{
    fFontName = GetMenuFontName();
    fFontSize = ScaleFontSize(9);
    fOuterBevel = TRect { S(6), S(3), 0, S(-2) };
    fInnerBevel = TRect {};
    fFrameWidth = quint8(S(3));
    fFontColor = clWhite;
    readSystemColors();
    fShadowWidth = S(9);
    fShadowColor = clBlack;
    fShadowGlobalAlpha = 96;
    fShadowCosinusFull = false;
    fHeaderHeight = S(20);
    fHeaderHeightExpandOffset = 0;
    fFontShadowColor = clBlack;
}

TCollapsStyleStandard::~TCollapsStyleStandard() = default;

void TCollapsStyleStandard::readSystemColors()
{
    if (!m_ownBaseColor)
        fBaseColor = ColorToRGB(clBtnFace);
    if (!m_ownFrameColor)
        fFrameColor = DarkenColor(ColorToRGB(clActiveCaption), 0.33);
    if (!m_ownFrameColorTop)
        fFrameColorTop = BlendColors(ColorToRGB(clActiveCaption), clWhite, 0.4);
}

void TCollapsStyleStandard::ColorChange()
{
    readSystemColors();
}

int TCollapsStyleStandard::ScaleFontSize(int AValue)
{
    return MainScaler()->IsVirtual() ? GetCollapsePanelScaler()->ScaleValue(AValue)
                                     : GetCollapsePanelScaler()->ScaleValueNative(AValue);
}

TDropShadow *TCollapsStyleStandard::Shadow()
{
    if (!fShadow)
        fShadow = std::make_unique<TDropShadow>();
    return fShadow.get();
}

int TCollapsStyleStandard::GetCollapsePanelHeaderHeight(const TCollapsePanel *APanel) const
{
    if (fHeaderHeightExpandOffset == 0)
        return fHeaderHeight;
    return fHeaderHeight + RoundHalfEven(double(fHeaderHeightExpandOffset) * double(APanel->ExpandSingle()));
}

int TCollapsStyleStandard::GetCollapsePanelBottomSpace(const TCollapsePanel *APanel) const
{
    if (APanel->AsPanel())
        return fOuterBevel.Bottom;
    return fOuterBevel.Bottom + fInnerBevel.Bottom + fFrameWidth + fShadowWidth;
}

QRect TCollapsStyleStandard::GetCollapsePanelHeaderRect(const TCollapsePanel *APanel) const
{
    return edges(fOuterBevel.Left, fOuterBevel.Top, APanel->width() - fShadowWidth - fOuterBevel.Right,
        fOuterBevel.Top + GetCollapsePanelHeaderHeight(APanel));
}

QRect TCollapsStyleStandard::GetClientRect(const TCollapsePanel *APanel) const
{
    const int header = GetCollapsePanelHeaderHeight(APanel);
    const int width = APanel->width() - fInnerBevel.Left - fInnerBevel.Right - fOuterBevel.Left
        - fOuterBevel.Right - 2 * fFrameWidth - fShadowWidth;
    const int height
        = APanel->height() - fInnerBevel.Top - fOuterBevel.Top - header - GetCollapsePanelBottomSpace(APanel);
    return QRect(fInnerBevel.Left + fOuterBevel.Left + fFrameWidth,
        fInnerBevel.Top + fOuterBevel.Top + header, width, height);
}

void TCollapsStyleStandard::paintHeader(TCollapsePanel *APanel, QPainter &ACanvas, const QRect &HR)
{
    // Composed at the device's resolution, so that a scaled screen gets sharp text and gradient.
    QImage bitmap = DeviceImage(HR.size(), PaintRatio(ACanvas), QImage::Format_RGB32);
    const QRect whole(QPoint(0, 0), HR.size());
    {
        QPainter b(&bitmap);
        b.setBrush(ToQColor(fFrameColor));
        DrawCachedGradient(b, whole, fFrameColorTop, 1.0f);
        if (!APanel->Caption().isEmpty()) {
            QFont font = APanel->font();
            // A style made before the application existed knew no menu font yet.
            font.setFamily(fFontName.isEmpty() ? GetMenuFontName() : fFontName);
            font.setBold(true);
            font.setPointSize(std::max(1, fFontSize));
            b.setFont(font);
            QRect TR = whole;
            const int half = (TR.height() - b.fontMetrics().height()) / 2;
            TR.adjust(5, half, -5, -half);
            // Shown as the themed caption would: the doubled text with prefix processing, so that an
            // ampersand appears once and the shadow lines up with the text.
            const QString text = APanel->CaptionDoubleAmpersand();
            constexpr int flags
                = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic | Qt::TextDontClip;
            if (fFontShadowColor != clNone) {
                b.setPen(ToQColor(fFontShadowColor));
                b.drawText(QRect(TR.left() + 1, TR.top() + 1, HR.width(), HR.height()), flags, text);
            }
            b.setPen(ToQColor(fFontColor));
            b.drawText(QRect(TR.left(), TR.top(), HR.width(), HR.height()), flags, text);
        }
    }
    DrawDeviceImage(ACanvas, HR, bitmap);
}

void TCollapsStyleStandard::Paint(TCollapsePanel *APanel, QPainter &ACanvas)
{
    APanel->SetColor(fBaseColor);
    const QColor base = ToQColor(fBaseColor);
    if (APanel->AsPanel()) {
        ACanvas.fillRect(APanel->FullRect(), base);
        return;
    }
    // What is left to paint; every piece drawn is taken out, the rest gets the base colour.
    QRegion remaining = ACanvas.hasClipping() ? ACanvas.clipRegion() : QRegion(APanel->rect());

    const QRect HR = GetCollapsePanelHeaderRect(APanel);
    if (HR.width() > 0 && HR.height() > 0) {
        paintHeader(APanel, ACanvas, HR);
        remaining -= HR;
    }

    const QRect client = GetClientRect(APanel);
    const int FW = fFrameWidth;
    // FR by its edges: the client rectangle widened by the inner bevel.
    const int frLeft = client.left() - fInnerBevel.Left;
    const int frTop = client.top() - fInnerBevel.Top;
    const int frRight = client.x() + client.width() + fInnerBevel.Right;
    const int frBottom = client.y() + client.height() + fInnerBevel.Bottom;

    if ((!APanel->Collapse() || APanel->Sizeing()) && FW > 0 && frBottom - frTop > FW) {
        // The band of width FW left, below and right of FR, open at the top where the header sits.
        QRegion frame(edges(frLeft - FW, frTop, frLeft, frBottom + FW));
        frame += edges(frLeft, frBottom, frRight, frBottom + FW);
        frame += edges(frRight, frTop, frRight + FW, frBottom + FW);
        const QColor color = ToQColor(BlendColors(fFrameColor, fBaseColor, double(APanel->ExpandSingle())));
        for (const QRect &r : frame)
            ACanvas.fillRect(r, color);
        remaining -= frame;
    }

    const int SW = fShadowWidth;
    if (SW > 0) {
        TDropShadow *shadow = Shadow();
        shadow->SetRadius(SW);
        shadow->SetCosinusFull(fShadowCosinusFull);
        shadow->SetGlobalAlpha(fShadowGlobalAlpha);
        shadow->SetColor(fShadowColor);
        const QRect SR = edges(fOuterBevel.Left + SW, fOuterBevel.Top + SW, frRight + SW, frBottom + FW);
        shadow->DropShadow(ACanvas, SR, true, fBaseColor, &remaining);
    }

    for (const QRect &r : remaining)
        ACanvas.fillRect(r, base);
}
