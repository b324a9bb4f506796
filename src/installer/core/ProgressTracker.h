#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tavoren::installer {

// Turns the package installer's output, one pass at a time, into a phase
// key and a percentage: the second-to-last line of the progress message
// file is examined on every pass, so a phase seen on several passes moves
// the bar on each of them, in steps of 4 from 10 up to 88.
class ProgressTracker
{
public:
    static constexpr double start = 10.0;
    static constexpr double step = 4.0;
    static constexpr double ceiling = 88.0;
    // The status of a pass that saw a failure.
    static constexpr const char *failedStatus = "InstallFailed";

    struct Pass
    {
        int percent = 0;
        // A phase key, "InstallFailed", the rest of an unlisted status line
        // (line end included), or empty when the line said nothing new.
        QString status;
        // The line carried one of the package installer's failure texts.
        bool sawFailure = false;
    };

    // One pass over the examined line; `installFailed` is the flag as the
    // pass begins.
    Pass pass(const QString &line, bool installFailed);
    double accumulator() const { return m_accumulator; }

    // The line as examined: at most 1023 bytes, as UTF-8, spaces and tabs
    // trimmed at both ends (a line end stays part of it).
    static QString examinedLine(const QByteArray &line);
    // The phase key of a status text, or the text itself.
    static QString phaseKey(const QString &status);
    static bool containsFailureText(const QString &line);
    // The exit status on an "Installation_Done" line; none for other lines,
    // -1 when the line carries no number.
    static std::optional<int> installationDoneStatus(const QByteArray &line);

private:
    double m_accumulator = start;
};

} // namespace tavoren::installer
