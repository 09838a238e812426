// Shared set-up of the fuzz targets: a quiet Qt log and scratch files.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace Fuzz {

// Drops Qt's log output (parsers warn on every bad input) once per process.
void quietLog();

// The input as a byte array (a copy: parsers may keep it).
QByteArray bytes(const std::uint8_t *data, std::size_t size);

// A scratch folder of this process, created on first use; its contents
// may be removed with clearScratch().
QString scratchFolder();
void clearScratch();

} // namespace Fuzz
