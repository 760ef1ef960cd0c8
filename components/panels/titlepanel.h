#pragma once
// The title panel (unit TitlePanel): a panel with a drawn title band along one of its edges, like a
// small caption bar, with the panel's caption written into it (turned by a quarter at the left and
// right). It can frame its children in the title colour and, in a descendant that tracks the focus,
// switch between an active and an inactive colour when the keyboard focus crosses its border.
//
// Rules:
// - Rectangles are QRects of the widget; the band and the children's area (contentsRect) follow
//   from the client rectangle alone, so the contents margins are kept up to date by Realign().
// - Constructors call InitPanel (the panel) and InitTitle (the title). C++ dispatches virtual calls
//   in a constructor to the class being built, so a descendant that overrides InitPanel or
//   GetTitleClass calls InitPanel again at the end of its own constructor; the title likewise.
// - The panel owns its title, the title its margins and font.
// - The unit's start adds a hook on the GUI thread that tells title panels of focus moves; without
//   it (or without a title panel) every focus event costs one comparison.
// - GUI thread only.

#include "components/panels/xgraphic.h"
#include "platform/units.h"

#include <QFont>
#include <QObject>
#include <QRect>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QPainter;
class TCustomTitlePanel;
class TCustomTitlePanelTitle;

enum TTitlePanelStyle
{
    psSimple,
    psFramed,
    ps3DTitle
};

enum TTitlePanelTitlePosition
{
    tpTop,
    tpBottom,
    tpLeft,
    tpRight
};

inline constexpr TColor clInactiveCaption = clSystemColor | 3;
inline constexpr TColor clHighlight = clSystemColor | 13;
inline constexpr TColor clHighlightText = clSystemColor | 14;
inline constexpr TColor clBtnShadow = clSystemColor | 16;
inline constexpr TColor clBtnHighlight = clSystemColor | 20;

// Owner drawing of the band: the panel, its painter and the band rectangle.
using TDrawTitleEvent = std::function<void(TCustomTitlePanel *Sender, QPainter &Canvas, const QRect &Rect)>;

// The text margins inside the band. Every write through the setter fires OnChanging before and
// OnChanged after it, also when the value stays the same.
class TTitleMargins : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int Left READ Left WRITE SetLeft)
    Q_PROPERTY(int Right READ Right WRITE SetRight)
    Q_PROPERTY(int Top READ Top WRITE SetTop)
    Q_PROPERTY(int Bottom READ Bottom WRITE SetBottom)

public:
    using TNotify = std::function<void(TTitleMargins *Sender)>;

    explicit TTitleMargins(TCustomTitlePanelTitle *AOwner);
    ~TTitleMargins() override;

    // From other margins: Left and Right through the setter, Top and Bottom stay. Anything else
    // raises EConvertError "Cannot assign a <class> to a TTitleMargins".
    void Assign(const QObject *Source);

    int Left() const { return fLeft; }
    int Right() const { return fRight; }
    int Top() const { return fTop; }
    int Bottom() const { return fBottom; }
    void SetLeft(int Value) { SetValue(1, Value); }
    void SetRight(int Value) { SetValue(2, Value); }
    void SetTop(int Value) { SetValue(3, Value); }
    void SetBottom(int Value) { SetValue(4, Value); }
    // Index 1 Left, 2 Right, 3 Top, 4 Bottom; another index stores nothing but still notifies.
    void SetValue(int Index, int Value);

    TCustomTitlePanelTitle *Title() const { return fTitle; }
    TNotify OnChanged;
    TNotify OnChanging;

private:
    TCustomTitlePanelTitle *fTitle;
    int fLeft = 0;
    int fRight = 0;
    int fTop = 0;
    int fBottom = 0;
};

// The band's appearance and geometry. Every setter leaves an unchanged value alone, else stores it
// inside BeginUpdate/EndUpdate, so that the panel is repainted and re-aligned once the outermost
// EndUpdate is reached. EndUpdate has no lower limit: more EndUpdates than BeginUpdates leave a
// negative count, and every later change then refreshes at once.
class TCustomTitlePanelTitle : public QObject
{
    Q_OBJECT

public:
    explicit TCustomTitlePanelTitle(TCustomTitlePanel *AOwner);
    ~TCustomTitlePanelTitle() override;

    // From another title: its margins, font and font colour, SetColor with its colour, height,
    // alignment and position, as one change. Anything else raises EConvertError.
    virtual void Assign(const QObject *Source);
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const;

    // The band inside Rect, a client rectangle (see the panel's frame).
    virtual void CalcTitleRect(QRect &Rect) const;
    // Rect less the band.
    virtual void AdjustPanelClientRect(QRect &Rect) const;
    // Band, caption and, for ps3DTitle, a one-pixel 3-D frame around ARect. Draws nothing when the
    // band is thinner than two frame widths of the panel.
    virtual void Draw(QPainter &Canvas, const QRect &ARect);

    virtual void SetActiveColor(TColor Value);
    virtual void SetInactiveColor(TColor Value);
    // The colour under the text; also becomes the active and inactive colour.
    virtual void SetColor(TColor Value);

    TCustomTitlePanel *Panel() const;
    TTitleMargins *Margins() const;
    void SetMargins(const TTitleMargins *Value);
    QFont Font() const;
    void SetFont(const QFont &Value);
    // The text colour of the font.
    TColor FontColor() const;
    void SetFontColor(TColor Value);
    TColor Color() const;
    TColor ActiveColor() const;
    TColor InactiveColor() const;
    int Height() const;
    void SetHeight(int Value);
    TTextAlignment Alignment() const;
    void SetAlignment(TTextAlignment Value);
    TTitlePanelTitlePosition Position() const;
    void SetPosition(TTitlePanelTitlePosition Value);
    bool EndEllipsis() const;
    void SetEndEllipsis(bool Value);
    bool Multiline() const;
    void SetMultiline(bool Value);
    bool Gradient() const;
    void SetGradient(bool Value);
    bool DefaultDrawing() const;
    void SetDefaultDrawing(bool Value);

protected:
    // Creates margins and font and sets the defaults.
    virtual void InitTitle();
    // Frees margins.
    virtual void DoneTitle();
    // Repaints and re-aligns the panel unless an update is open.
    void NotifyChanged();

private:
    template <class T> void change(T &Field, T Value);

    // The state, kept out of the header.
    struct TPrivate;
    std::unique_ptr<TPrivate> d;
};

// Keeps one update of a title open for its scope, also when an exception ends the scope early.
class TTitleUpdateGuard
{
public:
    explicit TTitleUpdateGuard(TCustomTitlePanelTitle *ATitle)
        : m_title(ATitle)
    {
        m_title->BeginUpdate();
    }
    ~TTitleUpdateGuard() { m_title->EndUpdate(); }
    TTitleUpdateGuard(const TTitleUpdateGuard &) = delete;
    TTitleUpdateGuard &operator=(const TTitleUpdateGuard &) = delete;

private:
    TCustomTitlePanelTitle *m_title;
};

// The title the panel makes by default; it publishes the title's settings as properties.
class TBasicTitlePanelTitle : public TCustomTitlePanelTitle
{
    Q_OBJECT
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(int Height READ Height WRITE SetHeight)
    Q_PROPERTY(bool EndEllipsis READ EndEllipsis WRITE SetEndEllipsis)
    Q_PROPERTY(bool DefaultDrawing READ DefaultDrawing WRITE SetDefaultDrawing)
    Q_PROPERTY(bool Multiline READ Multiline WRITE SetMultiline)

public:
    using TCustomTitlePanelTitle::TCustomTitlePanelTitle;
};

// What GetTitleClass answers: makes a title for its panel.
using TTitlePanelTitleClass = TCustomTitlePanelTitle *(*)(TCustomTitlePanel *AOwner);
template <class T> TTitlePanelTitleClass TitlePanelTitleClass()
{
    return [](TCustomTitlePanel *AOwner) -> TCustomTitlePanelTitle * { return new T(AOwner); };
}

class TCustomTitlePanel : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int FrameWidth READ FrameWidth WRITE SetFrameWidth)
    Q_PROPERTY(bool AsPanel READ AsPanel WRITE SetAsPanel)
    Q_PROPERTY(bool NativeStyle READ NativeStyle WRITE SetNativeStyle)
    Q_PROPERTY(bool ParentBackground READ ParentBackground WRITE SetParentBackground)

public:
    explicit TCustomTitlePanel(QWidget *AParent = nullptr);
    ~TCustomTitlePanel() override;

    // After the panel's properties came from a form description: scales the band's height and the
    // title font's size by the main scaler, as they were designed for 96 dots per inch.
    virtual void Loaded();

    TCustomTitlePanelTitle *Title() const;
    // The band for the current client rectangle.
    QRect GetTitleRect() const;
    // The children's area for the client rectangle R: nothing more in plain-panel mode, else the band
    // removed and, framed, two frame widths in on every side.
    virtual void AdjustClientRect(QRect &R) const;
    // Re-applies AdjustClientRect as the contents margins, so that children and layouts follow.
    void Realign();

    // True when the panel is an ancestor of AWindow (the panel itself does not count).
    virtual bool ContainsWindow(const QWidget *AWindow) const;
    // False here; a descendant answers true to switch between the active and the inactive colour.
    virtual bool TracksFocus() const;
    // The panel or a widget inside it has the keyboard focus.
    virtual bool Focused() const;
    TColor GetTitleColor() const;
    TColor GetBackgroundColor() const;
    // Repaints and re-aligns.
    void RefreshTitle();
    virtual void Invalidate();

    // The focus moved between AOther and AWindow (either may be null): repaints when the panel
    // tracks the focus and exactly one of the two lies inside it.
    virtual void FocusMoved(QWidget *AOther, QWidget *AWindow);

    QString Caption() const;
    void SetCaption(const QString &Value);
    TTitlePanelStyle Style() const;
    void SetStyle(TTitlePanelStyle Value);
    int FrameWidth() const;
    void SetFrameWidth(int Value);
    bool AsPanel() const;
    void SetAsPanel(bool Value);
    bool NativeStyle() const;
    void SetNativeStyle(bool Value);
    // The parent's background shows through the children's area (the default); false fills it with
    // GetBackgroundColor.
    bool ParentBackground() const;
    void SetParentBackground(bool Value);
    TColor ActiveFrameColor() const;
    virtual void SetActiveFrameColor(TColor Value);
    TColor InactiveFrameColor() const;
    virtual void SetInactiveFrameColor(TColor Value);
    TDrawTitleEvent OnDrawTitle() const;
    void SetOnDrawTitle(TDrawTitleEvent Value);

protected:
    // Defaults, and a new title of GetTitleClass in place of any old one.
    virtual void InitPanel();
    virtual void FreeTitle();
    virtual TTitlePanelTitleClass GetTitleClass() const;
    void paintEvent(QPaintEvent *Event) override;

private:
    // The state, kept out of the header.
    struct TPrivate;
    std::unique_ptr<TPrivate> d;
};

// The collapse style's colour for a skinned look: the InnerColor of the style installed in the
// collapse panels' holder when it is a look-and-skin style, else nothing. Non-native title panels
// take their colours from it. A procedure set here answers instead (tests, hosts with skins of
// their own).
using TTitlePanelSkinColorProc = std::optional<TColor> (*)();
std::optional<TColor> TitlePanelSkinColor();
// Returns the previous procedure.
TTitlePanelSkinColorProc SetTitlePanelSkinColor(TTitlePanelSkinColorProc AProc);

// Tells every title panel around Other and then around W that the focus moved between them.
void NotifyTitlePanels(QWidget *W, QWidget *Other);
// The first title panel among W's ancestors (W itself not counted, no further than W's window).
TCustomTitlePanel *FindEnclosingTitlePanel(const QWidget *W);
// The focus hook of this thread; null when none is installed.
QUuid TitlePanelFocusHookGUID();

// Adds the focus hook on the thread that starts it (the GUI thread) and removes it at the end.
extern const TUnit TitlePanelUnit;
