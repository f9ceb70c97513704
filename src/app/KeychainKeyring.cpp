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

PasswordKeyring::Read readOf(const QString& username, const Answer& answer) {
    if (answer.error == QKeychain::NoError)
        return {answer.text, QString()};
    if (answer.error == QKeychain::EntryNotFound)
        // Also what a locked keyring answers once its unlock prompt was refused.
        return {std::nullopt, "it gave none for " + username + " (it is locked, or holds none)"};
    return {std::nullopt, answer.errorString};
}

} // namespace

void KeychainKeyring::checkAvailability(std::function<void(std::optional<QString>)> answer) {
    start(new QKeychain::ReadPasswordJob(keyringService), probeKey, [answer](const Answer& done) {
        if (done.error == QKeychain::NoError || done.error == QKeychain::EntryNotFound)
            return answer(std::nullopt);
        answer("No keyring can be reached: " + done.errorString);
    });
}

void KeychainKeyring::readPassword(const QString& username, std::function<void(Read)> answer) {
    start(new QKeychain::ReadPasswordJob(keyringService), username,
          [username, answer](const Answer& done) { answer(readOf(username, done)); });
}

std::optional<QString> KeychainKeyring::writePassword(const QString& username,
                                                      const QString& password) {
    auto* job = new QKeychain::WritePasswordJob(keyringService);
    job->setTextData(password);
    const Answer answer = finished(job, username);
    if (answer.error == QKeychain::NoError)
        return std::nullopt;
    return answer.errorString;
}

std::optional<QString> KeychainKeyring::deletePassword(const QString& username) {
    // A locked keyring skips its entries and reports them removed: the read unlocks it first.
    const Read read =
        readOf(username, finished(new QKeychain::ReadPasswordJob(keyringService), username));
    if (!read.password)
        return read.failure;
    const Answer answer = finished(new QKeychain::DeletePasswordJob(keyringService), username);
    if (answer.error == QKeychain::NoError || answer.error == QKeychain::EntryNotFound)
        return std::nullopt;
    return answer.errorString;
}
