// A property-list value (string, number, boolean, data, date, array,
// dictionary) with conversions to Qt values and XML/binary property-list
// parsing and serialisation, backed by libplist.
//
// Ownership: copies of a CFType share one holder. Values created here
// (strings, data, containers, parsed and copied trees) own their node and
// free it when the last copy goes. Values fetched out of a container do not
// own their node; they keep the container's holder alive instead, so an
// element stays valid as long as any wrapper of it exists. Storing into a
// container (append, setValue) stores a copy of the item.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

typedef void *plist_t;

class CFType
{
public:
    // Type identifiers returned by typeId().
    enum TypeId {
        Null = -1,
        Boolean = 0,
        Number,
        Real,
        String,
        Array,
        Dictionary,
        Date,
        Data,
        Key,
        Uid,
        Other
    };
    enum PlistFormat { XmlFormat = 100, BinaryFormat = 200 };

    CFType() = default;
    // Wraps `ref`; an owned wrapper frees it when the last copy goes.
    CFType(plist_t ref, bool owned);
    virtual ~CFType() = default;

    plist_t ref() const;
    int typeId() const;
    bool isNull() const { return ref() == nullptr; }
    bool isNumber() const;
    bool isBool() const { return typeId() == Boolean; }
    bool isString() const { return typeId() == String; }
    bool isData() const { return typeId() == Data; }
    bool isDate() const { return typeId() == Date; }
    bool isDictionary() const { return typeId() == Dictionary; }
    bool isArray() const { return typeId() == Array; }
    bool isUid() const { return typeId() == Uid; }

    int toInt(int def = 0) const;
    qint64 toInt64(qint64 def = 0) const;
    double toDouble(double def = 0) const;
    bool toBool(bool def = false) const;
    quint64 toUid(quint64 def = 0) const;
    QString toQString() const;
    QByteArray toBytes() const;
    // The instant of a date value (in UTC); invalid when not a date.
    QDateTime toDateTime() const;
    // Display text of a scalar; empty for containers and null.
    QString toText() const;

    int count() const;
    CFType value(const CFType &key) const;
    CFType value(const QString &key) const;
    // An element of an array. libplist finds it by walking the array from
    // its start, so loops over a whole array use items().
    CFType at(int index) const;
    // Every element of an array, in order, found in one walk.
    QList<CFType> items() const;
    QList<CFType> keys() const;

    CFType &append(const CFType &item);
    void setValue(const CFType &key, const CFType &value);
    void setValue(const QString &key, const CFType &value);

    static CFType fromString(const QString &text);
    static CFType fromBytes(const QByteArray &bytes);
    static CFType newDictionary();
    static CFType newArray();
    static CFType fromPlistData(const QByteArray &bytes);
    static CFType fromPlistFile(const QString &path);
    QByteArray toPlistData(int format) const;
    static CFType deepCopy(const CFType &other);

private:
    struct Holder;
    CFType(plist_t ref, const std::shared_ptr<Holder> &container);
    std::shared_ptr<Holder> m_holder;
};
