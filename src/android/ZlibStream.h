// Streaming zlib over a file, with fixed-size buffers: the inflating reader
// behind archive extraction and the deflating writer behind archive creation.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <zlib.h>

// Inflates the rest of an open file as one zlib stream.
class ZlibInflateReader
{
public:
    enum class State { Running, Ended, Corrupted, Truncated, ReadFailed };

    explicit ZlibInflateReader(QFile &file);
    ~ZlibInflateReader();
    ZlibInflateReader(const ZlibInflateReader &) = delete;
    ZlibInflateReader &operator=(const ZlibInflateReader &) = delete;

    // The next inflated bytes; an empty block at the end of the stream or on
    // failure (see state()). The block stays valid until the next call.
    QByteArrayView next();

    State state() const { return m_state; }
    qint64 totalOut() const { return m_totalOut; }

private:
    QFile &m_file;
    z_stream m_zs{};
    bool m_initialised = false;
    bool m_eof = false;
    State m_state = State::Running;
    QByteArray m_in;
    QByteArray m_out;
    qint64 m_totalOut = 0;
};

// Deflates everything written into an open file at the default level.
class ZlibDeflateWriter
{
public:
    explicit ZlibDeflateWriter(QFile &file);
    ~ZlibDeflateWriter();
    ZlibDeflateWriter(const ZlibDeflateWriter &) = delete;
    ZlibDeflateWriter &operator=(const ZlibDeflateWriter &) = delete;

    // False when the file refused the bytes.
    bool write(const char *data, qint64 size);
    // Ends the stream (trailer written); false on a write failure.
    bool finish();

private:
    bool drain(int flush);

    QFile &m_file;
    z_stream m_zs{};
    bool m_initialised = false;
    QByteArray m_out;
};
