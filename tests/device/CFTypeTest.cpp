#include "device/CFType.h"
#include "device/MobileDeviceFrameworks.h"
#include "device/PlistIo.h"

#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <QTimeZone>

#include <plist/plist.h>

#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

namespace {

CFType builtPlist(const char *format)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QString::fromLatin1(format) + QStringLiteral(".plist"));
    const auto r =
        TestSupport::runPython(QStringLiteral("make_plist.py"), {path, QString::fromLatin1(format)});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return CFType::fromPlistFile(path);
}

class CFTypeFormats : public ::testing::TestWithParam<const char *>
{};

} // namespace

TEST_P(CFTypeFormats, ReadsEveryScalarKind)
{
    const CFType root = builtPlist(GetParam());
    ASSERT_TRUE(root.isDictionary());
    EXPECT_EQ(root.count(), 13);
    EXPECT_EQ(root.value(QStringLiteral("name")).toQString(), QStringLiteral("Zoë's iPhone"));
    EXPECT_EQ(root.value(QStringLiteral("count")).toInt(-1), 42);
    EXPECT_EQ(root.value(QStringLiteral("big")).toInt64(), 9007199254740993LL);
    EXPECT_EQ(root.value(QStringLiteral("big")).toInt(-1), -1); // does not fit
    EXPECT_EQ(root.value(QStringLiteral("negative")).toInt(0), -5);
    EXPECT_DOUBLE_EQ(root.value(QStringLiteral("ratio")).toDouble(), 0.5);
    EXPECT_TRUE(root.value(QStringLiteral("yes")).toBool(false));
    EXPECT_FALSE(root.value(QStringLiteral("no")).toBool(true));
    EXPECT_EQ(root.value(QStringLiteral("blob")).toBytes(), QByteArray("\x00\x01hello", 7));
    EXPECT_EQ(root.value(QStringLiteral("list")).count(), 3);
    EXPECT_EQ(root.value(QStringLiteral("list")).at(2).value(QStringLiteral("k")).toQString(),
              QStringLiteral("v"));
    EXPECT_EQ(root.value(QStringLiteral("nested"))
                  .value(QStringLiteral("inner"))
                  .value(QStringLiteral("deep"))
                  .toQString(),
              QStringLiteral("x"));
}

TEST_P(CFTypeFormats, DisplayText)
{
    const CFType root = builtPlist(GetParam());
    EXPECT_EQ(root.value(QStringLiteral("big")).toText(), QStringLiteral("9007199254740993"));
    EXPECT_EQ(root.value(QStringLiteral("ratio")).toText(), QStringLiteral("0.5"));
    EXPECT_EQ(root.value(QStringLiteral("ten_million")).toText(), QStringLiteral("1e+07"));
    EXPECT_EQ(root.value(QStringLiteral("yes")).toText(), QStringLiteral("1"));
    EXPECT_EQ(root.value(QStringLiteral("no")).toText(), QStringLiteral("0"));
    EXPECT_EQ(root.value(QStringLiteral("negative")).toText(), QStringLiteral("-5"));
    EXPECT_TRUE(root.toText().isEmpty());
    EXPECT_TRUE(root.value(QStringLiteral("list")).toText().isEmpty());
}

TEST_P(CFTypeFormats, DatesAreTheRightInstantInAnyTimeZone)
{
    TestSupport::ScopedTimeZone zone("America/New_York");
    const CFType root = builtPlist(GetParam());
    const QDateTime epoch = root.value(QStringLiteral("epoch")).toDateTime();
    EXPECT_EQ(epoch.toMSecsSinceEpoch(), 978307200000LL);
    const QDateTime when = root.value(QStringLiteral("when")).toDateTime();
    EXPECT_EQ(when.toMSecsSinceEpoch(), 1592217005000LL); // 2020-06-15 10:30:05 UTC
    // Shown in local time: 06:30:05 in New York (EDT).
    EXPECT_EQ(when.toLocalTime().time().hour(), 6);
    EXPECT_TRUE(root.value(QStringLiteral("when")).toText().contains(QStringLiteral("06:30:05")));
    EXPECT_FALSE(root.value(QStringLiteral("name")).toDateTime().isValid());
}

TEST_P(CFTypeFormats, RoundTripsThroughBothFormats)
{
    const CFType root = builtPlist(GetParam());
    for (int format : {int(CFType::XmlFormat), int(CFType::BinaryFormat)}) {
        const QByteArray bytes = root.toPlistData(format);
        ASSERT_FALSE(bytes.isEmpty());
        EXPECT_EQ(bytes.startsWith("bplist00"), format == CFType::BinaryFormat);
        const CFType again = CFType::fromPlistData(bytes);
        ASSERT_TRUE(again.isDictionary());
        EXPECT_EQ(again.toPlistData(CFType::XmlFormat), root.toPlistData(CFType::XmlFormat));
    }
    const CFType copy = CFType::deepCopy(root);
    EXPECT_NE(copy.ref(), root.ref());
    EXPECT_EQ(copy.value(QStringLiteral("count")).toInt(), 42);
}

INSTANTIATE_TEST_SUITE_P(XmlAndBinary, CFTypeFormats, ::testing::Values("xml", "binary"));

TEST(CFType, WrongTypesGiveDefaults)
{
    const CFType null;
    EXPECT_EQ(null.typeId(), CFType::Null);
    EXPECT_EQ(null.toInt(7), 7);
    EXPECT_TRUE(null.value(QStringLiteral("a")).isNull());
    EXPECT_EQ(null.count(), 0);
    const CFType text = CFType::fromString(QStringLiteral("12"));
    EXPECT_EQ(text.toInt(-3), -3);
    EXPECT_EQ(text.toBool(true), true);
    EXPECT_TRUE(text.toBytes().isEmpty());
    CFType array = CFType::newArray();
    array.append(text).append(CFType::fromBytes("zz"));
    EXPECT_EQ(array.count(), 2);
    EXPECT_TRUE(array.value(QStringLiteral("a")).isNull());
    EXPECT_TRUE(array.at(2).isNull());
    EXPECT_TRUE(array.at(-1).isNull());
    EXPECT_EQ(array.at(1).toBytes(), QByteArray("zz"));
    CFType dict = CFType::newDictionary();
    EXPECT_TRUE(dict.value(QStringLiteral("missing")).isNull());
    EXPECT_TRUE(dict.keys().isEmpty());
}

TEST(CFType, ElementsOutliveTheirContainerWrapper)
{
    CFType element;
    {
        CFType dict = CFType::newDictionary();
        dict.setValue(QStringLiteral("k"), CFType::fromString(QStringLiteral("value")));
        dict.setValue(CFType::fromString(QStringLiteral("k2")), CFType::newArray());
        const QList<CFType> keys = dict.keys();
        ASSERT_EQ(keys.size(), 2);
        EXPECT_TRUE(keys[0].toQString() == QStringLiteral("k") || keys[1].toQString() == QStringLiteral("k"));
        element = dict.value(QStringLiteral("k"));
    }
    EXPECT_EQ(element.toQString(), QStringLiteral("value"));
}

TEST(PlistIo, RefusesGarbageAndFillsOutPointersOnce)
{
    EXPECT_EQ(PlistIo::fromData("not a plist"), nullptr);
    EXPECT_EQ(PlistIo::fromData(QByteArray("bplist00")), nullptr);
    EXPECT_EQ(PlistIo::fromData(QByteArray("bplist00") + QByteArray(64, '\xff')), nullptr);
    EXPECT_EQ(PlistIo::fromData(QByteArray("<plist><dict><key>a</key>")), nullptr);
    EXPECT_TRUE(CFType::fromPlistFile(QStringLiteral("/nonexistent/x.plist")).isNull());
    PlistPtr node(plist_new_string("héllo"));
    const QByteArray xml = PlistIo::toXml(node.get());
    EXPECT_TRUE(xml.contains("<string>héllo</string>"));
    const QByteArray bin = PlistIo::toBinary(node.get());
    EXPECT_TRUE(bin.startsWith("bplist00"));
    // Serialising twice gives the same bytes (no stale out-pointer reuse).
    EXPECT_EQ(PlistIo::toBinary(node.get()), bin);
    PlistPtr back = PlistIo::fromData(bin);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(CFType::fromPlistData(bin).toQString(), QStringLiteral("héllo"));
    EXPECT_TRUE(PlistIo::toXml(nullptr).isEmpty());
}

TEST(MobileDeviceFrameworks, ReportsTheDeviceStackLoaded)
{
    QString error;
    EXPECT_TRUE(mobiledevice_load_frameworks(error)) << error.toStdString();
    EXPECT_TRUE(mobiledevice_frameworks_loaded());
}

// items() walks an array once and gives what at() gives, in order.
TEST(CFType, ItemsAreTheArrayInOrder)
{
    CFType array = CFType::newArray();
    for (int i = 0; i < 1000; ++i)
        array.append(CFType::fromString(QString::number(i)));
    for (const int format : {int(CFType::XmlFormat), int(CFType::BinaryFormat)}) {
        const CFType parsed = CFType::fromPlistData(array.toPlistData(format));
        const QList<CFType> items = parsed.items();
        ASSERT_EQ(items.size(), 1000);
        for (int i = 0; i < 1000; i += 97) {
            EXPECT_EQ(items[i].toQString(), QString::number(i));
            EXPECT_EQ(items[i].ref(), parsed.at(i).ref());
        }
    }
    EXPECT_TRUE(CFType::newDictionary().items().isEmpty());
    EXPECT_TRUE(CFType().items().isEmpty());
}
