#pragma once

#include "app/QuellixApplication.h"

#include <QtTest>

// Like QTEST_MAIN, but with the program's own application set-up: windowing prepared for libvlc,
// high-DPI scaling and Qt's Chinese texts.
#define QUELLIX_TEST_MAIN(TestClass)                                                               \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        QuellixApplication app(argc, argv);                                                        \
        TestClass test;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
