#pragma once
// The units each program starts before its body and finishes after it, in this order where they are
// linked: graphics, application services, registry options, scaler register, hook registry, thread
// register, collapse panel, title panel, version readers, dialog service, message components. A new
// unit joins the table of every program that links it, in its place in this order.

#include "platform/units.h"

#include <span>

// The checker window.
std::span<const TUnit *const> PravikUnits();
// The console checker: only the units it links.
std::span<const TUnit *const> PravikCheckUnits();
