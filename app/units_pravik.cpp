#include "units.h"

#include "components/appservices/zc_thread.h"
#include "components/messages/messagecntr.h"
#include "components/versioninfo/zc_verinfo.h"
#include "components/versioninfo/zc_versioninfo.h"

std::span<const TUnit *const> PravikUnits()
{
    static constexpr const TUnit *table[] = {
        &zc_ThreadUnit,
        &zc_VersionInfoUnit,
        &zc_VerInfoUnit,
        &MessageCntrUnit,
    };
    return table;
}
