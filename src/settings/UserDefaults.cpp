#include "settings/UserDefaults.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <mutex>

namespace UserDefaults {
namespace {

// QSettings objects of one process share one cache, so a store made afresh for every
// call sees at once what another thread has just written.
class StandardUserDefaults : public QSettings {
public:
    StandardUserDefaults()
        : QSettings(UserDefaults::organizationName, UserDefaults::applicationName) {}
};

// Held across a write and its undoing, so no reader sees a value that never reached the
// disk.
std::mutex storeMutex;

// Where this thread's innermost WriteCheck keeps its verdict; none when no check lives.
thread_local bool* writeVerdict = nullptr;

// The file holds a password that every copy of the program can decipher, so it and its folder
// are their owner's alone. On macOS the store is the system's defaults database instead.
#ifdef Q_OS_DARWIN
constexpr bool storeIsOurFile = false;
#else
constexpr bool storeIsOurFile = true;
#endif
constexpr auto ownerOnlyFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr auto ownerOnlyFile = QFile::ReadOwner | QFile::WriteOwner;

// Exact modes, whatever the umask took away or left.
void tighten(const QString& filePath) {
    QFile::setPermissions(QFileInfo(filePath).path(), ownerOnlyFolder);
    QFile::setPermissions(filePath, ownerOnlyFile);
}

// QSettings makes its folder with the umask's permissions, but replaces an existing file
// with one of the same permissions: a file made private before the first write stays so.
void createPrivately(const QString& filePath) {
    if (!storeIsOurFile || QFileInfo::exists(filePath))
        return;
    const QString folder = QFileInfo(filePath).path();
    QDir().mkpath(QFileInfo(folder).path());
    QDir().mkdir(folder, ownerOnlyFolder);
    QFile(filePath).open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnlyFile);
    tighten(filePath);
}

void put(QSettings& store, const QString& key, const QVariant& value) {
    if (value.isValid())
        store.setValue(key, value);
    else
        store.remove(key);
}

// A write that fails stays in the shared cache or vanishes from it, depending on whether
// the settings file exists; putting the earlier values back makes both behave alike. The
// caller holds the store's lock.
void writeThrough(QSettings& store, const Values& values) {
    Values earlier;
    for (const auto& [key, value] : values)
        earlier.append({key, store.value(key)});
    // The worker writes the remembered addresses every cycle: values the disk holds
    // already cost no lock file, sync or rename.
    if (earlier == values)
        return;
    createPrivately(store.fileName());
    for (const auto& [key, value] : values)
        put(store, key, value);
    store.sync();
    // A file that did not parse is written afresh: only a refused write is lost.
    if (store.status() != QSettings::AccessError)
        return;
    for (const auto& [key, earlierValue] : earlier)
        put(store, key, earlierValue);
    if (writeVerdict)
        *writeVerdict = false;
}

void writeThrough(const Values& values) {
    const std::lock_guard lock(storeMutex);
    StandardUserDefaults store; // reads the file again when it changed on disk
    writeThrough(store, values);
}

} // namespace

QVariant objectForKey(const QString& key) {
    const std::lock_guard lock(storeMutex);
    return StandardUserDefaults().value(key);
}

QString stringForKey(const QString& key) {
    return objectForKey(key).toString();
}

qint64 integerForKey(const QString& key) {
    return objectForKey(key).toLongLong();
}

bool boolForKey(const QString& key) {
    // A text written by hand is true only when it says so: "no" and "off" are not.
    const QVariant value = objectForKey(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString();
    bool isNumber = false;
    const qlonglong number = text.toLongLong(&isNumber);
    if (isNumber)
        return number != 0;
    return text.compare(u"true", Qt::CaseInsensitive) == 0 ||
           text.compare(u"yes", Qt::CaseInsensitive) == 0;
}

void setObject(const QString& key, const QString& value) {
    writeThrough({{key, value}});
}

void setInteger(const QString& key, qint64 value) {
    writeThrough({{key, value}});
}

void setBool(const QString& key, bool value) {
    writeThrough({{key, value}});
}

void setValues(const Values& values) {
    writeThrough(values);
}

void setValuesIf(const Values& values, const Values& expected) {
    const std::lock_guard lock(storeMutex);
    StandardUserDefaults store;
    for (const auto& [key, value] : expected)
        if (store.value(key).toString() != value.toString())
            return;
    writeThrough(store, values);
}

QString storeFile() {
    return StandardUserDefaults().fileName();
}

QString canonicalStoreFile() {
    const QFileInfo file(storeFile());
    const QString folder = QFileInfo(file.path()).canonicalFilePath();
    return folder.isEmpty() ? file.absoluteFilePath() : folder + '/' + file.fileName();
}

QString digestOf(const QString& storePath) {
    return QString::fromLatin1(
        QCryptographicHash::hash(storePath.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

void makeStorePrivate() {
    const std::lock_guard lock(storeMutex);
    if (storeIsOurFile)
        tighten(StandardUserDefaults().fileName());
}

bool synchronize() {
    const std::lock_guard lock(storeMutex);
    StandardUserDefaults store;
    store.sync();
    return store.status() != QSettings::AccessError;
}

WriteCheck::WriteCheck() : enclosing_(writeVerdict) {
    writeVerdict = &allStored_;
}

WriteCheck::~WriteCheck() {
    writeVerdict = enclosing_;
}

} // namespace UserDefaults
