#pragma once

#include "client/core/UploadFrontEnd.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tavoren::clienttest {

// A front-end that records what the job runner shows.
class RecordingFrontEnd final : public client::UploadFrontEnd
{
public:
    enum class End { None, ReleaseCode, Error, Quit };

    void setProgress(int percent) override
    {
        progress.append(percent);
        if (onProgress)
            onProgress(percent);
    }
    void setIndeterminate(bool value) override { events.append(value ? QStringLiteral("indeterminate") : QStringLiteral("determinate")); }
    void setCancelEnabled(bool enabled) override { events.append(enabled ? QStringLiteral("cancel on") : QStringLiteral("cancel off")); }
    void showReleaseCode(const QString &code, const QString &name) override;
    void showError(const QString &text) override;
    void quit() override;

    End end = End::None;
    int endings = 0;
    QString docID;
    QString fileName;
    QString errorText;
    QList<int> progress;
    QStringList events;
    // Called on every progress report, as the screen would be.
    std::function<void(int)> onProgress;
};

} // namespace tavoren::clienttest
