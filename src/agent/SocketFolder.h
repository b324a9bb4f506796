#pragma once

#include "shared/SystemLog.h"

#include "shared/Descriptor.h"

#include <string>

namespace tavoren::agent {

// The agent's place below the socket root that every user shares. The root
// must be a real folder of root's with the sticky bit (the driver package
// makes it so), so that no user can remove or replace another's entry; the
// user's folder below it is a real folder of the user's own, private to the
// user. Everything is done relative to descriptors opened without following
// links, so a link planted on the way leads nowhere.
class SocketFolder
{
public:
    SocketFolder(std::string rootPath, std::string userName, shared::SystemLog &log);

    std::string socketPath() const;

    // Checks the root, removes the user's folder of an earlier run and makes
    // it anew (0700). False when the agent must not start; the reason is in
    // the system log.
    bool prepare();

    // After the bind: the socket made 0600 and checked to be a socket of the
    // user's in the folder made by prepare(). False (logged) otherwise.
    bool makeSocketPrivate();

    // When the agent stops serving: the socket goes from the folder made
    // by prepare(), whatever the path leads to now. Failures are logged.
    void removeSocket();

private:
    bool checkRoot();
    bool refuse(const std::string &reason);

    shared::SystemLog &m_log;
    const std::string m_rootPath;
    const std::string m_userName;
    const std::string m_folderPath;
    shared::Descriptor m_root;
    shared::Descriptor m_folder;
};

} // namespace tavoren::agent
