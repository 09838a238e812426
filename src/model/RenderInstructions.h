// Render instructions: marked ranges of a message body whose tokens (such as
// emoticons) are replaced when the body is shown.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

struct RenderInstruction
{
    int start = 0;
    int end = 0;
    QByteArray key;
    std::optional<QByteArray> value;
};

// Records read until the data ends or a field cannot be read in full; a
// negative key length ends reading too. Each 2-byte field is read from its
// second byte as a signed 8-bit number.
QList<RenderInstruction> parseRenderInstructions(const QByteArray &data);

// (key, value or none) -> text to insert in place of the marked range.
using RenderReplacer = std::function<QString(const QString &key, const std::optional<QString> &value)>;

// The body with every marked range replaced; the copied parts of the body
// are HTML-escaped when `escape` is set.
QString applyRenderInstructions(const QString &body, const QByteArray &data, const RenderReplacer &replacer,
                                bool escape);
