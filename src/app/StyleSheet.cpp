#include "app/StyleSheet.h"

#include <QFile>

QString appStyleSheet()
{
    static const QString sheet = [] {
        QFile file(QStringLiteral(":style.css"));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        QByteArray bytes = file.readAll();
        const qsizetype nul = bytes.indexOf('\0');
        if (nul >= 0)
            bytes.truncate(nul);
        return QString::fromUtf8(bytes);
    }();
    return sheet;
}
