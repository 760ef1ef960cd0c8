#pragma once
// The library's units start in one explicit order before the program body and finish in reverse
// after it. Every program lists its units in a table, in dependency order, and keeps a TUnitRun for
// the life of its body; nothing starts from a static initialiser, so a unit is never left out by the
// linker or started in an order nobody chose.
//
// Rules:
// - A unit whose start raises stops the start-up: the units started before it finish, in reverse,
//   and TUnitRun raises EUnitStartError naming the unit and its error, so that no program runs
//   half-started.
// - Finishing never raises: each unit's finish runs even when one before it failed; the failures
//   are reported as warnings.

#include "platform/exception.h"

#include <QStringList>

#include <initializer_list>
#include <span>
#include <vector>

struct TUnit
{
    const char *Name;
    void (*Start)(); // may be null
    void (*Finish)(); // may be null
};

class EUnitStartError : public Exception
{
public:
    using Exception::Exception;
};

class TUnitRun
{
public:
    explicit TUnitRun(std::span<const TUnit *const> Table);
    TUnitRun(std::initializer_list<const TUnit *> Table)
        : TUnitRun(std::span<const TUnit *const>(Table.begin(), Table.size()))
    {
    }
    ~TUnitRun();
    TUnitRun(const TUnitRun &) = delete;
    TUnitRun &operator=(const TUnitRun &) = delete;

    // The names of the units started, in their order.
    QStringList Started() const;

private:
    void finish();

    std::vector<const TUnit *> m_started;
};
