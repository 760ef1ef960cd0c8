#pragma once
// The collapse panel (unit CollapsePanel).

#include "platform/units.h"

// Starts the trigger thread; finishes it, stopping and waiting for it, bounded.
extern const TUnit CollapsePanelUnit;
