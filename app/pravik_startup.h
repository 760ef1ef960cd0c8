#pragma once
// The checker window's start and end around its body, shared by the program and the tests that must
// start exactly as it does: the library's units first (in the order of PravikUnits), then the
// application, then the body; the application goes before the units finish.

#include <functional>

// Runs ABody between the start and the end; returns its result, or 1 when a unit cannot start (the
// reason on standard error, under the program's name).
int RunPravik(int &argc, char **argv, const std::function<int()> &ABody);
