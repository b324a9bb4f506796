#include "installer/core/HelperClient.h"

#include "installer/core/BackgroundThreads.h"
#include "installer/core/HelperAuthorization.h"
#include "installer/core/InstallerLog.h"
#include "installer/core/InstallerState.h"
#include "shared/Clock.h"
#include "shared/HelperProtocol.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace tavoren::installer {

namespace {
bool isAction(const shared::Error &error, const char *action)
{
    return error.action == action;
}

// The log's words for a channel's failure, as the platform's connection
// events are named.
QString failureText(const shared::Error &error)
{
    if (isAction(error, HelperChannel::createAction))
        return QStringLiteral("Failed to create XPC connection.");
    if (isAction(error, HelperChannel::connectAction))
        return QStringLiteral("XPC connection invalid, releasing.");
    if (isAction(error, HelperChannel::sendAction) || isAction(error, HelperChannel::receiveAction))
        return QStringLiteral("XPC connection interupted.");
    return QStringLiteral("Unexpected XPC connection error.");
}

bool isCancellation(const shared::Error &error)
{
    return error.code == ECANCELED;
}
} // namespace

bool HelperClient::Call::hasEnded() const
{
    return outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

HelperClient::HelperClient(HelperChannel &channel, HelperAuthorization &authorization, shared::Clock &clock,
                           InstallerLog &log, InstallerState &state, BackgroundThreads &threads)
    : m_channel(channel)
    , m_authorization(authorization)
    , m_clock(clock)
    , m_log(log)
    , m_state(state)
    , m_threads(threads)
{
}

bool HelperClient::isHelperToolBlessed(const QString &label) const
{
    return m_authorization.isBlessed(label);
}

shared::Expected<void> HelperClient::registerHelperTool(const QString &label)
{
    auto blessed = m_authorization.bless(label, m_threads.stopFlag());
    if (!blessed && isAction(blessed.error(), HelperAuthorization::authorizeAction)) {
        m_log.WriteLog(QStringLiteral("Failed to create AuthorizationRef. Error code: %1")
                           .arg(QString::fromStdString(blessed.error().text)));
        return blessed;
    }
    m_log.WriteLog(QStringLiteral("Authorization successful"));
    return blessed;
}

QString HelperClient::blessingErrorText(const shared::Error &error)
{
    // The platform hands no error object back when authorisation fails.
    if (isAction(error, HelperAuthorization::authorizeAction))
        return QStringLiteral("(null)");
    return QString::fromStdString(error.text);
}

void HelperClient::discardProgressFile(Call *call)
{
    const auto folder = m_log.workingFolder();
    if (!folder)
        return;
    const std::string name = shared::HelperProtocol::progressName;
    if (auto removed = folder->remove(name); !removed) {
        // Left by someone else: remembered, so its last line is never taken
        // for this installation's.
        m_log.WriteLog(QStringLiteral("Could not delete the old progress message file: %1")
                           .arg(QString::fromStdString(std::system_category().message(removed.error().code))));
        call->staleProgressFile = ProgressFile::read(*folder, name).identity;
    }
}

HelperClient::Call HelperClient::xpcConnection(const QString &command, bool withProgressFile, bool outcomeMatters)
{
    auto promise = std::make_shared<std::promise<Outcome>>();
    Call call{promise->get_future().share(), std::make_shared<std::atomic<bool>>(false), std::nullopt};
    auto fail = [&](const QString &line) {
        m_log.WriteLog(line);
        m_state.installFailed = true;
        promise->set_value({});
        return call;
    };

    auto connected = m_channel.connect();
    if (!connected)
        return fail(failureText(connected.error()));
    std::optional<QString> progressFile;
    if (withProgressFile) {
        discardProgressFile(&call);
        progressFile = QString::fromLatin1(shared::HelperProtocol::progressFile);
    }
    const auto request = HelperMessage::request(command, progressFile);
    if (!request)
        return fail(QStringLiteral("Unexpected XPC connection event.: %1").arg(QStringLiteral("request too large")));
    std::shared_ptr<HelperChannel::Connection> connection = std::move(*connected);
    if (auto sent = connection->send(*request); !sent)
        return fail(failureText(sent.error()));

    const auto abandoned = call.abandoned;
    const bool started = m_threads.start([this, connection, promise, outcomeMatters, abandoned] {
        promise->set_value(receive(*connection, outcomeMatters, *abandoned));
        // Whoever awaits the reply looks again.
        m_clock.wake();
    });
    // The installer is going away: nobody waits for the answer.
    if (!started)
        promise->set_value({});
    return call;
}

HelperClient::Outcome HelperClient::receive(HelperChannel::Connection &connection, bool outcomeMatters,
                                            const std::atomic<bool> &abandoned)
{
    const auto line = connection.receive([&] { return m_threads.stopping() || abandoned; });
    // Whatever an abandoned request comes to belongs to no installation.
    if ((!line && isCancellation(line.error())) || abandoned)
        return {};
    if (!line) {
        m_log.WriteLog(failureText(line.error()));
        m_state.installFailed = true;
        return {};
    }
    const auto reply = HelperMessage::reply(*line);
    if (!reply) {
        m_log.WriteLog(QStringLiteral("Unexpected XPC connection event.: %1").arg(QString::fromUtf8(line->left(200))));
        m_state.installFailed = true;
        return {};
    }
    // Logged before the flag changes anything, so the line is there
    // whatever ends first.
    m_log.WriteLog(QStringLiteral("Received response: %1.").arg(reply->reply));
    if (outcomeMatters && !reply->completed())
        m_state.installFailed = true;
    return {true, *reply};
}

std::optional<HelperClient::Outcome> HelperClient::awaitHelper(const Call &call, std::chrono::milliseconds limit)
{
    const auto deadline = m_clock.steadyNow() + limit;
    m_clock.sleepUntil(deadline, [&] { return m_threads.stopping() || call.hasEnded(); });
    if (call.hasEnded())
        return call.outcome.get();
    *call.abandoned = true;
    return std::nullopt;
}

} // namespace tavoren::installer
