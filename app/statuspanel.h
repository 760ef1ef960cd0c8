#pragma once
// A panel of the checker window's status bar: a sunken frame whose text, when it does not fit, is
// shortened with an ellipsis where the panel says (in the middle for a path, so that the file's
// name stays in view). text() is always the whole text.

#include <QLabel>

class TStatusPanel : public QLabel
{
    Q_OBJECT

public:
    explicit TStatusPanel(Qt::TextElideMode elide, QWidget *parent = nullptr);

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Qt::TextElideMode m_elide;
};
