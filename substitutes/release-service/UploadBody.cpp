#include "release-service/UploadBody.h"

#include "shared/Descriptor.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <functional>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavoren::releaseservice {

namespace {

constexpr std::string_view crlf = "\r\n";
// Bounds for the small parts, so a broken body is not searched to its end.
constexpr std::size_t ownerLimit = 64 * 1024;
constexpr std::size_t descriptionLimit = 4096;

// Reads the body front to back; each step either consumes what it expects or
// records why the layout does not hold.
class Cursor
{
public:
    explicit Cursor(std::string_view text) : m_rest(text) {}

    bool expect(std::string_view literal, std::string_view what)
    {
        if (!m_error.empty())
            return false;
        if (!m_rest.starts_with(literal))
            return fail("expected " + std::string(what));
        m_rest.remove_prefix(literal.size());
        return true;
    }

    // Everything up to the first `end`, which is consumed too.
    std::optional<std::string_view> until(std::string_view end, std::size_t limit, std::string_view what)
    {
        if (!m_error.empty())
            return std::nullopt;
        const std::string_view window = m_rest.substr(0, limit + end.size());
        const auto at = window.find(end);
        if (at == std::string_view::npos) {
            fail("unterminated " + std::string(what));
            return std::nullopt;
        }
        const std::string_view taken = m_rest.substr(0, at);
        m_rest.remove_prefix(at + end.size());
        return taken;
    }

    bool fail(std::string why)
    {
        if (m_error.empty())
            m_error = std::move(why);
        return false;
    }

    std::string_view rest() const { return m_rest; }
    const std::string &error() const { return m_error; }

private:
    std::string_view m_rest;
    std::string m_error;
};

std::string checkOwner(std::string_view json, UploadBody::Result &result)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(json.data(), qsizetype(json.size())), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return "owner part is not a JSON object";
    const QJsonObject owner = document.object();
    for (auto it = owner.begin(); it != owner.end(); ++it) {
        const QString key = it.key();
        if (key != QLatin1String("UploadClient") && key != QLatin1String("EmailTo") && key != QLatin1String("OwnerEmail"))
            return "owner part has unknown member " + key.toStdString();
    }
    const QJsonValue uploadClient = owner.value(QLatin1String("UploadClient"));
    if (!uploadClient.isDouble() || uploadClient.toDouble() != 5.0)
        return "owner part needs UploadClient 5";
    const QJsonValue emailTo = owner.value(QLatin1String("EmailTo"));
    if (!emailTo.isString())
        return "owner part needs a text EmailTo";
    result.emailTo = emailTo.toString().toStdString();
    if (owner.contains(QLatin1String("OwnerEmail"))) {
        // The client leaves the member out rather than sending it empty.
        const QJsonValue ownerEmail = owner.value(QLatin1String("OwnerEmail"));
        if (!ownerEmail.isString() || ownerEmail.toString().isEmpty())
            return "owner part has an empty or non-text OwnerEmail";
        result.ownerEmail = ownerEmail.toString().toStdString();
    }
    result.ownerJson = std::string(json);
    return {};
}

} // namespace

std::optional<std::string> UploadBody::boundaryFrom(std::string_view contentType)
{
    constexpr std::string_view prefix = "multipart/form-data; boundary=";
    if (!contentType.starts_with(prefix))
        return std::nullopt;
    const std::string_view boundary = contentType.substr(prefix.size());
    // The boundary characters MIME allows, without the quoted form the client never uses.
    const auto allowed = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
            || std::string_view("'()+_,-./:=?").find(c) != std::string_view::npos;
    };
    if (boundary.empty() || boundary.size() > 70 || !std::ranges::all_of(boundary, allowed))
        return std::nullopt;
    return std::string(boundary);
}

UploadBody::Result UploadBody::parse(std::string_view body, std::string_view boundary, std::string_view *file)
{
    Result result;
    const std::string dashBoundary = "--" + std::string(boundary);
    const std::string delimiter = std::string(crlf) + dashBoundary;
    const std::string closing = delimiter + "--" + std::string(crlf);

    Cursor cursor(body);
    cursor.expect(dashBoundary + std::string(crlf), "opening boundary");
    cursor.expect("Content-Disposition: form-data; name=\"Owner\"\r\n", "Owner part disposition");
    cursor.expect("Content-Type: application/json\r\n\r\n", "Owner part content type");
    const auto owner = cursor.until(delimiter + std::string(crlf), ownerLimit, "Owner part");
    cursor.expect("Content-Disposition: form-data; name=\"file\"; filename=\"Untitled.pdf\"\r\n", "file part disposition");
    cursor.expect("Content-Description: ", "Content-Description line");
    const auto description = cursor.until(crlf, descriptionLimit, "Content-Description line");
    cursor.expect("Content-Type: application/pdf\r\n\r\n", "file part content type");
    if (!cursor.error().empty()) {
        result.error = cursor.error();
        return result;
    }
    if (description->find_first_of("\r\n") != std::string_view::npos) {
        result.error = "line break inside Content-Description";
        return result;
    }

    const std::string_view rest = cursor.rest();
    if (!rest.ends_with(closing)) {
        result.error = "expected closing boundary at the end";
        return result;
    }
    const std::string_view content = rest.substr(0, rest.size() - closing.size());
    // A delimiter inside the file bytes would open another part. Searched
    // from the empty line's CR LF, since the bytes may start with "--B".
    const std::string_view searched(content.data() - crlf.size(), content.size() + crlf.size());
    const std::boyer_moore_horspool_searcher searcher(delimiter.begin(), delimiter.end());
    if (std::search(searched.begin(), searched.end(), searcher) != searched.end()) {
        result.error = "boundary inside the file part";
        return result;
    }

    if (std::string problem = checkOwner(*owner, result); !problem.empty()) {
        result = Result();
        result.error = std::move(problem);
        return result;
    }
    result.contentDescription = std::string(*description);
    result.fileSize = content.size();
    if (file)
        *file = content;
    return result;
}

UploadBody::Result UploadBody::extract(const std::string &bodyPath, std::string_view boundary, const std::string &filePath)
{
    Result result;
    shared::Descriptor body(::open(bodyPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!body || ::fstat(body.get(), &info) != 0) {
        result.error = "cannot read the received body";
        return result;
    }
    const std::size_t size = std::size_t(info.st_size);
    if (size == 0) {
        result.error = "empty body";
        return result;
    }
    // Mapped, not read: a 70 MiB upload is searched and copied straight from
    // the page cache.
    void *mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, body.get(), 0);
    body.reset();
    if (mapped == MAP_FAILED) {
        result.error = "cannot map the received body";
        return result;
    }
    std::string_view file;
    result = parse(std::string_view(static_cast<const char *>(mapped), size), boundary, &file);
    if (result.error.empty()) {
        shared::Descriptor stored(::open(filePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        const bool written = stored && stored.writeAll(file);
        if (stored && !stored.close())
            result.error = "cannot store the file";
        if (!written)
            result.error = "cannot store the file";
    }
    ::munmap(mapped, size);
    return result;
}

} // namespace tavoren::releaseservice
