#include "app/platform/linux/XdgAutostartItem.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// The program as one argument of a shell command inside a desktop entry's Exec value:
// quoted for the shell, then for Exec's double quotes, then for the file's escapes.
QString execArgument(const QString& programPath) {
    QString shellQuoted = "'" + QString(programPath).replace("'", R"('\'')") + "'";
    QString execQuoted;
    for (const QChar c : shellQuoted) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            execQuoted += '\\';
        execQuoted += c;
    }
    return execQuoted.replace("\\", "\\\\").replace("%", "%%"); // %% is no field code
}

// A desktop entry's lines, read and changed in its [Desktop Entry] group alone: every other
// line (comments, translations, other groups) stays as it stands. Keys as GLib reads them:
// spaces around '=' do not count, and of a key written twice the last.
struct DesktopEntry {
    QStringList lines;

    // Nothing when there is no entry to read; lines without their carriage returns.
    static std::optional<DesktopEntry> read(const QString& path) {
        QFile entry(path);
        if (!entry.open(QIODevice::ReadOnly))
            return std::nullopt;
        QStringList lines = QString::fromUtf8(entry.readAll()).split('\n');
        for (QString& line : lines)
            if (line.endsWith('\r'))
                line.chop(1);
        return DesktopEntry{lines};
    }

    std::optional<QString> value(const QString& key) const {
        std::optional<QString> found;
        for (const qsizetype index : linesOf(key))
            found = lines[index].section('=', 1).trimmed();
        return found;
    }

    // In place of the key's lines, or at the end of the group.
    void set(const QString& key, const QString& value) {
        const QList<qsizetype> indexes = linesOf(key);
        if (indexes.isEmpty()) {
            lines.insert(endOfGroup(), key + '=' + value);
            return;
        }
        lines[indexes.first()] = key + '=' + value;
        for (qsizetype later = indexes.size() - 1; later > 0; --later)
            lines.removeAt(indexes[later]);
    }

    void remove(const QString& key) {
        const QList<qsizetype> indexes = linesOf(key);
        for (auto index = indexes.crbegin(); index != indexes.crend(); ++index)
            lines.removeAt(*index);
    }

    // Whether a desktop starts it at login: a program to start, and not switched off by the
    // user or the desktop's settings (GNOME's, KDE's, MATE's), the entry kept in place.
    bool startsAtLogin() const {
        const auto isFalse = [](const std::optional<QString>& value) {
            return value == "false" || value == "0";
        };
        return value("Type") && value("Exec") &&
               !(value("Hidden") == "true" || value("Hidden") == "1" ||
                 isFalse(value("X-GNOME-Autostart-enabled")) ||
                 isFalse(value("X-MATE-Autostart-enabled")));
    }

private:
    static bool opensGroup(const QString& line) { return line.trimmed().startsWith('['); }
    static bool opensEntryGroup(const QString& line) { return line.trimmed() == "[Desktop Entry]"; }

    QList<qsizetype> linesOf(const QString& key) const {
        QList<qsizetype> indexes;
        bool inEntry = false;
        for (qsizetype index = 0; index < lines.size(); ++index) {
            if (opensGroup(lines[index]))
                inEntry = opensEntryGroup(lines[index]);
            else if (inEntry && lines[index].section('=', 0, 0).trimmed() == key)
                indexes << index;
        }
        return indexes;
    }

    // After the group's last line that is not empty; a group is made where there is none.
    qsizetype endOfGroup() {
        qsizetype end = -1;
        bool inEntry = false;
        for (qsizetype index = 0; index < lines.size(); ++index) {
            if (opensGroup(lines[index]))
                inEntry = opensEntryGroup(lines[index]);
            if (inEntry && !lines[index].trimmed().isEmpty())
                end = index + 1;
        }
        if (end >= 0)
            return end;
        lines.prepend("[Desktop Entry]");
        return 1;
    }
};

// Whether there is a system-wide entry, and it is on.
bool isOn(const std::optional<QString>& systemEntryPath) {
    const auto entry = systemEntryPath ? DesktopEntry::read(*systemEntryPath) : std::nullopt;
    return entry && entry->startsAtLogin();
}

} // namespace

std::unique_ptr<LoginItem> makeLoginItem(const QString& programPath) {
    return std::make_unique<XdgAutostartItem>(programPath);
}

XdgAutostartItem::XdgAutostartItem(const QString& programPath) : programPath_(programPath) {}

QString XdgAutostartItem::entryPath() const {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/autostart/" +
           applicationId + ".desktop";
}

// The first system-wide entry of the same name, in the order of $XDG_CONFIG_DIRS.
std::optional<QString> XdgAutostartItem::systemEntryPath() const {
    const QStringList folders =
        QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation).mid(1);
    for (const QString& folder : folders)
        if (const QString path = folder + "/autostart/" + applicationId + ".desktop";
            QFile::exists(path))
            return path;
    return std::nullopt;
}

bool XdgAutostartItem::isEnabled() const {
    const auto own = DesktopEntry::read(entryPath());
    return own ? own->startsAtLogin() : isOn(systemEntryPath());
}

bool XdgAutostartItem::setEnabled(bool enabled) {
    return enabled ? switchOn() : switchOff();
}

// The user's own entry is switched on in place, keeping what the user or the desktop put in
// it; one that only hides a system-wide entry that is on goes, so that one counts again.
bool XdgAutostartItem::switchOn() const {
    const bool systemOn = isOn(systemEntryPath());
    auto own = DesktopEntry::read(entryPath());
    if (systemOn && (!own || !own->value("Exec")))
        return !own || QFile::remove(entryPath());
    if (!own || !own->value("Type")) // none, or none that a desktop would start
        return writeEntry(entryText());
    own->remove("Hidden");
    own->set("X-GNOME-Autostart-enabled", "true");
    if (own->value("X-MATE-Autostart-enabled"))
        own->set("X-MATE-Autostart-enabled", "true");
    own->set("Exec", execValue(true));
    return writeEntry(own->lines.join('\n'));
}

// A system-wide entry cannot be removed: the user's own hides it.
bool XdgAutostartItem::switchOff() const {
    if (!systemEntryPath())
        return !QFile::exists(entryPath()) || QFile::remove(entryPath());
    auto own = DesktopEntry::read(entryPath())
                   .value_or(DesktopEntry{{"[Desktop Entry]", "Type=Application",
                                           "Name=Vorlin IP Update Client", ""}});
    own.set("Hidden", "true");
    return writeEntry(own.lines.join('\n'));
}

bool XdgAutostartItem::writeEntry(const QString& text) const {
    QDir().mkpath(QFileInfo(entryPath()).path());
    QSaveFile entry(entryPath());
    if (!entry.open(QIODevice::WriteOnly))
        return false;
    entry.write(text.toUtf8());
    return entry.commit();
}

// Only an entry an earlier version wrote for this program is brought up to date, and only its
// command: other keys hold the desktop's choices (X-GNOME-Autostart-enabled, Hidden), and an
// entry for another copy of the program is not this one's to take over. Earlier versions
// wrote the command without the option, or with a path's '%' as it stood, or both.
void XdgAutostartItem::keepCurrent() {
    std::optional<DesktopEntry> entry = DesktopEntry::read(entryPath());
    if (!entry)
        return;
    const QString current = "Exec=" + execValue(true);
    QStringList earlierForms;
    for (const QString& form : {"Exec=" + execValue(false), current})
        earlierForms << form << QString(form).replace("%%", "%");
    bool found = false;
    for (QString& line : entry->lines) {
        if (line != current && earlierForms.contains(line)) {
            line = current;
            found = true;
        }
    }
    if (found)
        writeEntry(entry->lines.join('\n'));
}

// Started at login the program opens no window where settings are saved; the delay lets a
// tray come up first.
QString XdgAutostartItem::execValue(bool quietly) const {
    return QStringLiteral("sh -c \"sleep %1; exec %2%3\"")
        .arg(startDelaySeconds)
        .arg(execArgument(programPath_),
             quietly ? " " + QString::fromLatin1(startedAtLoginOption) : QString());
}

QString XdgAutostartItem::entryText() const {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Vorlin IP Update Client\n"
                          "Comment=Keeps your Vorlin host names pointed at this computer\n"
                          "Icon=%1\n"
                          "Exec=%2\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(QString::fromLatin1(applicationId), execValue(true));
}
