#include "app/KeychainKeyring.h"

#include <QEventLoop>
#include <QPointer>
#include <memory>
#include <qt6keychain/keychain.h>

namespace {

const auto keyringService = QStringLiteral("Vorlin IP Update Client");
// No user name has a space: an entry that no account can have.
const auto probeKey = QStringLiteral("availability probe");
constexpr int jobFinished = 0x6b6579; // any other end of the wait is the application quitting

struct Answer {
    QKeychain::Error error = QKeychain::OtherError;
    QString errorString = QStringLiteral("the program is quitting");
    QString text;
};

// Starts the job; its answer reaches `done` from the event loop. The job deletes itself.
void start(QKeychain::Job* job, const QString& key, std::function<void(const Answer&)> done) {
    QObject::connect(job, &QKeychain::Job::finished, [done](QKeychain::Job* finished) {
        const auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished);
        done({finished->error(), finished->errorString(), read ? read->textData() : QString()});
    });
    job->setKey(key);
    job->start();
}

// The job's answer, waited for with an event loop of its own.
Answer finished(QKeychain::Job* job, const QString& key) {
    const auto answer = std::make_shared<std::optional<Answer>>();
    QEventLoop loop;
    start(job, key, [answer, waiting = QPointer<QEventLoop>(&loop)](const Answer& done) {
        *answer = done;
        if (waiting && waiting->isRunning())
            waiting->exit(jobFinished);
    });
    if (!answer->has_value() && loop.exec() != jobFinished)
        return Answer();
    return answer->value_or(Answer());
}

PasswordKeyring::Read readOf(const Answer& answer) {
    if (answer.error == QKeychain::NoError)
        return {answer.text, QString()};
    return {std::nullopt, answer.errorString, answer.error == QKeychain::EntryNotFound};
}

// Why the keyring cannot be used, in words of the desktop rather than of its bus.
QString unavailability(const Answer& answer) {
    if (answer.error == QKeychain::AccessDenied)
        return QStringLiteral("The keyring refused this program.");
    return QStringLiteral("No keyring answers in this session: none runs (such as GNOME Keyring "
                          "or KWallet), or it is not set up.");
}

} // namespace

void KeychainKeyring::checkAvailability(std::function<void(std::optional<QString>)> answer) {
    start(new QKeychain::ReadPasswordJob(keyringService), probeKey, [answer](const Answer& done) {
        if (done.error == QKeychain::NoError || done.error == QKeychain::EntryNotFound)
            return answer(std::nullopt);
        answer(unavailability(done));
    });
}

void KeychainKeyring::readPassword(const QString& key, std::function<void(Read)> answer) {
    start(new QKeychain::ReadPasswordJob(keyringService), key,
          [answer](const Answer& done) { answer(readOf(done)); });
}

std::optional<QString> KeychainKeyring::writePassword(const QString& key, const QString& password) {
    auto* job = new QKeychain::WritePasswordJob(keyringService);
    job->setTextData(password);
    const Answer answer = finished(job, key);
    if (answer.error == QKeychain::NoError)
        return std::nullopt;
    return answer.errorString;
}

PasswordKeyring::Removal KeychainKeyring::deletePassword(const QString& key) {
    // A locked keyring skips its entries and reports them removed: the read unlocks it first.
    const Read read = readOf(finished(new QKeychain::ReadPasswordJob(keyringService), key));
    if (!read.password)
        return {read.noEntry, read.noEntry ? std::nullopt : std::optional(read.failure)};
    const Answer answer = finished(new QKeychain::DeletePasswordJob(keyringService), key);
    if (answer.error == QKeychain::NoError || answer.error == QKeychain::EntryNotFound)
        return {};
    return {false, answer.errorString};
}
