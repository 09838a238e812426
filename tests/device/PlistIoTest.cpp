#include "device/CFType.h"

#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray builtPlist(const QString &kind)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("built.plist"));
    const auto r = TestSupport::runPython(QStringLiteral("make_plist.py"), {path, kind});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return TestSupport::readFile(path);
}

} // namespace

// libplist aborts the program when the keys of such a dictionary are
// listed; the file is refused as not a property list instead.
TEST(PlistIo, RefusesBinaryDictionaryKeysHoldingNul)
{
    const QByteArray bytes = builtPlist(QStringLiteral("nul-key"));
    ASSERT_TRUE(bytes.startsWith("bplist00"));
    const CFType root = CFType::fromPlistData(bytes);
    EXPECT_TRUE(root.isNull());
    EXPECT_TRUE(root.keys().isEmpty());
}

// Only keys are refused: string values holding NUL still load (libplist
// itself ends an ASCII value at the NUL).
TEST(PlistIo, KeepsStringValuesHoldingNul)
{
    const CFType root = CFType::fromPlistData(builtPlist(QStringLiteral("nul-value")));
    ASSERT_TRUE(root.isDictionary());
    EXPECT_EQ(root.keys().size(), 2);
    EXPECT_TRUE(root.value(QStringLiteral("k")).toQString().startsWith(QLatin1Char('a')));
    EXPECT_TRUE(root.value(QStringLiteral("u")).toQString().startsWith(QChar(0xE4)));
}
