#pragma once

#include <QTest>

// One row of a data-driven test in one call, so that each row stays on one line.
template <typename... Values> void row(const char* name, const Values&... values) {
    (QTest::newRow(name) << ... << values);
}
