#include "platform/units.h"

#include "platform/exceptiontext.h"

#include <QtDebug>

TUnitRun::TUnitRun(std::span<const TUnit *const> Table)
{
    m_started.reserve(Table.size());
    for (const TUnit *unit : Table) {
        try {
            if (unit->Start)
                unit->Start();
        } catch (...) {
            const QString reason = CurrentExceptionMessage();
            finish();
            throw EUnitStartError(
                QStringLiteral("The unit %1 could not start: %2").arg(QLatin1String(unit->Name), reason));
        }
        m_started.push_back(unit);
    }
}

TUnitRun::~TUnitRun()
{
    finish();
}

QStringList TUnitRun::Started() const
{
    QStringList names;
    for (const TUnit *unit : m_started)
        names.append(QLatin1String(unit->Name));
    return names;
}

void TUnitRun::finish()
{
    while (!m_started.empty()) {
        const TUnit *unit = m_started.back();
        m_started.pop_back();
        try {
            if (unit->Finish)
                unit->Finish();
        } catch (...) {
            qWarning("The unit %s failed to finish: %s", unit->Name, qPrintable(CurrentExceptionMessage()));
        }
    }
}
