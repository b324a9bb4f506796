#include "client/core/MultipartBodyDevice.h"

#include <algorithm>
#include <cstring>

namespace tavoren::client {

MultipartBodyDevice::MultipartBodyDevice(QByteArray head, std::unique_ptr<QFile> file, qint64 fileSize,
                                         QByteArray tail, QObject *parent)
    : QIODevice(parent)
    , m_head(std::move(head))
    , m_file(std::move(file))
    , m_fileSize(fileSize)
    , m_tail(std::move(tail))
{
    QIODevice::open(QIODevice::ReadOnly);
}

MultipartBodyDevice::~MultipartBodyDevice() = default;

qint64 MultipartBodyDevice::size() const
{
    return m_head.size() + m_fileSize + m_tail.size();
}

bool MultipartBodyDevice::seek(qint64 pos)
{
    if (pos < 0 || pos > size())
        return false;
    return QIODevice::seek(pos);
}

bool MultipartBodyDevice::atEnd() const
{
    return pos() >= size();
}

qint64 MultipartBodyDevice::readData(char *data, qint64 maxSize)
{
    qint64 position = pos();
    qint64 done = 0;
    while (done < maxSize && position < size()) {
        qint64 chunk = 0;
        if (position < m_head.size()) {
            chunk = std::min(maxSize - done, m_head.size() - position);
            std::memcpy(data + done, m_head.constData() + position, size_t(chunk));
        } else if (position < m_head.size() + m_fileSize) {
            const qint64 offset = position - m_head.size();
            chunk = std::min(maxSize - done, m_fileSize - offset);
            if (m_file->pos() != offset && !m_file->seek(offset))
                return done > 0 ? done : -1;
            chunk = m_file->read(data + done, chunk);
            // A spool file that shrank under us cannot be sent as announced.
            if (chunk <= 0)
                return done > 0 ? done : -1;
        } else {
            const qint64 offset = position - m_head.size() - m_fileSize;
            chunk = std::min(maxSize - done, m_tail.size() - offset);
            std::memcpy(data + done, m_tail.constData() + offset, size_t(chunk));
        }
        done += chunk;
        position += chunk;
    }
    return done;
}

qint64 MultipartBodyDevice::writeData(const char *, qint64)
{
    return -1;
}

} // namespace tavoren::client
