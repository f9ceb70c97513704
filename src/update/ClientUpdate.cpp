#include "update/ClientUpdate.h"

#include "log/ActivityLog.h"
#include "service/AddressDiscovery.h"
#include "service/ServiceEndpoints.h"
#include "service/ServiceQuery.h"
#include "service/Transport.h"
#include "settings/Settings.h"
#include "update/ReplyOutcome.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <functional>

using MyFunctions::addToActivityLog;

namespace {

// Reply addresses shorter than this are not shown (but still remembered).
constexpr qsizetype shownAddressMinimumLength = 5;

struct ServerReply {
    QString statusCode;
    QJsonValue updatedIPv4Address; // cleansed: "" when absent or null
    QJsonValue updatedIPv6Address;
};

// One keyword of the reply status: the line it logs and whether the reply's addresses
// become the remembered ones.
struct ReplyKeyword {
    std::function<bool(const QString& status)> matches;
    std::function<QString(const UpdateCycleInputs&)> line;
    bool adopt;
};

std::function<bool(const QString&)> is(const char* keyword) {
    return [keyword](const QString& status) {
        return status.compare(QLatin1String(keyword), Qt::CaseInsensitive) == 0;
    };
}

std::function<QString(const UpdateCycleInputs&)> says(const char* line) {
    return [line](const UpdateCycleInputs&) { return QString(line); };
}

bool isAccepted(const QString& status) {
    return status.toLower().startsWith(QLatin1String("good"));
}

QString noHostLine(const UpdateCycleInputs& inputs) {
    if (inputs.location.size() >= 2)
        return "[nohost] No hostnames with group " + inputs.location + " found.";
    return "[nohost] No hostnames without group found.";
}

QString badAuthenticationLine(const UpdateCycleInputs& inputs) {
    QString line = "[badauth] Username " + inputs.username;
    if (!inputs.location.isEmpty())
        line += ", group " + inputs.location;
    return line + " or password is invalid! Please check the settings and try again.";
}

QString oldVersionLine(const UpdateCycleInputs&) {
    return "This version of Vorlin IP Update Client is outdated. Please visit " + webPageUrl("") +
           " to obtain the current version.";
}

// A status matches at most one keyword; any other status logs nothing more and is not
// adopted.
const std::initializer_list<ReplyKeyword> replyKeywords = {
    {is("dns error"), says("[dnserr] IP update rescheduled due to fault on server side."), false},
    {is("911"),
     says("[911] IP update suspended temporarily due to scheduled maintenance on server side."),
     false},
    {is("not fully qualified domain name"),
     says("[notfqdn] Domain name is not a fully qualified hostname."), true},
    {is("no change"), says("[nochg] IP address was not updated due to no change."), true},
    {is("abuse"), says("[abuse] IP address was not updated due to abusive IP update behaviour."),
     false},
    {is("no host"), noHostLine, true},
    {is("too many hosts"), says("[numhost] Too many hosts (more than 20) specified in an update."),
     false},
    {is("not member"), says("[!donator] This option is only available for members."), false},
    {is("bad authentication"), badAuthenticationLine, false},
    {is("old version"), oldVersionLine, false},
    {isAccepted, says("[good] IP address updated."), true},
};

QString announcement(const UpdateCycleInputs& inputs) {
    QString line = "Updating IP address for username " + inputs.username;
    if (!inputs.location.isEmpty())
        line += " and group " + inputs.location;
    return line + '.';
}

ServerReply readServerReply(const QString& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8());
    const QJsonValue status = document.object().value("statusCode");
    if (!document.isObject() || !status.isString())
        throw UnreadableReply("the reply has no text status");
    const QJsonObject reply = document.object();
    return {status.toString(), MyFunctions::cleanse(reply.value("updatedIPv4Address")),
            MyFunctions::cleanse(reply.value("updatedIPv6Address"))};
}

// The address as text, for measuring or storing it.
QString addressText(const QJsonValue& address) {
    if (!address.isString())
        throw UnreadableReply("a reply address is neither text nor null");
    return address.toString();
}

bool isShown(const QString& address) {
    return address.size() >= shownAddressMinimumLength;
}

QString toolTipText(const ServerReply& reply) {
    QString text = "Vorlin Dynamic DNS Online!\r\n";
    if (const QString ipv4 = addressText(reply.updatedIPv4Address); isShown(ipv4))
        text += "\r\nIPv4 Address -> " + ipv4;
    if (const QString ipv6 = addressText(reply.updatedIPv6Address); isShown(ipv6))
        text += "\r\nIPv6 Address -> " + ipv6;
    return text;
}

void adoptReplyAddresses(const ServerReply& reply) {
    const QString ipv4 = addressText(reply.updatedIPv4Address);
    if (isShown(ipv4))
        addToActivityLog("Current IPv4 Address: " + ipv4);
    const QString ipv6 = addressText(reply.updatedIPv6Address);
    if (isShown(ipv6))
        addToActivityLog("Current IPv6 Address: " + ipv6);
    MyFunctions::setConfigurationString(SettingsKeys::updatedipv4, ipv4);
    MyFunctions::setConfigurationString(SettingsKeys::updatedipv6, ipv6);
}

void forgetRememberedAddresses() {
    MyFunctions::setConfigurationString(SettingsKeys::updatedipv4, QString(""));
    MyFunctions::setConfigurationString(SettingsKeys::updatedipv6, QString(""));
}

} // namespace

void requestClientUpdate(const UpdateCycleInputs& inputs) {
    addToActivityLog("IP address update initiated.");
    addToActivityLog(announcement(inputs));
    const QString discoveredIPv4 = MyFunctions::getIPv4Address();
    const QString discoveredIPv6 = MyFunctions::getIPv6Address();
    std::optional<QString> httpResult;
    if (!MyFunctions::urlExecute(clientUpdateUrl(inputs, discoveredIPv4, discoveredIPv6),
                                 httpResult)) {
        MyFunctions::reportCycleFailed(FailureReasons::noReply);
        return;
    }
    try {
        interpretServerReply(inputs, httpResult);
    } catch (const UnreadableReply&) {
        MyFunctions::reportCycleFailed(FailureReasons::unreadableReply);
        throw;
    }
}

QString clientUpdateUrl(const UpdateCycleInputs& inputs, const QString& discoveredIPv4,
                        const QString& discoveredIPv6) {
    QueryFields fields = {
        {"username", inputs.username},
        {"password", MyFunctions::md5Hash(inputs.password)},
        {"location", inputs.location},
        {"myipv4", inputs.updateIPv4Address ? discoveredIPv4 : QString("no")},
        {"myipv6", inputs.updateIPv6Address ? discoveredIPv6 : QString("no")},
    };
    if (inputs.firstUpdate)
        fields.append(qMakePair(QString("uin"), QString("1")));
    return apiRequestUrl("/nic/clientupdate", fields);
}

void interpretServerReply(const UpdateCycleInputs& inputs, const std::optional<QString>& body) {
    if (MyFunctions::cleanse(body).isEmpty()) {
        addToActivityLog(QString(""));
        MyFunctions::reportCycleFailed(FailureReasons::unreadableReply);
        return;
    }
    const ServerReply reply = readServerReply(*body);
    addToActivityLog("Server response: " + reply.statusCode);

    bool adopt = false;
    for (const ReplyKeyword& keyword : replyKeywords) {
        if (!keyword.matches(reply.statusCode))
            continue;
        addToActivityLog(keyword.line(inputs));
        adopt = keyword.adopt;
    }
    if (isAccepted(reply.statusCode))
        MyFunctions::setToolTip(toolTipText(reply));

    if (adopt)
        adoptReplyAddresses(reply);
    else
        forgetRememberedAddresses();
    addToActivityLog(QString(""));
    reportReplyOutcome(reply.statusCode);
}
