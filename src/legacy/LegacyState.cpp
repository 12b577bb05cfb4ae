#include "legacy/LegacyState.h"

LEGACY_RUN_STATE& GetLegacyRunState()
{
    static LEGACY_RUN_STATE s_State;
    return s_State;
}
