#include "CycleDriver.h"
#include "StandInProvider.h"
#include "app/AppDelegate.h"
#include "app/PreferencesWindow.h"

#include <QtTest>
#include <QtWidgets>
#include <unistd.h>

namespace {

const StandInProvider::Account account{"alice2024", "s3cret!Pw", {"home"}};

// The stand-in's authority in the system's certificate store for as long as this lives.
class SystemTrust {
public:
    explicit SystemTrust(const QByteArray& authorityPem) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(authorityPem);
        file.close();
        updateStore({});
    }
    ~SystemTrust() {
        QFile::remove(path);
        updateStore({"--fresh"}); // a plain update leaves the removed authority's links
    }

private:
    static void updateStore(const QStringList& arguments) {
        QProcess update;
        update.start("update-ca-certificates", arguments);
        update.waitForFinished(60'000);
    }

    static inline const QString path =
        "/usr/local/share/ca-certificates/vorlin-standin-test-authority.crt";
};

} // namespace

// The program as installed, built with loopback hosts and nothing else changed: no extra
// authority, settings at their real place, the system's certificate store as the only trust.
class ProductionPathTest : public QObject {
    Q_OBJECT

    QTemporaryDir home_;
    std::unique_ptr<StandInProvider> provider_;

    std::unique_ptr<AppDelegate> saveAccount() {
        auto delegate = std::make_unique<AppDelegate>([](auto) {});
        delegate->applicationDidFinishLaunching();
        delegate->window()->textBoxUsername->setText(account.username);
        delegate->window()->textBoxPassword->setText(account.password);
        delegate->window()->textBoxLocation->setText(account.groups.first());
        delegate->window()->checkBoxUpdateIPv6Address->setChecked(false);
        delegate->buttonSaveClick();
        return delegate;
    }

private slots:
    void initTestCase() {
        // The settings store's real place, in a home of the test's own.
        qputenv("HOME", home_.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", home_.filePath(".config").toUtf8());
        if (geteuid() != 0)
            QSKIP("Needs root: puts the stand-in's authority into the system's certificate store.");
        QCOMPARE(ServiceClient::endpoints().apiHost, QString("localhost:47441"));
        QVERIFY(ServiceClient::extraCaCertificatesPem().isEmpty());
        provider_ = std::make_unique<StandInProvider>(QStringList{"localhost"},
                                                      StandInProvider::Ports{47441, 47442, 47443});
        provider_->addAccount(account);
    }
    void init() { ActivityLog::create(); }
    void cleanupTestCase() { provider_.reset(); }

    void untrustedProviderIsRefusedBeforeAnyRequest() {
        const auto delegate = saveAccount();
        QCOMPARE(logEntries().mid(1), QStringList{"Unable to authenticate!"});
        QCOMPARE(provider_->requests().size(), 0);
    }

    void trustedProviderTakesASaveAndAnUpdate() {
        const SystemTrust trust(provider_->authority());
        const auto delegate = saveAccount();
        QCOMPARE(logEntries().mid(1), (QStringList{"Settings have been saved.", ""}));
        ActivityLog::create();
        const auto cycles = runCycles(1);
        QCOMPARE(cycles[0].mid(2, 3),
                 (QStringList{"Server response: good", "[good] IP address updated.",
                              "Current IPv4 Address: 203.0.113.7"}));
    }
};

QTEST_MAIN(ProductionPathTest)
#include "tst_production_path.moc"
