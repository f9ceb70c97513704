#include "CycleDriver.h"
#include "LocalProvider.h"
#include "TemporarySettingsStore.h"
#include "app/AppDelegate.h"

#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QtTest>
#include <memory>

using Look = AppDelegate::StatusLook;

namespace {

const QByteArray goodReply =
    R"({"statusCode":"good","updatedIPv4Address":"203.0.113.7","updatedIPv6Address":"2001:db8::7"})";
const QString acceptedToolTip =
    "Vorlin Dynamic DNS Online!\r\n\r\nIPv4 Address -> 203.0.113.7\r\nIPv6 Address -> 2001:db8::7";

QByteArray reply(const QByteArray& status) {
    return R"({"statusCode":")" + status + R"("})";
}

} // namespace

class StatusItemTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LocalProvider> provider_;
    std::unique_ptr<TemporarySettingsStore> store_;

    struct Shown {
        Look look;
        QString toolTip; // the failure's time as HH:mm
    };

    static Shown shown(const AppDelegate& delegate) {
        const qint64 icon = delegate.statusItem()->icon().cacheKey();
        Look look = Look::NotSetUp;
        for (const Look candidate : {Look::Working, Look::Attention})
            if (delegate.statusIcon(candidate).cacheKey() == icon)
                look = candidate;
        QString toolTip = delegate.statusItem()->toolTip();
        toolTip.replace(QRegularExpression("^(Last update failed at )\\d\\d:\\d\\d"), "\\1HH:mm");
        return {look, toolTip};
    }

private slots:
    void initTestCase() { provider_ = std::make_unique<LocalProvider>(); }
    void init() {
        provider_->reset();
        store_ = std::make_unique<TemporarySettingsStore>();
        ActivityLog::create();
        KeepSnoozing = 1;
    }
    void cleanup() { store_.reset(); }
    void cleanupTestCase() { provider_.reset(); }

    void lookAndToolTipFollowTheNewestCycle_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("failure"); // the reason shown; empty for none
        QTest::newRow("good") << 200 << goodReply << "";
        QTest::newRow("No Change") << 200 << reply("No Change") << "";
        QTest::newRow("dns error") << 200 << reply("dns error") << "fault on the service's side";
        QTest::newRow("911") << 200 << reply("911") << "the service is under maintenance";
        QTest::newRow("not fully qualified")
            << 200 << reply("not fully qualified domain name") << "host name not fully qualified";
        QTest::newRow("abuse") << 200 << reply("abuse") << "updates blocked for abuse";
        QTest::newRow("no host") << 200 << reply("no host") << "no host names found";
        QTest::newRow("too many hosts")
            << 200 << reply("too many hosts") << "too many hosts in one update";
        QTest::newRow("not member") << 200 << reply("not member") << "option only for members";
        QTest::newRow("bad authentication")
            << 200 << reply("Bad Authentication") << "user name or password rejected";
        QTest::newRow("old version")
            << 200 << reply("old version") << "this client version is outdated";
        QTest::newRow("other keyword")
            << 200 << reply("nochg") << "unexpected reply from the service";
        QTest::newRow("HTTP 500") << 500 << goodReply << "no reply from the service";
        QTest::newRow("empty body")
            << 200 << QByteArray() << "the service's reply could not be read";
        QTest::newRow("not JSON") << 200 << QByteArray("OK")
                                  << "the service's reply could not be read";
        QTest::newRow("good, address a number")
            << 200 << QByteArray(R"({"statusCode":"good","updatedIPv4Address":7})")
            << "the service's reply could not be read";
    }
    // An accepted update, the row's reply, then an accepted update again.
    void lookAndToolTipFollowTheNewestCycle() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, failure);
        TemporarySettingsStore::saveAccount("alice2024", "s3cret!Pw", "");
        AppDelegate delegate([](auto) {});
        delegate.applicationDidFinishLaunching();
        provider_->scriptReply("/nic/clientupdate", LocalProvider::reply(200, goodReply));
        provider_->scriptReply("/nic/clientupdate", LocalProvider::reply(status, body));
        provider_->scriptReply("/nic/clientupdate", LocalProvider::reply(200, goodReply));

        QList<Shown> afterCycles;
        CycleDriver::run(3, [&](int) {
            QCoreApplication::processEvents();
            afterCycles << shown(delegate);
        });

        QCOMPARE(afterCycles.size(), 3);
        const bool failed = !failure.isEmpty();
        QCOMPARE(afterCycles[1].look, failed ? Look::Attention : Look::Working);
        QCOMPARE(afterCycles[1].toolTip,
                 failed ? "Last update failed at HH:mm: " + failure + "\r\n" + acceptedToolTip
                        : acceptedToolTip);
        QCOMPARE(afterCycles[2].look, Look::Working);
        QCOMPARE(afterCycles[2].toolTip, acceptedToolTip);
    }
};

QTEST_MAIN(StatusItemTest)
#include "tst_status_item.moc"
