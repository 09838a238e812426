#include "device/CFType.h"

#include "device/PlistIo.h"
#include "device/PlistShape.h"

#include <QFile>
#include <QTimeZone>

#include <plist/plist.h>

#include <cstdlib>
#include <limits>

// Seconds between 1970-01-01 and 2001-01-01 (UTC), the epoch of plist dates.
static constexpr qint64 kPlistEpochOffset = 978307200;
// Property-list files above this size are refused rather than read whole.
static constexpr qint64 kMaxPlistFileSize = 256 * 1024 * 1024;

struct CFType::Holder
{
    plist_t ref = nullptr;
    bool owned = false;
    std::shared_ptr<Holder> container; // keeps the owning tree alive
    ~Holder()
    {
        if (owned && ref)
            plist_free(ref);
    }
};

CFType::CFType(plist_t ref, bool owned)
{
    if (ref) {
        m_holder = std::make_shared<Holder>();
        m_holder->ref = ref;
        m_holder->owned = owned;
    }
}

CFType::CFType(plist_t ref, const std::shared_ptr<Holder> &container)
{
    if (ref) {
        m_holder = std::make_shared<Holder>();
        m_holder->ref = ref;
        m_holder->container = container;
    }
}

plist_t CFType::ref() const
{
    return m_holder ? m_holder->ref : nullptr;
}

int CFType::typeId() const
{
    if (!ref())
        return Null;
    switch (plist_get_node_type(ref())) {
    case PLIST_BOOLEAN:
        return Boolean;
    case PLIST_UINT:
        return Number;
    case PLIST_REAL:
        return Real;
    case PLIST_STRING:
        return String;
    case PLIST_ARRAY:
        return Array;
    case PLIST_DICT:
        return Dictionary;
    case PLIST_DATE:
        return Date;
    case PLIST_DATA:
        return Data;
    case PLIST_KEY:
        return Key;
    case PLIST_UID:
        return Uid;
    default:
        return Other;
    }
}

bool CFType::isNumber() const
{
    const int t = typeId();
    return t == Number || t == Real;
}

qint64 CFType::toInt64(qint64 def) const
{
    if (typeId() == Number) {
        uint64_t v = 0;
        plist_get_uint_val(ref(), &v);
        return qint64(v); // libplist keeps negative integers in two's complement
    }
    if (typeId() == Real) {
        double d = 0;
        plist_get_real_val(ref(), &d);
        if (d >= -9.2e18 && d <= 9.2e18)
            return qint64(d);
    }
    return def;
}

int CFType::toInt(int def) const
{
    if (!isNumber())
        return def;
    const qint64 v = toInt64(def);
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return def;
    return int(v);
}

double CFType::toDouble(double def) const
{
    if (typeId() == Real) {
        double d = 0;
        plist_get_real_val(ref(), &d);
        return d;
    }
    if (typeId() == Number)
        return double(toInt64(0));
    return def;
}

bool CFType::toBool(bool def) const
{
    if (!isBool())
        return def;
    uint8_t v = 0;
    plist_get_bool_val(ref(), &v);
    return v != 0;
}

quint64 CFType::toUid(quint64 def) const
{
    if (!isUid())
        return def;
    uint64_t v = 0;
    plist_get_uid_val(ref(), &v);
    return v;
}

QString CFType::toQString() const
{
    const int t = typeId();
    if (t != String && t != Key)
        return QString();
    uint64_t length = 0;
    const char *p = plist_get_string_ptr(ref(), &length);
    return p ? QString::fromUtf8(p, qsizetype(length)) : QString();
}

QByteArray CFType::toBytes() const
{
    if (!isData())
        return {};
    uint64_t length = 0;
    const char *p = plist_get_data_ptr(ref(), &length);
    return p ? QByteArray(p, qsizetype(length)) : QByteArray();
}

QDateTime CFType::toDateTime() const
{
    if (!isDate())
        return QDateTime();
    int32_t sec = 0;
    int32_t usec = 0;
    plist_get_date_val(ref(), &sec, &usec);
    const qint64 ms = (kPlistEpochOffset + qint64(sec)) * 1000 + usec / 1000;
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

QString CFType::toText() const
{
    switch (typeId()) {
    case String:
        return toQString();
    case Number:
        return QString::number(toInt64(0));
    case Real:
        return QString::number(toDouble(0), 'g', 6);
    case Boolean:
        return toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case Date:
        return toDateTime().toLocalTime().toString(Qt::TextDate);
    case Data:
        return QString::fromUtf8(toBytes());
    default:
        return QString();
    }
}

int CFType::count() const
{
    if (isDictionary())
        return int(plist_dict_get_size(ref()));
    if (isArray())
        return int(plist_array_get_size(ref()));
    return 0;
}

CFType CFType::value(const QString &key) const
{
    if (!isDictionary())
        return CFType();
    return CFType(plist_dict_get_item(ref(), key.toUtf8().constData()), m_holder);
}

CFType CFType::value(const CFType &key) const
{
    return value(key.toQString());
}

CFType CFType::at(int index) const
{
    if (!isArray() || index < 0 || index >= count())
        return CFType();
    return CFType(plist_array_get_item(ref(), uint32_t(index)), m_holder);
}

QList<CFType> CFType::items() const
{
    QList<CFType> out;
    if (!isArray() || count() == 0)
        return out;
    out.reserve(count());
    plist_array_iter it = nullptr;
    plist_array_new_iter(ref(), &it);
    for (;;) {
        plist_t item = nullptr;
        plist_array_next_item(ref(), it, &item);
        if (!item)
            break;
        out.append(CFType(item, m_holder));
    }
    std::free(it);
    return out;
}

QList<CFType> CFType::keys() const
{
    QList<CFType> out;
    if (!isDictionary() || count() == 0)
        return out;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(ref(), &it);
    for (;;) {
        char *key = nullptr;
        plist_t val = nullptr;
        plist_dict_next_item(ref(), it, &key, &val);
        if (!key)
            break;
        out.append(fromString(QString::fromUtf8(key)));
        std::free(key);
    }
    std::free(it);
    return out;
}

CFType &CFType::append(const CFType &item)
{
    if (isArray() && item.ref())
        plist_array_append_item(ref(), plist_copy(item.ref()));
    return *this;
}

void CFType::setValue(const QString &key, const CFType &value)
{
    if (isDictionary() && value.ref())
        plist_dict_set_item(ref(), key.toUtf8().constData(), plist_copy(value.ref()));
}

void CFType::setValue(const CFType &key, const CFType &value)
{
    setValue(key.toQString(), value);
}

CFType CFType::fromString(const QString &text)
{
    return CFType(plist_new_string(text.toUtf8().constData()), true);
}

CFType CFType::fromBytes(const QByteArray &bytes)
{
    return CFType(plist_new_data(bytes.constData(), uint64_t(bytes.size())), true);
}

CFType CFType::newDictionary()
{
    return CFType(plist_new_dict(), true);
}

CFType CFType::newArray()
{
    return CFType(plist_new_array(), true);
}

CFType CFType::fromPlistData(const QByteArray &bytes)
{
    // Refused before libplist sees them: it would recurse once per level.
    if (!PlistShape::isBounded(bytes))
        return CFType();
    return CFType(PlistIo::fromData(bytes).release(), true);
}

CFType CFType::fromPlistFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxPlistFileSize)
        return CFType();
    return fromPlistData(file.readAll());
}

QByteArray CFType::toPlistData(int format) const
{
    if (format == BinaryFormat)
        return PlistIo::toBinary(ref());
    if (format == XmlFormat)
        return PlistIo::toXml(ref());
    return {};
}

CFType CFType::deepCopy(const CFType &other)
{
    return fromPlistData(other.toPlistData(XmlFormat));
}
