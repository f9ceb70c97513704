#pragma once

#include "update/UpdaterStatus.h"

#include <QByteArray>

// status's outputs for programs rather than people, each whole and UTF-8.
namespace StatusFormats {

// One JSON object, whose "version" tells its schema; a value the settings or the record cannot
// give is null. No control or format character reaches the output raw.
QByteArray json(const UpdaterStatus& status);

// The Prometheus text exposition format: every metric with its HELP and TYPE, a sample for
// each value known.
QByteArray prometheus(const UpdaterStatus& status);

} // namespace StatusFormats
