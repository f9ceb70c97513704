#include "app/platform/linux/XdgAutostartItem.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

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

// Whether the desktop's own settings switched the entry off, keeping it in place; booleans
// as GLib reads them, and of a key written twice the last.
bool switchedOff(const QStringList& lines) {
    static const QStringList off = {"Hidden=true", "Hidden=1", "X-GNOME-Autostart-enabled=false",
                                    "X-GNOME-Autostart-enabled=0"};
    QMap<QString, QString> entry; // each key's last line in [Desktop Entry]
    bool inEntry = false;
    for (QString line : lines) {
        line = line.simplified().remove(' ');
        if (line.startsWith('['))
            inEntry = line == "[DesktopEntry]";
        else if (inEntry)
            entry[line.section('=', 0, 0)] = line;
    }
    return std::any_of(entry.cbegin(), entry.cend(),
                       [](const QString& line) { return off.contains(line); });
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

bool XdgAutostartItem::isEnabled() const {
    const std::optional<QStringList> lines = entryLines();
    return lines && !switchedOff(*lines);
}

bool XdgAutostartItem::setEnabled(bool enabled) {
    if (!enabled)
        return !QFile::exists(entryPath()) || QFile::remove(entryPath());
    QDir().mkpath(QFileInfo(entryPath()).path());
    return writeEntry(entryText());
}

bool XdgAutostartItem::writeEntry(const QString& text) const {
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
    std::optional<QStringList> lines = entryLines();
    if (!lines)
        return;
    const QString current = execLine(true);
    QStringList earlierForms;
    for (const QString& form : {execLine(false), current})
        earlierForms << form << QString(form).replace("%%", "%");
    bool found = false;
    for (QString& line : *lines) {
        if (line != current && earlierForms.contains(line)) {
            line = current;
            found = true;
        }
    }
    if (found)
        writeEntry(lines->join('\n'));
}

// The entry's lines without their carriage returns; nothing when there is no entry to read.
std::optional<QStringList> XdgAutostartItem::entryLines() const {
    QFile entry(entryPath());
    if (!entry.open(QIODevice::ReadOnly))
        return std::nullopt;
    QStringList lines = QString::fromUtf8(entry.readAll()).split('\n');
    for (QString& line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    return lines;
}

// Started at login the program opens no window where settings are saved; the delay lets a
// tray come up first.
QString XdgAutostartItem::execLine(bool quietly) const {
    return QStringLiteral("Exec=sh -c \"sleep %1; exec %2%3\"")
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
                          "%2\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(QString::fromLatin1(applicationId), execLine(true));
}
