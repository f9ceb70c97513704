#include "DataRow.h"
#include "StandardErrorCapture.h"
#include "app/SingleInstance.h"
#include "app/TerminationSignals.h"

#include <QtTest>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace {

constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                  QDir::NoDotAndDotDot);
}

QSet<QString> openDescriptors() {
    const QStringList entries = entriesOf("/proc/self/fd");
    return {entries.begin(), entries.end()};
}

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

    QTemporaryDir root_;
    QSet<QString> descriptorsBefore_;

    // Points the runtime and temporary folders into a fresh folder of this test.
    QString freshFolder(const QString& name) {
        const QString folder = root_.filePath(name);
        QDir().mkpath(folder + "/tmp");
        qputenv("TMPDIR", QFile::encodeName(folder + "/tmp"));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder + "/runtime"));
        return folder;
    }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root_.filePath("config")));
        descriptorsBefore_ = openDescriptors();
        quitOnTerminationSignals();
    }

    void runtimeFilesArePrivateAndGoOnRelease_data() {
        columns<bool>();
        QTest::newRow("the runtime folder") << true;
        QTest::newRow("none usable: a folder of our own") << false;
    }
    void runtimeFilesArePrivateAndGoOnRelease() {
        const auto [runtimeFolderUsable] = fetch<bool>();
        const QString folder = freshFolder(runtimeFolderUsable ? "usable" : "none");
        QString expected = folder + "/runtime";
        if (runtimeFolderUsable) {
            QVERIFY(QDir().mkdir(expected, ownerOnly));
        } else {
            qunsetenv("XDG_RUNTIME_DIR");
            QFile squatted(folder + "/tmp/runtime-" +
                           QString::fromLocal8Bit(getpwuid(getuid())->pw_name));
            QVERIFY(squatted.open(QIODevice::WriteOnly));
            expected = folder + "/tmp/vorlin-ipupdate-" + QString::number(getuid());
        }

        SingleInstance first;
        QVERIFY(first.claim());
        // Nothing the program opens may leak into the processes it starts.
        const QSet<QString> created = openDescriptors() - descriptorsBefore_;
        QVERIFY(created.size() >= 3); // the signal pair, the socket
        for (const QString& descriptor : created) {
            const int flags = ::fcntl(descriptor.toInt(), F_GETFD);
            QVERIFY2(flags < 0 || (flags & FD_CLOEXEC), qPrintable(descriptor)); // < 0: closed
        }
        QSignalSpy asked(&first, &SingleInstance::anotherStartRequested);
        QVERIFY(!SingleInstance().claim());
        QTRY_COMPARE(asked.count(), 1);
        QCOMPARE(entriesOf(expected).size(), 2); // the socket and its lock
        QCOMPARE(QFileInfo(expected).permissions() &
                     ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                 ownerOnly);

        first.release();
        QCOMPARE(entriesOf(expected), QStringList());
    }

    void listenFailureIsReported() {
        const QString folder = freshFolder(QString(120, 'f'));
        QVERIFY(QDir().mkdir(folder + "/runtime", ownerOnly));
        StandardErrorCapture capture;
        SingleInstance instance;
        QVERIFY(instance.claim()); // runs, unguarded
        QVERIFY(capture.finish().contains("vorlin-ipupdate: cannot listen on"));
        instance.release();
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_single_instance.moc"
