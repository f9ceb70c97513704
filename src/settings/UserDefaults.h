#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <utility>

// The per-user defaults store, one call per operation. Start-up and Save use these
// directly: unlike the MyFunctions accessors, they neither encipher the password nor
// turn an absent value into "".
//
// Every write goes to disk at once, under a lock that writers in other processes take too; one
// of the value that the disk holds already (as read again when the file changed) does nothing.
// A write that cannot reach the disk, or that waits too long for another process's, is undone,
// so the process goes on with what the disk holds, however the store is unwritable.
namespace UserDefaults {

inline constexpr auto organizationName = "Vorlin";
inline constexpr auto applicationName = "IPUpdateClient";

QVariant objectForKey(const QString& key); // invalid when the key is absent
QString stringForKey(const QString& key);  // "" when the key is absent
qint64 integerForKey(const QString& key);  // 0 when absent or not a number
// False when absent; a stored text is true for "true" or "yes" in any case, or a non-zero
// integer.
bool boolForKey(const QString& key);

void setObject(const QString& key, const QString& value);
void setInteger(const QString& key, qint64 value);
void setBool(const QString& key, bool value);
// Several keys in one write, which the disk takes whole or not at all; an invalid value
// removes its key.
using Values = QList<std::pair<QString, QVariant>>;
void setValues(const Values& values);
// The same, only while the keys of `expected` still hold those texts, judged under the
// store's lock.
void setValuesIf(const Values& values, const Values& expected);

// The folder that holds "Vorlin/IPUpdateClient.conf": the one given last (an empty one: none),
// else the user's configuration folder, $XDG_CONFIG_HOME where it is an absolute path, else
// ~/.config.
void useStoreIn(const QString& folder);
QString configurationHome();

// The store's file as its path is spelled (absolute), and the same with the links on the way to its
// folder resolved once the folder exists: two spellings of one folder (a linked ~/.config)
// are one store.
QString storeFile();
QString canonicalStoreFile();
// Beside the store: the file whose lock every writer of the store takes, in every process.
QString storeLockFile();
// A short digest of a store's path, for names of what belongs to that store alone.
QString digestOf(const QString& storePath);

// Makes an existing store reachable by its owner alone: the folder 0700, the file 0600.
// Writes create them so.
void makeStorePrivate();

// Writes every pending change to disk; false when the store could not be written.
bool synchronize();

// Tells whether every write that this thread makes while the check lives (and no inner
// check does) reached the disk. Writes of other threads do not count.
class WriteCheck {
public:
    WriteCheck();
    ~WriteCheck();
    WriteCheck(const WriteCheck&) = delete;
    WriteCheck& operator=(const WriteCheck&) = delete;

    bool allStored() const { return allStored_; }

private:
    bool allStored_ = true;
    bool* enclosing_;
};

} // namespace UserDefaults
