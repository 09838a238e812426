#include "android/ZlibStream.h"

namespace {

constexpr qsizetype kInBlock = 256 * 1024;
constexpr qsizetype kOutBlock = 256 * 1024;

} // namespace

ZlibInflateReader::ZlibInflateReader(QFile &file) : m_file(file)
{
    m_in.resize(kInBlock);
    m_out.resize(kOutBlock);
    m_initialised = inflateInit(&m_zs) == Z_OK;
    if (!m_initialised)
        m_state = State::Corrupted;
}

ZlibInflateReader::~ZlibInflateReader()
{
    if (m_initialised)
        inflateEnd(&m_zs);
}

QByteArrayView ZlibInflateReader::next()
{
    if (m_state != State::Running)
        return {};
    m_zs.next_out = reinterpret_cast<Bytef *>(m_out.data());
    m_zs.avail_out = uInt(m_out.size());
    while (m_zs.avail_out == uInt(m_out.size())) {
        if (m_zs.avail_in == 0 && !m_eof) {
            const qint64 n = m_file.read(m_in.data(), m_in.size());
            if (n < 0) {
                m_state = State::ReadFailed;
                return {};
            }
            if (n == 0)
                m_eof = true;
            m_zs.next_in = reinterpret_cast<Bytef *>(m_in.data());
            m_zs.avail_in = uInt(n);
        }
        const int rc = inflate(&m_zs, Z_NO_FLUSH);
        if (rc == Z_STREAM_END) {
            m_state = State::Ended;
            break;
        }
        if (rc == Z_BUF_ERROR && m_zs.avail_in == 0 && m_eof) {
            m_state = State::Truncated;
            break;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            m_state = State::Corrupted;
            return {};
        }
    }
    const qsizetype produced = m_out.size() - qsizetype(m_zs.avail_out);
    m_totalOut += produced;
    if (m_state == State::Truncated)
        return {};
    return QByteArrayView(m_out.constData(), produced);
}

ZlibDeflateWriter::ZlibDeflateWriter(QFile &file) : m_file(file)
{
    m_out.resize(kOutBlock);
    m_initialised = deflateInit(&m_zs, Z_DEFAULT_COMPRESSION) == Z_OK;
}

ZlibDeflateWriter::~ZlibDeflateWriter()
{
    if (m_initialised)
        deflateEnd(&m_zs);
}

bool ZlibDeflateWriter::drain(int flush)
{
    for (;;) {
        m_zs.next_out = reinterpret_cast<Bytef *>(m_out.data());
        m_zs.avail_out = uInt(m_out.size());
        const int rc = deflate(&m_zs, flush);
        if (rc == Z_STREAM_ERROR)
            return false;
        const qint64 produced = m_out.size() - qint64(m_zs.avail_out);
        if (produced > 0 && m_file.write(m_out.constData(), produced) != produced)
            return false;
        if (flush == Z_FINISH) {
            if (rc == Z_STREAM_END)
                return true;
        } else if (m_zs.avail_in == 0 && m_zs.avail_out != 0) {
            return true;
        }
    }
}

bool ZlibDeflateWriter::write(const char *data, qint64 size)
{
    if (!m_initialised)
        return false;
    while (size > 0) {
        const uInt chunk = uInt(std::min<qint64>(size, 1 << 30));
        m_zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
        m_zs.avail_in = chunk;
        if (!drain(Z_NO_FLUSH))
            return false;
        data += chunk;
        size -= chunk;
    }
    return true;
}

bool ZlibDeflateWriter::finish()
{
    if (!m_initialised)
        return false;
    m_zs.next_in = nullptr;
    m_zs.avail_in = 0;
    return drain(Z_FINISH);
}
