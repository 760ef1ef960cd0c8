#pragma once
// The dialog service's answer store as the tests keep it: a key of the (relocated) settings store,
// read and written past the service to see what it did.

#include "platform/settingsstore.h"

#include <QString>

#include <limits>
#include <memory>

namespace TestAnswerStore {

inline const QString StoreKey = QStringLiteral("\\Software\\Zelk Software\\Test\\Dialogantworten");
inline constexpr int None = std::numeric_limits<int>::min(); // "nothing stored" in the tables

// A factory for Tzc_Dialogs::SetAutoAnswersRegistryCreate.
inline std::unique_ptr<TRegistry> openStore()
{
    auto store = std::make_unique<TRegistry>();
    if (!store->OpenKey(StoreKey, true))
        return nullptr;
    return store;
}

// What the store holds under a name; None when nothing.
inline int stored(const QString &name)
{
    TRegistry reg;
    if (!reg.OpenKey(StoreKey, false) || !reg.ValueExists(name))
        return None;
    return reg.ReadInteger(name, None);
}

inline void put(const QString &name, int value)
{
    TRegistry reg;
    reg.OpenKey(StoreKey, true);
    reg.WriteInteger(name, value);
}

} // namespace TestAnswerStore
