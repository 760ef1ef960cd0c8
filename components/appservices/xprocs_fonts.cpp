// The font guideline, the menu font and the placement of forms.

#include "components/appservices/xprocs.h"
#include "components/appservices/xprocs_display.h"
#include "components/appservices/xprocs_params.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextEdit>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

int g_fontGuidelineState = -1;
QString g_defaultFontName;
int g_defaultCharset = 1;

// fontconfig's generic names, which Qt lists among the installed families although no font file
// carries them: "Sans Serif" stands for whatever fontconfig substitutes, or for nothing at all.
bool isFontAlias(const QString &name)
{
    static const QStringList aliases { u"Sans Serif"_s, u"Sans"_s, u"sans-serif"_s, u"Serif"_s,
        u"Monospace"_s, u"Mono"_s, u"system-ui"_s, u"cursive"_s, u"fantasy"_s, u"emoji"_s, u"math"_s };
    return aliases.contains(name.trimmed(), Qt::CaseInsensitive);
}

QFont::StyleStrategy strategyOf(int quality)
{
    switch (quality) {
    case 2: // proof
        return QFont::PreferQuality;
    case 3: // not antialiased
        return QFont::NoAntialias;
    case 4: // antialiased
    case 5: // clear type
    case 6: // clear type, natural
        return QFont::PreferAntialias;
    default:
        return QFont::PreferDefault;
    }
}

int tagOf(const QWidget *w)
{
    const QVariant tag = w->property("Tag");
    return tag.isValid() ? tag.toInt() : 0;
}

bool autoSizeOf(const QWidget *w)
{
    return w->property("AutoSize").toBool();
}

// The face, quality and (with upsize) 9 points instead of 8, on every control with a font of its
// own; the character set has no counterpart in Qt's fonts.
void applyFont(QWidget *w, const QString &face, QFont::StyleStrategy strategy, bool upsize, bool root)
{
    const bool ownFont = root || w->testAttribute(Qt::WA_SetFont);
    if ((tagOf(w) >= 0 || w->height() <= 14) && ownFont) {
        // A control that refuses its font must not stop the walk.
        try {
            QFont font = w->font();
            const QString upper = font.family().toUpper();
            if (!upper.contains(u"COURIER"_s) && !upper.contains(u"WINGDINGS"_s))
                font.setFamily(face);
            font.setStyleStrategy(strategy);
            if (upsize && FontPoints(font) == 8)
                font.setPointSize(9);
            w->setFont(font);
        } catch (...) {
        }
    }
    for (QObject *child : w->children()) {
        auto *cw = qobject_cast<QWidget *>(child);
        if (cw && !cw->isWindow())
            applyFont(cw, face, strategy, upsize, false);
    }
}

// Controls that keep their font entirely must not take what they left unset from the new default
// font, as Qt's fonts do: every part of theirs is fixed first.
void keepFonts(QWidget *w, bool root)
{
    if (!root && tagOf(w) < 0 && w->height() > 14 && w->testAttribute(Qt::WA_SetFont)) {
        QFont font = w->font();
        font.setFamily(font.family());
        font.setStyleStrategy(font.styleStrategy());
        font.setWeight(font.weight());
        font.setItalic(font.italic());
        if (font.pixelSize() > 0)
            font.setPixelSize(font.pixelSize());
        else
            font.setPointSizeF(font.pointSizeF());
        w->setFont(font);
    }
    for (QObject *child : w->children()) {
        auto *cw = qobject_cast<QWidget *>(child);
        if (cw && !cw->isWindow())
            keepFonts(cw, false);
    }
}

void growTo(QWidget *w, int height)
{
    if (height > w->height())
        w->resize(w->width(), height);
}

void adjustHeights(QWidget *w)
{
    if (auto *label = qobject_cast<QLabel *>(w)) {
        if (FontPoints(label->font()) != 9 || autoSizeOf(label))
            return;
        // A framed label is the counterpart of a static text, which grows whatever its alignment.
        if (label->frameShape() != QFrame::NoFrame || (label->alignment() & Qt::AlignTop))
            growTo(label, TDefaultFontSizes::TextHeight(label->font()));
        return;
    }
    if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        if (FontPoints(edit->font()) == 9 && !autoSizeOf(edit))
            edit->resize(edit->width(), edit->sizeHint().height());
        return;
    }
    if (qobject_cast<QTextEdit *>(w) || qobject_cast<QPlainTextEdit *>(w))
        return;
    for (QObject *child : w->children()) {
        auto *cw = qobject_cast<QWidget *>(child);
        if (cw && !cw->isWindow())
            adjustHeights(cw);
    }
}

// The monitor whose bounds share most of the rectangle with it, else the one closest to it.
const TMonitor *nearestMonitor(const QRect &r, const QList<TMonitor> &monitors)
{
    const TMonitor *best = nullptr;
    qint64 bestArea = 0;
    for (const TMonitor &m : monitors) {
        const QRect common = m.Bounds.intersected(r);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > bestArea) {
            best = &m;
            bestArea = area;
        }
    }
    if (best)
        return best;
    qint64 bestDistance = -1;
    for (const TMonitor &m : monitors) {
        const qint64 dx = std::max({ 0, m.Bounds.left() - r.right(), r.left() - m.Bounds.right() });
        const qint64 dy = std::max({ 0, m.Bounds.top() - r.bottom(), r.top() - m.Bounds.bottom() });
        const qint64 distance = dx * dx + dy * dy;
        if (bestDistance < 0 || distance < bestDistance) {
            best = &m;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace

int FontGuidelineState()
{
    return g_fontGuidelineState;
}

void SetFontGuidelineState(int AState)
{
    g_fontGuidelineState = AState;
}

void SetDefaultFontName(const QString &AName)
{
    g_defaultFontName = AName;
}

int DefaultFontCharset()
{
    return g_defaultCharset;
}

TFontGuidelineEnvironment TFontGuidelineEnvironment::Live()
{
    TFontGuidelineEnvironment environment;
    environment.InstalledFonts = QFontDatabase::families();
    environment.MenuFontName = GetMenuFontName();
    environment.VistaOrLater = IsVistaOrLater();
    return environment;
}

QString GetMenuFontName()
{
    // The family the font is drawn with: the platform names its menu font by an alias.
    if (qobject_cast<QApplication *>(QCoreApplication::instance()))
        return QFontInfo(QApplication::font("QMenu")).family();
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QFontInfo(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).family();
    return {};
}

QString ChooseGuidelineFont(const QString &AFontName, const TFontGuidelineEnvironment &AEnvironment)
{
    QString name = AFontName;
    if (name.isEmpty())
        name = ApplicationParamList().GetParamValue(u"FONT"_s).trimmed();
    if (name.isEmpty())
        name = ApplicationParamList().GetParamValue(u"$FONT"_s).trimmed();
    if (name.isEmpty())
        name = g_defaultFontName;
    if (!AEnvironment.VistaOrLater && name.compare(u"Segoe UI"_s, Qt::CaseInsensitive) == 0)
        name = u"Tahoma"_s;
    QStringList candidates { name, AEnvironment.MenuFontName };
    if (AEnvironment.VistaOrLater)
        candidates << u"Segoe UI"_s;
    candidates << u"Tahoma"_s << u"MS Sans Serif"_s << u"Arial"_s;
    for (const QString &candidate : std::as_const(candidates)) {
        if (!candidate.isEmpty() && !isFontAlias(candidate)
            && AEnvironment.InstalledFonts.contains(candidate, Qt::CaseInsensitive))
            return candidate;
    }
    return {};
}

void ApplyFontGuideline(QWidget *AForm, const QString &AFontName, int AQuality)
{
    ApplyFontGuideline(AForm, AFontName, AQuality, TFontGuidelineEnvironment::Live());
}

void ApplyFontGuideline(
    QWidget *AForm, const QString &AFontName, int AQuality, const TFontGuidelineEnvironment &AEnvironment)
{
    int charset = GetParamInteger(u"$FONTCHARSET"_s);
    int quality = AQuality;
    if (quality < 0)
        quality = GetParamInteger(u"$FONTQUALITY"_s);
    if (quality < 1)
        quality = 5;
    const QString chosen = ChooseGuidelineFont(AFontName, AEnvironment);
    if (chosen.isEmpty())
        return;
    if (charset > 255)
        throw EArgumentOutOfRangeException(u"Zeichensatz %1 liegt außerhalb von 0 bis 255"_s.arg(charset));
    if (charset >= 0)
        g_defaultCharset = charset;
    else
        charset = 1;

    if (g_fontGuidelineState != 0 && g_fontGuidelineState != 1)
        g_fontGuidelineState
            = ApplicationParamList().GetCheckParam(u"FORCE_FONT_GUIDELINE"_s) && AEnvironment.VistaOrLater
            ? 1
            : 0;
    const bool on = g_fontGuidelineState == 1;

    const QFont::StyleStrategy strategy = strategyOf(quality);
    if (AForm)
        keepFonts(AForm, true);
    QFont font = QApplication::font();
    font.setFamily(chosen);
    font.setStyleStrategy(strategy);
    font.setPixelSize(on ? 12 : 11); // 9 or 8 points at 96 dots per inch
    QApplication::setFont(font);
    if (!AForm)
        return;
    applyFont(AForm, chosen, strategy, on, true);
    if (on)
        adjustHeights(AForm);
}

std::optional<QRect> VisibleBounds(
    const QRect &ABounds, const QList<TMonitor> &AMonitors, bool AOnlyIfOffScreen)
{
    // Edges as the platform keeps them: right and bottom exclusive.
    int left = ABounds.x();
    int top = ABounds.y();
    int right = left + ABounds.width();
    int bottom = top + ABounds.height();
    if (AOnlyIfOffScreen) {
        const QPoint centre(left + (right - left) / 2, top + (bottom - top) / 2);
        for (const TMonitor &m : AMonitors) {
            if (m.Bounds.contains(centre))
                return std::nullopt;
        }
    }
    const TMonitor *monitor = nearestMonitor(ABounds, AMonitors);
    if (!monitor)
        return std::nullopt;
    const QRect &w = monitor->WorkArea;
    const int wRight = w.x() + w.width();
    const int wBottom = w.y() + w.height();
    const auto shift = [&](int dx, int dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    };
    if (right > wRight)
        shift(wRight - right, 0);
    if (bottom > wBottom)
        shift(0, wBottom - bottom);
    if (left < w.x())
        shift(w.x() - left, 0);
    if (top < w.y())
        shift(0, w.y() - top);
    return QRect(left, top, right - left, bottom - top);
}

void EnsureFormVisible(QWidget *AForm, bool AOnlyIfOffScreen)
{
    if (!AForm || AForm->isMaximized())
        return;
    if (AForm->isMinimized())
        AForm->showNormal();
    QList<TMonitor> monitors;
    for (const QScreen *screen : QGuiApplication::screens())
        monitors.append({ screen->geometry(), screen->availableGeometry() });
    if (const std::optional<QRect> bounds = VisibleBounds(AForm->frameGeometry(), monitors, AOnlyIfOffScreen))
        AForm->move(bounds->topLeft());
}
