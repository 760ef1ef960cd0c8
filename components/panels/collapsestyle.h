#pragma once
// The look and the header geometry of every collapse panel come from one style object, installed in
// the process's CollapseHolder (unit CollapsePanel). Style classes are registered by name in
// CollapsStyles, so that the holder can re-create the current style after a change of scale or of
// the system colours, and switch styles by name.
//
// Rules:
// - A style keeps no panel references; every operation is told the panel that asks, on the GUI
//   thread.
// - Rectangles have exclusive right and bottom edges (QRect::x() + width()), as the platform keeps
//   them.

#include "components/panels/xgraphic.h"
#include "components/scaling/zc_scale.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>
#include <typeinfo>

class QPainter;
class TCollapsePanel;
class TCollapsStyle;

// A class reference: how to make a style of a class, and what the class says of itself.
struct TCollapsStyleClass
{
    const std::type_info &Type;
    TCollapsStyle *(*Create)();
};

template <class T> const TCollapsStyleClass *CollapsStyleClassOf()
{
    static const TCollapsStyleClass cls { typeid(T), []() -> TCollapsStyle * { return new T; } };
    return &cls;
}

class TCollapsStyle
{
public:
    TCollapsStyle() = default;
    virtual ~TCollapsStyle() = default;
    TCollapsStyle(const TCollapsStyle &) = delete;
    TCollapsStyle &operator=(const TCollapsStyle &) = delete;

    // Called by the holder when its skin name changes and the class is a look-and-skin style.
    virtual void SkinChanged() { }
    virtual TColor ReadInnerColor() const { return clBtnFace; }
    TColor InnerColor() const { return ReadInnerColor(); }
    // The rectangle for the children; the base answers the panel's FullRect.
    virtual QRect GetClientRect(const TCollapsePanel *APanel) const;
    // Paints the panel on ACanvas, whose clipping (if any) is the area to paint.
    virtual void Paint(TCollapsePanel *APanel, QPainter &ACanvas);
    virtual int GetCollapsePanelHeaderHeight(const TCollapsePanel *APanel) const;
    // Header height + shadow width + the outer bevel's bottom and top.
    virtual int GetCollapsePanelCollapseHeight(const TCollapsePanel *APanel) const;
    virtual int GetCollapsePanelBottomSpace(const TCollapsePanel *APanel) const;
    virtual QRect GetCollapsePanelHeaderRect(const TCollapsePanel *APanel) const;
    virtual void AfterExpand(TCollapsePanel *APanel);
    virtual void AfterCollapse(TCollapsePanel *APanel);
    // The application's palette changed: a style reads the colours it takes from it again.
    virtual void ColorChange() { }
    // Whether the style's class follows the holder's skin name.
    virtual bool IsLookAndSkin() const { return false; }

    TColor BaseColor() const { return fBaseColor; }
    TColor FrameColor() const { return fFrameColor; }
    int ShadowWidth() const { return fShadowWidth; }

protected:
    TRect fOuterBevel;
    TRect fInnerBevel;
    quint8 fFrameWidth = 0;
    TColor fBaseColor = 0;
    TColor fFontColor = 0;
    TColor fFontShadowColor = 0;
    TColor fFrameColor = 0;
    TColor fFrameColorTop = 0;
    int fHeaderHeight = 0;
    int fHeaderHeightExpandOffset = 0;
    int fShadowWidth = 0;
    TColor fShadowColor = 0;
    quint8 fShadowGlobalAlpha = 0;
    bool fShadowCosinusFull = false;
};

// The register of style classes: names compared without regard to case, in insertion order. Owns
// nothing.
class TCollapsStyles
{
public:
    int Count() const { return int(m_entries.size()); }
    QStringList Names() const;
    // -1 when AName is not registered.
    int IndexOf(const QString &AName) const;
    const TCollapsStyleClass *ClassAt(int AIndex) const;
    // The name registered for exactly AStyle's class, else empty.
    QString NameOf(const TCollapsStyle *AStyle) const;
    QString NameOf(const std::type_info &AClass) const;
    // Nothing when AName is there already.
    void Add(const QString &AName, const TCollapsStyleClass *AClass, bool AFirst);
    // A new style of the class registered as AName, owned by the caller; raises EListError for a
    // name that is not registered.
    std::unique_ptr<TCollapsStyle> CreateStyleObject(const QString &AName) const;

private:
    struct Entry
    {
        QString Name;
        const TCollapsStyleClass *Class;
    };
    QList<Entry> m_entries;
};

// The registry while the unit CollapsePanel runs, else null.
TCollapsStyles *CollapsStyles();
void SetCollapsStyles(TCollapsStyles *AStyles);
// Adds AName for AClass to CollapsStyles: at the front with AFirst, else at the end; nothing without
// the registry or when the name is there.
void RegisterCollapsStyle(const QString &AName, const TCollapsStyleClass *AClass, bool AFirst);

// The scaler of the panels' sizes: the unit's component scaler, else the main scaler.
Tzc_Scaler *GetCollapsePanelScaler();
