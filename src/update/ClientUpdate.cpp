#include "update/ClientUpdate.h"

#include "log/ActivityLog.h"
#include "service/AddressDiscovery.h"
#include "service/ServiceEndpoints.h"
#include "service/ServiceQuery.h"
#include "service/Transport.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"

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

// Why a cycle failed, in the few words the status item's tooltip shows.
const auto noReply = QStringLiteral("no reply from the service");
const auto unreadableReply = QStringLiteral("the service's reply could not be read");
const auto unexpectedReply = QStringLiteral("unexpected reply from the service");

// One keyword of the reply status: the line it logs, whether the reply's addresses become
// the remembered ones, and what went wrong when the host names may no longer point here
// (none for the two that keep them right).
struct ReplyKeyword {
    std::function<bool(const QString& status)> matches;
    std::function<QString(const UpdateCycleInputs&)> line;
    bool adopt;
    const char* failure;
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
    {is("dns error"), says("[dnserr] IP update rescheduled due to fault on server side."), false,
     "fault on the service's side"},
    {is("911"),
     says("[911] IP update suspended temporarily due to scheduled maintenance on server side."),
     false, "the service is under maintenance"},
    {is("not fully qualified domain name"),
     says("[notfqdn] Domain name is not a fully qualified hostname."), true,
     "host name not fully qualified"},
    {is("no change"), says("[nochg] IP address was not updated due to no change."), true, nullptr},
    {is("abuse"), says("[abuse] IP address was not updated due to abusive IP update behaviour."),
     false, "updates blocked for abuse"},
    {is("no host"), noHostLine, true, "no host names found"},
    {is("too many hosts"), says("[numhost] Too many hosts (more than 20) specified in an update."),
     false, "too many hosts in one update"},
    {is("not member"), says("[!donator] This option is only available for members."), false,
     "option only for members"},
    {is("bad authentication"), badAuthenticationLine, false, "user name or password rejected"},
    {is("old version"), oldVersionLine, false, "this client version is outdated"},
    {isAccepted, says("[good] IP address updated."), true, nullptr},
};

QString announcement(const UpdateCycleInputs& inputs) {
    QString line = "Updating IP address for username " + inputs.username;
    if (!inputs.location.isEmpty())
        line += " and group " + inputs.location;
    return line + '.';
}

// None when the body is not a JSON object or carries no text status.
std::optional<ServerReply> readServerReply(const QString& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8());
    const QJsonObject reply = document.object();
    const QJsonValue status = reply.value("statusCode");
    if (!document.isObject() || !status.isString())
        return std::nullopt;
    return ServerReply{status.toString(), MyFunctions::cleanse(reply.value("updatedIPv4Address")),
                       MyFunctions::cleanse(reply.value("updatedIPv6Address"))};
}

// The address as text, for measuring or storing it; none when it is neither text nor null.
std::optional<QString> addressText(const QJsonValue& address) {
    if (!address.isString())
        return std::nullopt;
    return address.toString();
}

bool isShown(const QString& address) {
    return address.size() >= shownAddressMinimumLength;
}

std::optional<QString> toolTipText(const ServerReply& reply) {
    const std::optional<QString> ipv4 = addressText(reply.updatedIPv4Address);
    const std::optional<QString> ipv6 = addressText(reply.updatedIPv6Address);
    if (!ipv4 || !ipv6)
        return std::nullopt;
    QString text = "Vorlin Dynamic DNS Online!\r\n";
    if (isShown(*ipv4))
        text += "\r\nIPv4 Address -> " + *ipv4;
    if (isShown(*ipv6))
        text += "\r\nIPv6 Address -> " + *ipv6;
    return text;
}

ReplyMeaning unreadable(ReplyMeaning meaning) {
    meaning.readable = false;
    meaning.failure = unreadableReply;
    return meaning;
}

// Each shown address is logged as it is measured, so a later unreadable one leaves the
// earlier line in place.
ReplyMeaning adoptReplyAddresses(const ServerReply& reply, ReplyMeaning meaning) {
    const std::optional<QString> ipv4 = addressText(reply.updatedIPv4Address);
    if (!ipv4)
        return unreadable(meaning);
    if (isShown(*ipv4))
        meaning.lines << "Current IPv4 Address: " + *ipv4;
    const std::optional<QString> ipv6 = addressText(reply.updatedIPv6Address);
    if (!ipv6)
        return unreadable(meaning);
    if (isShown(*ipv6))
        meaning.lines << "Current IPv6 Address: " + *ipv6;
    meaning.remembered = RememberedAddresses{*ipv4, *ipv6};
    return meaning;
}

// A Save (here or by set-account) forgets them, so that the cycle it wakes announces a first
// update: the reply's addresses are kept only while the account the cycle sent and the
// addresses it read are still the stored ones.
void rememberAddresses(const UpdateCycleInputs& inputs, const RememberedAddresses& addresses) {
    using namespace SettingsKeys;
    UserDefaults::setValuesIf({{updatedipv4, addresses.ipv4}, {updatedipv6, addresses.ipv6}},
                              {{username, inputs.username},
                               {location, inputs.location},
                               {updatedipv4, inputs.rememberedIPv4},
                               {updatedipv6, inputs.rememberedIPv6}});
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
        MyFunctions::reportCycleFailed(noReply);
        return;
    }
    interpretServerReply(inputs, httpResult);
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
    if (inputs.firstUpdate())
        fields.append(qMakePair(QString("uin"), QString("1")));
    return apiRequestUrl("/nic/clientupdate", fields);
}

ReplyMeaning replyMeaning(const UpdateCycleInputs& inputs, const std::optional<QString>& body) {
    ReplyMeaning meaning;
    if (MyFunctions::cleanse(body).isEmpty()) {
        meaning.failure = unreadableReply;
        return meaning;
    }
    const std::optional<ServerReply> reply = readServerReply(*body);
    if (!reply)
        return unreadable(meaning);
    meaning.status = reply->statusCode;
    meaning.lines << "Server response: " + reply->statusCode;

    bool adopt = false;
    meaning.failure = unexpectedReply;
    for (const ReplyKeyword& keyword : replyKeywords) {
        if (!keyword.matches(reply->statusCode))
            continue;
        meaning.lines << keyword.line(inputs);
        adopt = keyword.adopt;
        meaning.failure = keyword.failure ? std::optional<QString>(keyword.failure) : std::nullopt;
    }
    if (isAccepted(reply->statusCode)) {
        meaning.toolTip = toolTipText(*reply);
        if (!meaning.toolTip)
            return unreadable(meaning);
    }
    if (adopt)
        return adoptReplyAddresses(*reply, meaning);
    meaning.remembered = RememberedAddresses{QString(""), QString("")};
    return meaning;
}

void interpretServerReply(const UpdateCycleInputs& inputs, const std::optional<QString>& body) {
    const ReplyMeaning meaning = replyMeaning(inputs, body);
    for (const QString& line : meaning.lines)
        addToActivityLog(line);
    if (!meaning.readable) {
        MyFunctions::reportCycleFailed(*meaning.failure, meaning.status);
        throw UnreadableReply("the reply cannot be read");
    }
    if (meaning.toolTip)
        MyFunctions::setToolTip(*meaning.toolTip);
    if (meaning.remembered)
        rememberAddresses(inputs, *meaning.remembered);
    addToActivityLog(QString(""));
    if (meaning.failure)
        MyFunctions::reportCycleFailed(*meaning.failure, meaning.status);
    else
        MyFunctions::reportCycleSucceeded(meaning.status);
}
