#pragma once

#include "shared/Expected.h"

#include <QString>

namespace tavoren::client {

// The agent's spool root with one folder per job. The client deletes and
// uploads only inside it: a job file must lie directly in a folder directly
// below the root, with symbolic links resolved.
class SpoolFolder
{
public:
    // The root under the current TAVOREN_ROOT.
    static QString rootPath();

    // The job folder holding `filePath`, as given, when that folder is a real
    // folder (no link) directly below the root. The file need not exist yet;
    // when it exists it must not be a link that leads elsewhere. Otherwise
    // the Error says what is wrong with the path.
    static shared::Expected<QString> jobFolderOf(const QString &filePath);

    // Removes the job folder of `filePath` with everything in it, or only
    // the spool file. Both act through the spool root and the job folder
    // opened without following links (a real folder directly below the
    // root, the user's or root's) and delete relative to them, so a folder
    // swapped for a link meanwhile leads nowhere.
    static shared::Expected<void> removeJobFolder(const QString &filePath);
    static shared::Expected<void> removeSpoolFile(const QString &filePath);
};

} // namespace tavoren::client
