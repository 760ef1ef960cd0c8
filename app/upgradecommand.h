#pragma once
// pravik-check --upgrade: writes a file of a retired version in the version the banks take, after
// the result passed the same check as any file (see legacy/upgrade.h).

#include <QString>

#include <cstdio>

namespace checker {

struct Options;

// The whole upgrade run: returns the exit status a check of the result would have, or SomeRefused
// when nothing could be upgraded or written.
int runUpgrade(const Options &options, std::FILE *out, std::FILE *err);

// Where --keep-failed writes a result that did not pass: "out.xml" -> "out.failed.xml".
QString keptFailedName(const QString &target);

} // namespace checker
