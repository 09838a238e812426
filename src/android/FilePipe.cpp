#include "android/FilePipe.h"

#include <QFile>

#include <cerrno>

namespace {

void fill(BasicBlockQueue<filepipe::Buffer> &queue, int buffers, qint64 bufferBytes)
{
    for (int k = 0; k < buffers; ++k)
        queue.push(filepipe::Buffer{std::make_unique<char[]>(size_t(bufferBytes)), 0});
}

} // namespace

BackgroundFileWriter::BackgroundFileWriter(QFile &file, int buffers, qint64 bufferBytes)
    : m_file(file), m_bufferBytes(bufferBytes), m_free(size_t(buffers)), m_filled(size_t(buffers))
{
    fill(m_free, buffers, bufferBytes);
    m_thread = std::thread([this] { run(); });
}

BackgroundFileWriter::~BackgroundFileWriter()
{
    m_filled.close();
    m_free.close();
    if (m_thread.joinable())
        m_thread.join();
}

char *BackgroundFileWriter::buffer()
{
    if (m_failed)
        return nullptr;
    if (!m_current) {
        m_current = m_free.pop();
        if (!m_current || m_failed)
            return nullptr;
    }
    return m_current->data.get();
}

void BackgroundFileWriter::commit(qint64 size)
{
    if (!m_current)
        return;
    m_current->size = size;
    m_filled.push(std::move(*m_current));
    m_current.reset();
}

bool BackgroundFileWriter::finish()
{
    m_filled.close();
    if (m_thread.joinable())
        m_thread.join();
    if (m_failed)
        return false;
    if (!m_file.flush()) {
        m_errno = errno;
        m_error = m_file.errorString();
        m_failed = true;
    }
    return !m_failed;
}

QString BackgroundFileWriter::errorString() const
{
    // Read only once the failure is known, after the thread stopped writing it.
    return m_error;
}

int BackgroundFileWriter::systemError() const
{
    return m_errno;
}

void BackgroundFileWriter::run()
{
    while (std::optional<filepipe::Buffer> block = m_filled.pop()) {
        errno = 0;
        if (m_file.write(block->data.get(), block->size) != block->size) {
            m_errno = errno;
            m_error = m_file.errorString();
            m_failed = true;
            // Wakes the other side, whether it waits for room or for a buffer.
            m_filled.close();
            m_free.close();
            return;
        }
        m_free.push(std::move(*block));
    }
}

BackgroundFileReader::BackgroundFileReader(QFile &file, int buffers, qint64 bufferBytes)
    : m_file(file), m_bufferBytes(bufferBytes), m_free(size_t(buffers)), m_filled(size_t(buffers))
{
    fill(m_free, buffers, bufferBytes);
    m_thread = std::thread([this] { run(); });
}

BackgroundFileReader::~BackgroundFileReader()
{
    m_free.close();
    m_filled.close();
    if (m_thread.joinable())
        m_thread.join();
}

QByteArrayView BackgroundFileReader::next()
{
    if (m_current) {
        m_free.push(std::move(*m_current));
        m_current.reset();
    }
    m_current = m_filled.pop();
    if (!m_current)
        return {};
    return QByteArrayView(m_current->data.get(), m_current->size);
}

QString BackgroundFileReader::errorString() const
{
    return m_error;
}

void BackgroundFileReader::run()
{
    while (std::optional<filepipe::Buffer> block = m_free.pop()) {
        const qint64 n = m_file.read(block->data.get(), m_bufferBytes);
        if (n < 0) {
            m_error = m_file.errorString();
            m_failed = true;
            break;
        }
        if (n == 0)
            break;
        block->size = n;
        if (!m_filled.push(std::move(*block)))
            return;
    }
    m_filled.close();
}
