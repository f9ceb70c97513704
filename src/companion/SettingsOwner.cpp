#include "companion/SettingsOwner.h"

#include "companion/Commands.h"

#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QList>
#include <climits>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The kernel's own limit on links followed in one path.
constexpr int mostLinks = 40;

// One name looked up in a folder on the way to the settings. No name: any name, as in the
// settings' own folder.
struct Lookup {
    QByteArray folder;
    struct stat folderStatus = {};
    std::optional<struct stat> found;
};

QByteArray parentOf(const QByteArray& folder) {
    const qsizetype slash = folder.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : folder.left(slash);
}

QByteArray inFolder(const QByteArray& folder, const QByteArray& name) {
    return (folder == "/" ? folder : folder + '/') + name;
}

// Follows the path from the root a name at a time, links included, as the kernel does, and
// keeps every folder in which it looked a name up. The last is the settings' folder, or the
// nearest existing folder above it. None when the path cannot be followed.
std::optional<QList<Lookup>> walk(const QByteArray& path) {
    QList<Lookup> lookups;
    QByteArray current = "/";
    QByteArrayList names = path.split('/');
    int links = 0;
    while (!names.isEmpty()) {
        const QByteArray name = names.takeFirst();
        if (name.isEmpty() || name == ".")
            continue;
        if (name == "..") {
            current = parentOf(current);
            continue;
        }
        Lookup lookup{current, {}, std::nullopt};
        struct stat found = {};
        const QByteArray next = inFolder(current, name);
        if (::stat(current, &lookup.folderStatus) != 0)
            return std::nullopt;
        if (::lstat(next, &found) == 0)
            lookup.found = found;
        lookups.append(lookup);
        if (!lookup.found)
            break; // the rest is made later, by whoever acts
        if (S_ISLNK(found.st_mode)) {
            char target[PATH_MAX];
            const ssize_t length = ::readlink(next, target, sizeof target);
            if (length <= 0 || ++links > mostLinks)
                return std::nullopt;
            if (target[0] == '/')
                current = "/";
            names = QByteArray(target, length).split('/') + names;
            continue;
        }
        if (!S_ISDIR(found.st_mode))
            return std::nullopt;
        current = next;
    }
    Lookup any{current, {}, std::nullopt};
    if (::stat(current, &any.folderStatus) != 0)
        return std::nullopt;
    lookups.append(any);
    return lookups;
}

// Whether only root and the owner can change what the lookup finds. In a folder that others
// may write but whose sticky bit keeps them off names they do not own, a name of root's or
// the owner's is safe.
bool isSteady(const Lookup& lookup, uid_t owner) {
    const auto trusted = [owner](uid_t uid) { return uid == 0 || uid == owner; };
    const struct stat& folder = lookup.folderStatus;
    if (!trusted(folder.st_uid))
        return false;
    if ((folder.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return true;
    return (folder.st_mode & S_ISVTX) && lookup.found && trusted(lookup.found->st_uid);
}

QString userName(uid_t uid) {
    const struct passwd* user = ::getpwuid(uid);
    return user ? QString::fromLocal8Bit(user->pw_name) : QString::number(uid);
}

// The user's own groups; an owner without an account gets the folder's group alone.
bool becomeOwner(const struct stat& folder) {
    const struct passwd* user = ::getpwuid(folder.st_uid);
    const gid_t gid = user ? user->pw_gid : folder.st_gid;
    const bool grouped =
        user ? ::initgroups(user->pw_name, gid) == 0 : ::setgroups(0, nullptr) == 0;
    return grouped && ::setresgid(gid, gid, gid) == 0 &&
           ::setresuid(folder.st_uid, folder.st_uid, folder.st_uid) == 0;
}

} // namespace

namespace SettingsOwner {

bool actAsOwnerOfSettings(const QString& folder) {
    if (::geteuid() != 0)
        return true;
    const auto lookups = walk(QFile::encodeName(folder));
    if (!lookups) {
        Companion::tell("cannot follow the path to " + folder);
        return false;
    }
    const struct stat& end = lookups->last().folderStatus;
    for (const Lookup& lookup : *lookups) {
        if (!isSteady(lookup, end.st_uid)) {
            const QString others = end.st_uid == 0 ? "root" : "root and " + userName(end.st_uid);
            Companion::tell(QFile::decodeName(lookup.folder) +
                            " can be changed by users other than " + others +
                            ", so root does not act on the settings in " + folder);
            return false;
        }
    }
    if (end.st_uid == 0 || becomeOwner(end))
        return true;
    Companion::tell("cannot act as the owner of " + QFile::decodeName(lookups->last().folder));
    return false;
}

} // namespace SettingsOwner
