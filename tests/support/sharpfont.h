#pragma once
// A font for pictures that tests compare pixel by pixel: sharp glyphs, so that every text pixel has
// exactly the pen's colour.

#include <QFont>
#include <QFontDatabase>

namespace testsupport {

inline QFont sharpFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(13);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

} // namespace testsupport
