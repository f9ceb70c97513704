#pragma once

#include "log/ActivityLog.h"
#include "settings/UserDefaults.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdlib>

// What every fuzz target needs once: an application object, settings in a folder of their
// own, and an empty activity log.
inline void setUpFuzzEnvironment() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    static QTemporaryDir settingsFolder;
    UserDefaults::useStoreIn(settingsFolder.path());
    ActivityLog::create();
}

// A finding: libFuzzer reports the input that led here.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            std::abort();                                                                          \
    } while (false)
