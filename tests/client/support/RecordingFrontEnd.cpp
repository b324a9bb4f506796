#include "client/support/RecordingFrontEnd.h"

namespace tavoren::clienttest {

void RecordingFrontEnd::showReleaseCode(const QString &code, const QString &name)
{
    end = End::ReleaseCode;
    ++endings;
    docID = code;
    fileName = name;
}

void RecordingFrontEnd::showError(const QString &text)
{
    end = End::Error;
    ++endings;
    errorText = text;
}

void RecordingFrontEnd::quit()
{
    end = End::Quit;
    ++endings;
}

} // namespace tavoren::clienttest
