#include "settings/UserDefaults.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QThread>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

namespace UserDefaults {
namespace {

// The file holds a password that every copy of the program can decipher, so it and its folder
// are their owner's alone. On macOS the store is the system's defaults database instead.
#ifdef Q_OS_DARWIN
constexpr bool storeIsOurFile = false;
#else
constexpr bool storeIsOurFile = true;
#endif

std::mutex folderMutex;
QString chosenFolder; // empty: the user's configuration folder

QString storeFolder() {
    const std::lock_guard lock(folderMutex);
    return chosenFolder.isEmpty() ? configurationHome() : chosenFolder;
}

// QSettings objects of one process share one cache, so a store made afresh for every
// call sees at once what another thread has just written. Opened by its path alone: one made
// from the organisation's name would also read, for every key the file lacks, files of the
// same name that others may place beside its folder or in $XDG_CONFIG_DIRS.
class StandardUserDefaults : public QSettings {
public:
#ifdef Q_OS_DARWIN
    StandardUserDefaults() : QSettings(organizationName, applicationName) {}
#else
    StandardUserDefaults() : QSettings(storeFile(), QSettings::IniFormat) {}
#endif
};

// Held across a write and its undoing, so no reader sees a value that never reached the
// disk.
std::mutex storeMutex;

// Where this thread's innermost WriteCheck keeps its verdict; none when no check lives.
thread_local bool* writeVerdict = nullptr;

// How long a write waits for another process's write; a write still waiting then is not
// stored. Another process holds the lock across a local file write only.
constexpr int longestWaitForWriters = 5000;

// Every writer of the store, in every process, holds this across its read, its judgement
// and its sync: QSettings merges its own keys into whatever another process wrote meanwhile,
// so without it a write judged on the earlier file lands on the newer one. An flock of a
// file of its own, never removed: QSettings' own lock file is taken by sync() itself, and a
// record lock would go whenever the process closed any descriptor of that file. The store's
// mutex comes after the flock, so that this process's readers never wait while a writer
// waits for another process (the flock of each thread's own descriptor orders its writers).
class StoreWriteLock {
public:
    StoreWriteLock() : descriptor_(lockedDescriptor()) {
        if (descriptor_ >= 0)
            threads_ = std::unique_lock(storeMutex);
    }
    ~StoreWriteLock() {
        if (descriptor_ >= 0)
            ::close(descriptor_);
    }
    StoreWriteLock(const StoreWriteLock&) = delete;
    StoreWriteLock& operator=(const StoreWriteLock&) = delete;

    bool held() const { return descriptor_ >= 0; }

private:
    static int lockedDescriptor() {
        const int descriptor = ::open(QFile::encodeName(storeLockFile()),
                                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        const QDeadlineTimer deadline(longestWaitForWriters);
        while (descriptor >= 0 && ::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK || deadline.hasExpired()) {
                ::close(descriptor);
                return -1;
            }
            QThread::msleep(10);
        }
        return descriptor;
    }

    int descriptor_;
    std::unique_lock<std::mutex> threads_;
};

void recordNotStored() {
    if (writeVerdict)
        *writeVerdict = false;
}

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
// the settings file exists; putting the earlier values back makes both behave alike.
void writeThrough(QSettings& store, const Values& values) {
    Values earlier;
    for (const auto& [key, value] : values)
        earlier.append({key, store.value(key)});
    // The worker writes the remembered addresses every cycle: values the disk holds
    // already cost no sync or rename.
    if (earlier == values)
        return;
    for (const auto& [key, value] : values)
        put(store, key, value);
    store.sync();
    // A file that did not parse is written afresh: only a refused write is lost.
    if (store.status() != QSettings::AccessError)
        return;
    for (const auto& [key, earlierValue] : earlier)
        put(store, key, earlierValue);
    recordNotStored();
}

// Writes the values while the keys of `expected` still hold those texts, judged under the
// lock that every writer takes.
void writeIf(const Values& values, const Values& expected) {
    createPrivately(storeFile()); // its folder holds the lock's file
    const StoreWriteLock lock;
    if (!lock.held()) {
        recordNotStored();
        return;
    }
    StandardUserDefaults store; // made under the lock: reads the file again when it changed
    for (const auto& [key, value] : expected)
        if (store.value(key).toString() != value.toString())
            return;
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
    writeIf({{key, value}}, {});
}

void setInteger(const QString& key, qint64 value) {
    writeIf({{key, value}}, {});
}

void setBool(const QString& key, bool value) {
    writeIf({{key, value}}, {});
}

void setValues(const Values& values) {
    writeIf(values, {});
}

void setValuesIf(const Values& values, const Values& expected) {
    writeIf(values, expected);
}

QString configurationHome() {
    // A relative one would name another folder in every working folder: the XDG rules ignore it.
    const QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
    return QDir::isAbsolutePath(home) ? QDir::cleanPath(home) : QDir::homePath() + "/.config";
}

void useStoreIn(const QString& folder) {
    const std::lock_guard lock(folderMutex);
    chosenFolder = folder.isEmpty() ? QString() : QDir(folder).absolutePath();
}

QString storeFile() {
    if (!storeIsOurFile)
        return QSettings(organizationName, applicationName).fileName();
    return storeFolder() + '/' + organizationName + '/' + applicationName + ".conf";
}

QString storeLockFile() {
    const QFileInfo settings(storeFile());
    return settings.path() + '/' + settings.completeBaseName() + ".store.lock";
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
    const std::lock_guard lock(storeMutex); // every write is on disk already: nothing to judge
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
