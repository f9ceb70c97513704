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

// The job's answer once it has finished.
Answer finished(QKeychain::Job* job, const QString& key) {
    const auto answer = std::make_shared<std::optional<Answer>>();
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished,
                     [answer, waiting = QPointer<QEventLoop>(&loop)](QKeychain::Job* done) {
                         const auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done);
                         *answer = Answer{done->error(), done->errorString(),
                                          read ? read->textData() : QString()};
                         if (waiting && waiting->isRunning())
                             waiting->exit(jobFinished);
                     });
    job->setKey(key);
    job->start(); // the job deletes itself once finished, also after a quit ended the wait
    if (!answer->has_value() && loop.exec() != jobFinished)
        return Answer();
    return answer->value_or(Answer());
}

} // namespace

std::optional<QString> KeychainKeyring::unavailability() {
    const Answer answer = finished(new QKeychain::ReadPasswordJob(keyringService), probeKey);
    if (answer.error == QKeychain::NoError || answer.error == QKeychain::EntryNotFound)
        return std::nullopt;
    return "No keyring can be reached: " + answer.errorString;
}

PasswordKeyring::Read KeychainKeyring::readPassword(const QString& username) {
    const Answer answer = finished(new QKeychain::ReadPasswordJob(keyringService), username);
    if (answer.error == QKeychain::NoError)
        return {answer.text, QString()};
    if (answer.error == QKeychain::EntryNotFound)
        // Also what a locked keyring answers once its unlock prompt was refused.
        return {std::nullopt, "it gave none for " + username + " (it may be locked)"};
    return {std::nullopt, answer.errorString};
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

void KeychainKeyring::deletePassword(const QString& username) {
    finished(new QKeychain::DeletePasswordJob(keyringService), username);
}
