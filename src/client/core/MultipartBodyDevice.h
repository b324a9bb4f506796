#pragma once

#include <QByteArray>
#include <QFile>
#include <QIODevice>

#include <memory>

namespace tavoren::client {

// The upload body as a readable device: the multipart head, the spool file
// read in place, and the tail. The file is never held in memory; the bytes
// are exactly those of RestAPIUtil::createDataBody for the same inputs.
class MultipartBodyDevice final : public QIODevice
{
    Q_OBJECT

public:
    // Takes an open file; `fileSize` is the size read before the upload and
    // is the number of file bytes sent.
    MultipartBodyDevice(QByteArray head, std::unique_ptr<QFile> file, qint64 fileSize, QByteArray tail,
                        QObject *parent = nullptr);
    ~MultipartBodyDevice() override;

    bool isSequential() const override { return false; }
    qint64 size() const override;
    bool seek(qint64 pos) override;
    bool atEnd() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    QByteArray m_head;
    std::unique_ptr<QFile> m_file;
    qint64 m_fileSize;
    QByteArray m_tail;
};

} // namespace tavoren::client
