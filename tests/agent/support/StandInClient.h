#pragma once

#include "support/TestRoot.h"

#include <QByteArrayList>
#include <QString>

namespace tavoren::testsupport {

// The stand-in client placed where the agent starts the client, under a
// test's root, and the arguments it recorded.
class StandInClient
{
public:
    // Links the stand-in to the agent's client path below the root.
    static bool install(const TestRoot &root);
    static QString recordFolder(const TestRoot &root);
    // One entry per started client, its arguments after the program name,
    // ordered by process id.
    static QList<QByteArrayList> records(const TestRoot &root);
    static int count(const TestRoot &root);
};

} // namespace tavoren::testsupport
