#include "client/cli/TerminalFrontEnd.h"

#include <QCoreApplication>
#include <unistd.h>

namespace tavoren::client {

namespace {
void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}
} // namespace

TerminalFrontEnd::TerminalFrontEnd(std::FILE *out, std::FILE *err)
    : m_out(out)
    , m_err(err)
    , m_interactive(::isatty(::fileno(err)) == 1)
{
}

void TerminalFrontEnd::setProgress(int percent)
{
    if (m_interactive) {
        const int filled = percent * 30 / 100;
        print(m_err, QStringLiteral("\rUploading [%1%2] %3%")
                         .arg(QString(filled, QLatin1Char('#')), QString(30 - filled, QLatin1Char(' ')))
                         .arg(percent, 3));
        m_progressShown = true;
    } else if (percent / 10 != m_lastReported / 10 || m_lastReported < 0) {
        print(m_err, QStringLiteral("Uploading %1%\n").arg(percent));
    }
    m_lastReported = percent;
}

void TerminalFrontEnd::setIndeterminate(bool indeterminate)
{
    if (!indeterminate)
        return;
    endProgressLine();
    print(m_err, m_lastReported < 0 ? QStringLiteral("Contacting the print service...\n")
                                    : QStringLiteral("Waiting for the document to be converted...\n"));
}

void TerminalFrontEnd::setCancelEnabled(bool enabled)
{
    m_cancelEnabled = enabled;
}

void TerminalFrontEnd::showReleaseCode(const QString &docID, const QString &fileName)
{
    endProgressLine();
    print(m_out, QStringLiteral("Document: %1\nRelease code: %2\n").arg(fileName, docID));
    QCoreApplication::exit(Converted);
}

void TerminalFrontEnd::showError(const QString &errorText)
{
    endProgressLine();
    QString text = errorText;
    text.replace(QStringLiteral("{0}"), m_statusPageUrl);
    print(m_err, QStringLiteral("Error: %1\n").arg(text));
    QCoreApplication::exit(Failed);
}

void TerminalFrontEnd::quit()
{
    endProgressLine();
    QCoreApplication::exit(Quit);
}

void TerminalFrontEnd::endProgressLine()
{
    if (m_progressShown)
        print(m_err, QStringLiteral("\n"));
    m_progressShown = false;
}

} // namespace tavoren::client
