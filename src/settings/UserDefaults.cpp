#include "settings/UserDefaults.h"

#include <QSettings>
#include <atomic>

namespace UserDefaults {
namespace {

// QSettings objects of one process share one cache, so a store made afresh for every
// call sees at once what another thread has just written.
class StandardUserDefaults : public QSettings {
public:
    StandardUserDefaults()
        : QSettings(UserDefaults::organizationName, UserDefaults::applicationName) {}
};

// A write that cannot reach the disk is dropped from the shared cache too, and only the
// object that made it learns of the error: keep it for the next synchronize to report.
std::atomic<bool> writeFailedSinceSynchronize{false};

void writeThrough(const QString& key, const QVariant& value) {
    StandardUserDefaults store;
    if (value.isValid())
        store.setValue(key, value);
    else
        store.remove(key);
    store.sync();
    if (store.status() != QSettings::NoError)
        writeFailedSinceSynchronize = true;
}

} // namespace

QVariant objectForKey(const QString& key) {
    return StandardUserDefaults().value(key);
}

QString stringForKey(const QString& key) {
    return objectForKey(key).toString();
}

qint64 integerForKey(const QString& key) {
    return objectForKey(key).toLongLong();
}

bool boolForKey(const QString& key) {
    return objectForKey(key).toBool();
}

void setObject(const QString& key, const QString& value) {
    writeThrough(key, value);
}

void setInteger(const QString& key, qint64 value) {
    writeThrough(key, value);
}

void setBool(const QString& key, bool value) {
    writeThrough(key, value);
}

void removeObject(const QString& key) {
    writeThrough(key, QVariant());
}

bool synchronize() {
    StandardUserDefaults store;
    store.sync();
    const bool earlierWriteFailed = writeFailedSinceSynchronize.exchange(false);
    return store.status() == QSettings::NoError && !earlierWriteFailed;
}

} // namespace UserDefaults
