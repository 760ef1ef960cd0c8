#pragma once
// TCollapsePanel (unit CollapsePanel): a container with a drawn header showing its caption, which
// folds up to the style's collapsed height or unfolds to fit its visible children. A click on the
// panel's own surface toggles it; the change of height runs in eased steps through the trigger
// thread, or at once. Geometry and painting come from the one style in CollapseHolder.
//
// Rules:
// - GUI thread only. The state is (Collapse, Sizeing): expanded, collapsing, collapsed, expanding;
//   changing Collapse during a run reverses it from the current height.
// - Refusals (aligned left, right or to the client area; a child aligned so; plain-panel mode) are
//   silent: no event, no message.
// - Children placed with an alignment (SetChildAlign) are laid out in the style's client rectangle,
//   others keep their place. The panel's own Align decides whether it can collapse.
// - The collapsed state is kept per user in the settings store below IniPfad's key.

#include "components/panels/collapsepanel_trigger.h"
#include "components/panels/collapsestyle.h"
#include "components/scaling/zc_scale.h"
#include "platform/units.h"

#include <QMargins>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QScrollArea;
class TCollapseHolder;

enum class TAlign
{
    alNone,
    alTop,
    alBottom,
    alLeft,
    alRight,
    alClient
};

// A panel event: a handler taking the sender (a widget, not a component of the form reader).
using TPanelNotifyEvent = std::function<void(QObject *Sender)>;

class TCollapsePanel : public QWidget, public TTriggerControl
{
    Q_OBJECT

public:
    // Raises unless the unit CollapsePanel runs (no holder).
    explicit TCollapsePanel(QWidget *AOwner = nullptr);
    ~TCollapsePanel() override;

    // ---- state
    bool Collapse() const;
    void SetCollapse(bool Value);
    bool Expand() const;
    void SetExpand(bool Value) { SetCollapse(!Value); }
    // The change without animation.
    void SetExpandImmediately(bool Value);
    bool Sizeing() const;
    // fExpandProgress while sizing, else 1 expanded and 0 collapsed.
    float ExpandSingle() const;
    int ExpandSteps() const;
    void SetExpandSteps(int Value);
    bool CollapseOtherPanels() const;
    void SetCollapseOtherPanels(bool Value);
    bool AutoExpandOnFocus() const;
    void SetAutoExpandOnFocus(bool Value);
    bool AutoCollapseOnLostFocus() const;
    void SetAutoCollapseOnLostFocus(bool Value);
    bool AsPanel() const;
    void SetAsPanel(bool Value);
    bool AutoConstraint() const;
    void SetAutoConstraint(bool Value);

    // ---- saved state
    QString AutoSaveByName() const;
    void SetAutoSaveByName(const QString &Value);
    bool AutoLoad() const;
    void SetAutoLoad(bool Value);
    bool AutoSave() const;
    void SetAutoSave(bool Value);
    // The key of the state below the store's root, computed once until AutoSaveByName changes.
    QString IniPfad();
    void WriteEinstellungen();
    void LoadEinstellungen();

    // ---- look and layout
    QString Caption() const;
    void SetCaption(const QString &Value);
    // The caption with every "&" doubled, unless it holds "&&" already.
    QString CaptionDoubleAmpersand() const;
    TAlign Align() const;
    void SetAlign(TAlign Value);
    TColor Color() const;
    // Repaints only when the colour changes.
    void SetColor(TColor Value);
    QRect FullRect() const { return QRect(0, 0, width(), height()); }
    int CollapsePanelHeaderHeight() const;
    int CollapsePanelBottomSpace() const;
    int HeightExpanded() const;
    // The rectangle the aligned children are laid out in.
    QRect AdjustClientRect() const;
    // Limits of a resize: the minimum height of a client-aligned, expanded panel is at least the
    // collapsed height + 80.
    void ConstrainedResize(int &MinWidth, int &MinHeight, int &MaxWidth, int &MaxHeight) const;
    // The steps of a run over ADistance pixels: AExpandSteps capped at 100, or when negative 5 for
    // no distance rising to 15 from 300 pixels on.
    static int StepsFor(int AExpandSteps, int ADistance);
    // Sets the height to that of the current state at once.
    void ReExpand();
    // Lays out the aligned children.
    void AlignControls();
    static void SetChildAlign(QWidget *AChild, TAlign AAlign, bool AAlignWithMargins = false,
        const QMargins &AMargins = QMargins(3, 3, 3, 3));
    static TAlign ChildAlign(const QWidget *AChild);

    // The colour the caption font of the canvas has, and the contrast rule on it.
    TColor CanvasFontColor() const;
    void SetCanvasFontColor(TColor Value);
    void MakeFontKontrast(TColor CBaseColor, float MinKontrast);

    // ---- neighbours and view
    void DoCollapseOtherPanels();
    void ScrollInView() override;
    bool IsVisible(bool AFull) const;
    // Between construction and Loaded: no animation, no collapsing of siblings, no saving.
    bool Loading() const;
    void BeginLoading();
    // After the panel's settings were read: loads the state when AutoLoad is set, prepares the
    // children, fits the height.
    void Loaded();

    TPanelNotifyEvent OnBeforeCollapse, OnAfterCollapse, OnBeforeExpand, OnAfterExpand, OnResize, OnEnter,
        OnExit;

    // ---- the trigger's view of the panel
    void SetSizeing(bool Value) override;
    void SetExpandProgress(float Value) override;
    int Height() const override { return height(); }
    void SetHeight(int Value) override;
    bool AutoScrollInView() const override;
    void SetAutoScrollInView(bool Value);
    // Called when a run ends; ADirection is true after a collapse.
    void ExpandReady(QObject *Sender, bool ADirection);

    // The panels' component scaler: its percentage is kept under its identifier in the store.
    class TCollapsePanelScaler : public Tzc_ScalerWork
    {
    public:
        TCollapsePanelScaler()
            : Tzc_ScalerWork(false)
        {
        }
        QString GetRegistryIdent() const override;
        // Re-creates the style by its name, so its sizes follow, and repaints the panels.
        void SetScalePercent(int Value) override;
    };

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    virtual void DoEnter();
    virtual void DoExit();

private:
    friend class TCollapseHolder;
    // The holder is being freed (its unit finishes): the panel lets go of it and of its style.
    void holderGone();
    void focusMoved(QWidget *old, QWidget *now);
    void childrenChanged();
    // Masks the children to the client rectangle while the panel folds or is folded.
    void clipChildren();
    void adjustChildControls(QWidget *AControl);
    QScrollArea *parentScrollingWinControl();
    TCollapsStyle *style() const;

    // The panel's state, kept out of the header.
    struct TPrivate;
    std::unique_ptr<TPrivate> d;
};

// The process's register of live panels (not owning them) and owner of the current style.
class TCollapseHolder
{
public:
    TCollapseHolder();
    ~TCollapseHolder();
    TCollapseHolder(const TCollapseHolder &) = delete;
    TCollapseHolder &operator=(const TCollapseHolder &) = delete;

    void Add(TCollapsePanel *APanel);
    void Remove(TCollapsePanel *APanel);
    QList<TCollapsePanel *> Panels() const { return m_panels; }

    // The installed style; one installed by its class is made here on first use.
    TCollapsStyle *CollapsStyleObj() const;
    // Installs AStyle and lays out and repaints every panel; nothing for null or the installed one.
    void SetCollapsStyleObj(std::unique_ptr<TCollapsStyle> AStyle);
    // Installs a style of AClass, made when a panel first needs it: a style takes its sizes, colours
    // and font from the application, which does not exist yet while the units start.
    void SetCollapsStyleClass(const TCollapsStyleClass *AClass);
    // The registered name of the installed style's class, else empty.
    QString CollapsStyle() const;
    // Installs a new style of the registered name; an unknown name keeps the current style.
    void SetCollapsStyle(const QString &AName);
    // A fresh style of the current style's name (new sizes and system colours).
    void InvalidateStyle();
    QStringList RegisteredStyles() const;
    QString SkinName() const { return fSkinName; }
    void SetSkinName(const QString &Value);
    bool SkinLoading() const { return fSkinLoading; }
    // Repaints every panel.
    void WMSYSCOLORCHANGE();
    // The application's palette changed (the holder watches the application once a panel exists):
    // the style reads its system colours again and the panels repaint.
    void ApplicationPaletteChanged();

private:
    QList<TCollapsePanel *> m_panels;
    bool fSkinLoading = false;
    QString fSkinName;
    mutable std::unique_ptr<TCollapsStyle> fCollapsStyle;
    // Set while the style is installed by its class: how to make it (again).
    const TCollapsStyleClass *m_styleClass = nullptr;
    // The style was made before the GUI application existed: its sizes, colours and font are
    // guesses, and it is made again once a panel (and so the application) exists.
    mutable bool m_styleGuessed = false;
    mutable qint64 m_paletteKey = 0;
    // Tells the holder when the application's palette changes; made with the first panel.
    std::unique_ptr<QObject> m_paletteWatch;

    void relayoutPanels();
};

// The unit's state while it runs, else null.
TCollapseHolder *CollapseHolder();
TCollapsePanel::TCollapsePanelScaler *CollapsePanelScaler();
// Both must hold for a panel to animate.
bool AnimationEnabled();
void SetAnimationEnabled(bool Value);
bool AnimationAllowed();
void SetAnimationAllowed(bool Value);

// Starts the panels' scaler (reading its percentage, writing 100 when none is stored), the holder,
// the style registry with the initial style and the trigger thread; finishes them in reverse,
// stopping and waiting for the thread, bounded.
extern const TUnit CollapsePanelUnit;
