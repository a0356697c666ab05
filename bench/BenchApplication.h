#pragma once

// The application of the benchmarks of the file list: the program's own set-up, or, built against
// a revision that predates it (bench/run.sh --baseline), the plain one of those days.
#if __has_include("app/QuellixApplication.h")
#include "app/QuellixApplication.h"
using BenchApplication = QuellixApplication;
#else
#include "player/VideoOutputInit.h"

#include <QApplication>

class BenchApplication final : public QApplication
{
public:
    BenchApplication(int &argc, char **argv) : QApplication(prepare(argc), argv) {}

private:
    static int &prepare(int &argc)
    {
        initVideoOutput();
        return argc;
    }
};
#endif
