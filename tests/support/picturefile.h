#pragma once
// Pictures of the galleries: each PNG written whole or not at all.

#include <QImage>
#include <QImageWriter>
#include <QSaveFile>
#include <QString>

// Writes the picture as PNG; on failure returns false with the reason in *error.
inline bool WritePicture(const QImage &picture, const QString &fileName, QString *error)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("%1 cannot be written: %2").arg(fileName, file.errorString());
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(picture)) {
        *error = QStringLiteral("%1 cannot be written: %2").arg(fileName, writer.errorString());
        return false;
    }
    if (!file.commit()) {
        *error = QStringLiteral("%1 cannot be written: %2").arg(fileName, file.errorString());
        return false;
    }
    return true;
}
