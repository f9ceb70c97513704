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
    return execQuoted.replace("\\", "\\\\");
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
    return QFile::exists(entryPath());
}

bool XdgAutostartItem::setEnabled(bool enabled) {
    if (!enabled)
        return !QFile::exists(entryPath()) || QFile::remove(entryPath());
    QDir().mkpath(QFileInfo(entryPath()).path());
    QSaveFile entry(entryPath());
    if (!entry.open(QIODevice::WriteOnly))
        return false;
    entry.write(entryText().toUtf8());
    return entry.commit();
}

void XdgAutostartItem::keepCurrent() {
    QFile entry(entryPath());
    if (entry.open(QIODevice::ReadOnly) && entry.readAll() != entryText().toUtf8())
        setEnabled(true);
}

QString XdgAutostartItem::entryText() const {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Vorlin IP Update Client\n"
                          "Comment=Keeps your Vorlin host names pointed at this computer\n"
                          "Icon=%1\n"
                          "Exec=sh -c \"sleep %2; exec %3 %4\"\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(QString::fromLatin1(applicationId))
        .arg(startDelaySeconds)
        .arg(execArgument(programPath_), QString::fromLatin1(startedAtLoginOption));
}
