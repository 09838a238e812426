// Render instructions of a message body, from iOS and Android Kik stores.
#include "FuzzSupport.h"
#include "model/RenderInstructions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::quietLog();
    const QByteArray input = Fuzz::bytes(data, size);
    parseRenderInstructions(input);
    // The instructions are applied to a body they were not written for:
    // ranges past its end or crossing each other must stay harmless.
    static const QString body = QStringLiteral("hi :) <b>there</b> \U0001F600 x");
    const RenderReplacer replacer = [](const QString &key, const std::optional<QString> &value) {
        return key + value.value_or(QString());
    };
    applyRenderInstructions(body, input, replacer, true);
    applyRenderInstructions(QString(), input, replacer, false);
    return 0;
}
