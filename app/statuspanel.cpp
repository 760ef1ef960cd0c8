#include "statuspanel.h"

#include <QPainter>

TStatusPanel::TStatusPanel(Qt::TextElideMode elide, QWidget *parent)
    : QLabel(parent)
    , m_elide(elide)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setTextFormat(Qt::PlainText);
}

QSize TStatusPanel::minimumSizeHint() const
{
    // A long text must never widen the window: the panel shortens it instead.
    const QSize hint = QLabel::minimumSizeHint();
    return { 2 * frameWidth() + fontMetrics().horizontalAdvance(QStringLiteral("…")), hint.height() };
}

void TStatusPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect().adjusted(2, 0, -2, 0);
    const QString shown = fontMetrics().elidedText(text(), m_elide, area.width());
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, int(Qt::AlignLeft | Qt::AlignVCenter) | Qt::TextSingleLine, shown);
}
