#pragma once
// The standard look of the collapse panels (unit CollapsePanel.Styles.Default): a gradient header
// with a bold caption, a U-shaped frame around the children that fades in while the panel expands,
// and a soft drop shadow to the right and below. The header, the frame, the shadow and the
// background are each painted once, composed through regions, without an erase first.
// TCollapsStyleInvert paints the same; it is the style installed at start-up.

#include "components/panels/collapsestyle.h"
#include "components/panels/xgraphic_shadow.h"

#include <memory>

class QRegion;

class TCollapsStyleStandard : public TCollapsStyle
{
public:
    // Sizes through GetCollapsePanelScaler and the system colours, both as they are now.
    TCollapsStyleStandard();
    // Reads the colours taken from the system (base, frame, frame top) again, those the program
    // has not set itself.
    void ColorChange() override;
    ~TCollapsStyleStandard() override;

    QRect GetClientRect(const TCollapsePanel *APanel) const override;
    void Paint(TCollapsePanel *APanel, QPainter &ACanvas) override;
    int GetCollapsePanelHeaderHeight(const TCollapsePanel *APanel) const override;
    int GetCollapsePanelBottomSpace(const TCollapsePanel *APanel) const override;
    QRect GetCollapsePanelHeaderRect(const TCollapsePanel *APanel) const override;

    // A font size through the panels' scaler: plain scaling under a zoom, else the panels' own
    // percentage only (points follow the screen's resolution by themselves). The caption is drawn
    // at FontSize as it is: scaled once, here.
    static int ScaleFontSize(int AValue);

    QString FontName() const { return fFontName; }
    void SetFontName(const QString &Value) { fFontName = Value; }
    int FontSize() const { return fFontSize; }
    void SetFontSize(int Value) { fFontSize = Value; }
    TColor FrameColorTop() const { return fFrameColorTop; }
    void SetFrameColorTop(TColor Value)
    {
        fFrameColorTop = Value;
        m_ownFrameColorTop = true;
    }
    void SetBaseColor(TColor Value)
    {
        fBaseColor = Value;
        m_ownBaseColor = true;
    }
    TColor FontShadowColor() const { return fFontShadowColor; }
    void SetFontShadowColor(TColor Value) { fFontShadowColor = Value; }
    TColor FontColor() const { return fFontColor; }
    void SetFontColor(TColor Value) { fFontColor = Value; }
    TRect InnerBevel() const { return fInnerBevel; }
    void SetInnerBevel(const TRect &Value) { fInnerBevel = Value; }
    TRect OuterBevel() const { return fOuterBevel; }
    void SetOuterBevel(const TRect &Value) { fOuterBevel = Value; }
    quint8 FrameWidth() const { return fFrameWidth; }
    void SetFrameWidth(quint8 Value) { fFrameWidth = Value; }
    void SetFrameColor(TColor Value)
    {
        fFrameColor = Value;
        m_ownFrameColor = true;
    }
    void SetShadowWidth(int Value) { fShadowWidth = Value; }
    TColor ShadowColor() const { return fShadowColor; }
    void SetShadowColor(TColor Value) { fShadowColor = Value; }
    quint8 ShadowGlobalAlpha() const { return fShadowGlobalAlpha; }
    bool ShadowCosinusFull() const { return fShadowCosinusFull; }
    int HeaderHeight() const { return fHeaderHeight; }
    // The drop shadow, made with its own defaults on first use.
    TDropShadow *Shadow();
    // Null until the first paint that needs it.
    const TDropShadow *ShadowIfMade() const { return fShadow.get(); }

private:
    void readSystemColors();
    void paintHeader(TCollapsePanel *APanel, QPainter &ACanvas, const QRect &HR);

    std::unique_ptr<TDropShadow> fShadow;
    QString fFontName;
    int fFontSize = 0;
    bool m_ownBaseColor = false;
    bool m_ownFrameColor = false;
    bool m_ownFrameColorTop = false;
};

class TCollapsStyleInvert : public TCollapsStyleStandard
{
};
