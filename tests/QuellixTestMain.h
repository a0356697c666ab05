#pragma once

#include "player/VideoOutputInit.h"

#include <QApplication>
#include <QtTest>

// Like QTEST_MAIN, but prepares the windowing system for libvlc first, as the program does.
#define QUELLIX_TEST_MAIN(TestClass)                                                               \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        initVideoOutput();                                                                         \
        QApplication app(argc, argv);                                                              \
        TestClass test;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
