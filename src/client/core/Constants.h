#pragma once

#include "shared/HandOff.h"
#include "shared/InstalledPaths.h"

#include <QLatin1String>
#include <QString>
#include <cstdint>

namespace tavoren::client {

struct ClientEnvironment;

// The client's named constants, the built-in administrator defaults and the
// three process-wide variables.
struct Constants
{
    // Files. Absolute system paths are resolved through SystemPath.
    static constexpr QLatin1String tavorenAdmin{shared::InstalledPaths::adminFile};
    static constexpr QLatin1String plistTavorenAdmin{"CorvaneTavorenAdmin"};
    static constexpr QLatin1String plistTavorenClient{"TavorenClient"};
    static constexpr QLatin1String plistFileTypeString{"plist"};
    static constexpr QLatin1String logfilepath{"/private/var/log/cups/tavorencups/tavorendriver.log"};
    // Where the hand-off agent lays out one folder per job.
    static constexpr QLatin1String spoolRoot{shared::HandOff::spoolRoot};

    // Storyboard, screens and transitions.
    static constexpr QLatin1String Main{"CorvaneMain"};
    static constexpr QLatin1String loaderViewController{"loaderViewController"};
    static constexpr QLatin1String dockerError{"dockerErrorViewController"};
    static constexpr QLatin1String emailEntryViewController{"emailEntryViewController"};
    static constexpr QLatin1String skip{"Skip"};
    static constexpr QLatin1String crossfadeSegue{"crossfadeSegue"};
    static constexpr QLatin1String errorSegue{"ErrorSegue"};
    static constexpr QLatin1String releaseCodeSegue{"ReleaseCodeSegue"};

    // Signing.
    static constexpr QLatin1String timestampString{"timestamp="};
    static constexpr QLatin1String methodString{"method="};
    static constexpr QLatin1String resourceString{"resource=/api/v2/drns/"};
    static constexpr QLatin1String tavorenSignature{"Tavoren-signature"};
    static constexpr QLatin1String tavorenTimeStamp{"Tavoren-timestamp"};
    static constexpr QLatin1String tavorenClientIdString{"Tavoren-clientid"};
    static constexpr QLatin1String tavorenSerialString{"Tavoren-serial"};
    static constexpr QLatin1String hashKey{"8Hq%V27%5Lm&Xw3c"};
    static constexpr QLatin1String tavorenClientID{"6f2b8e41-0c7d-4a93-b5e6-19d4c3a7f802"};

    // Requests and their JSON members.
    static constexpr QLatin1String applicationJson{"application/json"};
    static constexpr QLatin1String contentType{"Content-Type"};
    static constexpr QLatin1String methodPost{"POST"};
    static constexpr QLatin1String methodGet{"GET"};
    static constexpr QLatin1String mimePDF{"application/pdf"};
    static constexpr QLatin1String ownerEmailString{"OwnerEmail"};
    static constexpr QLatin1String uploadClientString{"UploadClient"};
    static constexpr QLatin1String emailToString{"EmailTo"};
    static constexpr QLatin1String docIdString{"DocID"};
    static constexpr QLatin1String serverTimeString{"ServerTime"};
    static constexpr int uploadlient = 5;
    static constexpr QLatin1String drnURL{"/api/v2/drns/"};
    static constexpr QLatin1String serverTimeURL{"/api/v2/servertime"};

    // The built-in administrator defaults.
    static constexpr bool IsPrivateInstall = true;
    static constexpr QLatin1String host{"release.corvane-tavoren.example"};
    static constexpr QLatin1String emailto{"print@corvane-tavoren.example"};
    static constexpr std::int64_t secure_connect = 1;
    static constexpr std::int64_t filesizelimitinmb = 70;
    static constexpr std::int64_t createdrntimeout = 180;
    static constexpr std::int64_t getdrntimeout = 180;
    static constexpr std::int64_t getservertimeout = 30;
    static constexpr std::int64_t conversiontimeout = 180;
    static constexpr QLatin1String privacypolicy{"https://www.corvane-tavoren.example/legal/privacy/"};
    static constexpr QLatin1String termsofuse{"https://www.corvane-tavoren.example/legal/terms-of-use/"};
    static constexpr std::int64_t drnpollingtimeinsecond = 5;
    // How long a job may wait for its conversion before it fails (30 minutes).
    static constexpr std::int64_t drnpollinglimitinsecond = 1800;
    static constexpr std::int64_t releasecodetextlength = 180;
    static constexpr std::int64_t emailentrytextlength = 360;
    static constexpr std::int64_t documentnamelength = 30;
    static constexpr QLatin1String statuspageurl{"status.corvane-tavoren.example"};
    static constexpr QLatin1String helpurl{"https://release.corvane-tavoren.example/faq"};

    // Process-wide variables.
    // The administrator file's IsPrivateInstall, read once on first use
    // from the environment of that use.
    static bool isPrivateInstall(const ClientEnvironment &environment);
    // Whether the error message on screen holds the status-page placeholder.
    static bool isStatusPage();
    static void setStatusPage(bool value);
    // Never assigned: the default of AdminConfig::locateprinter.
    static QString locateprinter();
};

} // namespace tavoren::client
