#pragma once
// Test mains that run units around the test object as a program's main does: started before the
// application object exists, finished after it is gone.

#include "platform/units.h"

#include <QTest>

#define PRAVIK_TEST_MAIN(TestObject, Units)                                                                  \
    QTEST_MAIN_WRAPPER(TestObject, const TUnitRun pravikUnits(Units); QTEST_MAIN_SETUP())
#define PRAVIK_TEST_GUILESS_MAIN(TestObject, Units)                                                          \
    QTEST_MAIN_WRAPPER(TestObject, const TUnitRun pravikUnits(Units); QTEST_QAPP_SETUP(QCoreApplication))
