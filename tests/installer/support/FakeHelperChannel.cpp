#include "FakeHelperChannel.h"

#include "shared/HelperProtocol.h"
#include "shared/SystemPath.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>

namespace tavoren::testsupport {

namespace {
using Protocol = shared::HelperProtocol;
// How often a held receiver looks whether it is still wanted.
constexpr std::chrono::milliseconds cancelCheck{5};

QByteArray reply(const char *outcome, const QString &text, const QString &status = QString())
{
    QJsonObject object{{QString::fromLatin1(Protocol::replyMember), text},
                       {QString::fromLatin1(Protocol::outcomeMember), QString::fromLatin1(outcome)}};
    if (!status.isEmpty())
        object.insert(QString::fromLatin1(Protocol::statusMember), status);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
} // namespace

class FakeHelperChannel::FakeConnection final : public Connection
{
public:
    FakeConnection(FakeHelperChannel &channel, Behaviour behaviour)
        : m_channel(channel)
        , m_behaviour(behaviour)
    {
    }

    shared::Expected<void> send(const QByteArray &line) override
    {
        m_request = line;
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        std::lock_guard lock(m_channel.m_mutex);
        m_channel.m_commands.append(object.value(QString::fromLatin1(Protocol::commandMember)).toString());
        return {};
    }

    shared::Expected<QByteArray> receive(const std::function<bool()> &cancelled) override
    {
        return m_channel.answer(m_behaviour, m_request, cancelled);
    }

private:
    FakeHelperChannel &m_channel;
    const Behaviour m_behaviour;
    QByteArray m_request;
};

void FakeHelperChannel::push(Behaviour behaviour)
{
    std::lock_guard lock(m_mutex);
    m_queue.push_back(behaviour);
}

void FakeHelperChannel::setProgressLines(const QByteArrayList &lines)
{
    std::lock_guard lock(m_mutex);
    m_progressLines = lines;
}

void FakeHelperChannel::setInstallationExitStatus(int status)
{
    std::lock_guard lock(m_mutex);
    m_exitStatus = status;
}

void FakeHelperChannel::release()
{
    std::lock_guard lock(m_mutex);
    m_release = true;
    m_released.notify_all();
}

QStringList FakeHelperChannel::commands() const
{
    std::lock_guard lock(m_mutex);
    return m_commands;
}

int FakeHelperChannel::heldReplies() const
{
    std::lock_guard lock(m_mutex);
    return m_held;
}

shared::Expected<std::unique_ptr<installer::HelperChannel::Connection>> FakeHelperChannel::connect()
{
    Behaviour behaviour = Behaviour::Completes;
    {
        std::lock_guard lock(m_mutex);
        if (!m_queue.empty()) {
            behaviour = m_queue.front();
            m_queue.pop_front();
        }
    }
    const std::string socket = Protocol::socket;
    if (behaviour == Behaviour::CannotCreate)
        return shared::Error::system(createAction, socket, EMFILE);
    if (behaviour == Behaviour::Refuses)
        return shared::Error::system(connectAction, socket, ECONNREFUSED);
    return std::unique_ptr<Connection>(std::make_unique<FakeConnection>(*this, behaviour));
}

bool FakeHelperChannel::hold(bool endless, const std::function<bool()> &cancelled)
{
    std::unique_lock lock(m_mutex);
    ++m_held;
    bool released = false;
    while (!cancelled()) {
        if (!endless && m_release) {
            released = true;
            break;
        }
        m_released.wait_for(lock, cancelCheck);
    }
    --m_held;
    return released;
}

void FakeHelperChannel::writeProgress(const QString &progressFile, bool whole)
{
    QByteArrayList lines;
    int status = 0;
    {
        std::lock_guard lock(m_mutex);
        lines = m_progressLines;
        status = m_exitStatus;
    }
    QByteArray bytes;
    for (const QByteArray &line : whole ? lines : lines.mid(0, 1))
        bytes += line + '\n';
    if (whole)
        bytes += QByteArray(Protocol::installationDone) + ' ' + QByteArray::number(status) + '\n';
    QFile file(QString::fromStdString(shared::SystemPath::resolve(progressFile.toStdString())));
    if (file.open(QIODevice::Append))
        file.write(bytes);
}

shared::Expected<QByteArray> FakeHelperChannel::answer(Behaviour behaviour, const QByteArray &request,
                                                       const std::function<bool()> &cancelled)
{
    const QJsonObject object = QJsonDocument::fromJson(request).object();
    const QString command = object.value(QString::fromLatin1(Protocol::commandMember)).toString();
    const QString progressFile = object.value(QString::fromLatin1(Protocol::progressMember)).toString();
    const auto cancelledError = shared::Error::system(receiveAction, Protocol::socket, ECANCELED);
    switch (behaviour) {
    case Behaviour::Hangs:
        hold(true, cancelled);
        return cancelledError;
    case Behaviour::AnswersLate:
        // Released, or given up on: the answer comes all the same, too late.
        hold(false, cancelled);
        break;
    case Behaviour::ClosesHalfway:
        if (!progressFile.isEmpty())
            writeProgress(progressFile, false);
        return shared::Error::system(receiveAction, Protocol::socket, ECONNRESET);
    case Behaviour::AnswersRefused:
        return reply(Protocol::refused, QStringLiteral("refused: ") + command);
    case Behaviour::AnswersFailed:
        return reply(Protocol::failed, QStringLiteral("failed: ") + command);
    case Behaviour::AnswersGarbage:
        return QByteArray("<html>not a reply</html>");
    case Behaviour::CannotCreate:
    case Behaviour::Refuses:
    case Behaviour::Completes:
        break;
    }
    if (!progressFile.isEmpty())
        writeProgress(progressFile, true);
    return reply(Protocol::completed, QStringLiteral("done: ") + command, QStringLiteral("0"));
}

} // namespace tavoren::testsupport
