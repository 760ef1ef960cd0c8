#pragma once
// The checked files' history switched on for one test, kept in a folder of the test's own: the
// settings folder is set and PRAVIK_NO_HISTORY (which the test environment sets) taken away, both put
// back when the guard goes. Header-only.

#include "platform/settingsstore.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace testsupport {

class HistoryOn
{
public:
    explicit HistoryOn(const QString &settingsFolder)
        : m_noHistory(qgetenv("PRAVIK_NO_HISTORY"))
    {
        SetSettingsFolder(settingsFolder);
        qunsetenv("PRAVIK_NO_HISTORY");
    }
    ~HistoryOn()
    {
        SetSettingsFolder(QString());
        if (!m_noHistory.isNull())
            qputenv("PRAVIK_NO_HISTORY", m_noHistory);
    }
    HistoryOn(const HistoryOn &) = delete;
    HistoryOn &operator=(const HistoryOn &) = delete;

private:
    QByteArray m_noHistory;
};

} // namespace testsupport
