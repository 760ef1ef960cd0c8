#include "units.h"

#include "components/appservices/xprocs.h"
#include "components/appservices/xprocs_display.h"
#include "components/appservices/zc_thread.h"
#include "components/appservices/zelk_registry.h"
#include "components/dialogs/zc_dialogs.h"
#include "components/messages/messagecntr.h"
#include "components/panels/collapsepanel.h"
#include "components/panels/titlepanel.h"
#include "components/panels/xgraphic_cache.h"
#include "components/scaling/zc_hooks.h"
#include "components/scaling/zc_scale.h"
#include "components/versioninfo/zc_verinfo.h"
#include "components/versioninfo/zc_versioninfo.h"

std::span<const TUnit *const> PravikUnits()
{
    static constexpr const TUnit *table[] = {
        &XGraphicUnit,
        &xProcsDisplayUnit,
        &xProcsUnit,
        &Zelk_RegistryUnit,
        &zc_ScaleUnit,
        &zc_HooksUnit,
        &zc_ThreadUnit,
        &CollapsePanelUnit,
        &TitlePanelUnit,
        &zc_VersionInfoUnit,
        &zc_VerInfoUnit,
        &zc_DialogsUnit,
        &MessageCntrUnit,
    };
    return table;
}
