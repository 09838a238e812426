// Property lists nested or expanded beyond reason are refused before
// libplist parses them (it recurses per level, and copies shared objects);
// ordinary depths still parse.
#include "device/PlistShape.h"
#include "device/CFType.h"

#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray hostile(const char *kind, int n)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("%1-%2.plist").arg(QLatin1String(kind)).arg(n));
    const auto r = TestSupport::runPython(QStringLiteral("make_hostile_plist.py"),
                                          {path, QString::fromLatin1(kind), QString::number(n)});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return TestSupport::readFile(path);
}

// Levels of nested arrays below the root dictionary's "uri".
int uriDepth(const CFType &root)
{
    int depth = 0;
    for (CFType v = root.value(QStringLiteral("uri")); v.isArray(); v = v.at(0))
        ++depth;
    return depth;
}

class PlistShapeKinds : public ::testing::TestWithParam<const char *>
{};

} // namespace

TEST_P(PlistShapeKinds, NestingUpToTheLimitParses)
{
    // The root dictionary and the arrays make n + 1 levels.
    const int n = PlistShape::kMaxDepth - 1;
    const CFType root = CFType::fromPlistData(hostile(GetParam(), n));
    ASSERT_TRUE(root.isDictionary());
    EXPECT_EQ(uriDepth(root), n);
    EXPECT_EQ(root.value(QStringLiteral("app-id")).toQString().left(11), QStringLiteral("com.kik.ext"));
}

TEST_P(PlistShapeKinds, DeeperNestingIsRefusedWithoutCrashing)
{
    EXPECT_FALSE(PlistShape::isBounded(hostile(GetParam(), PlistShape::kMaxDepth)));
    for (const int n : {100000, 1000000}) {
        const QByteArray bytes = hostile(GetParam(), n);
        EXPECT_FALSE(PlistShape::isBounded(bytes)) << n;
        EXPECT_TRUE(CFType::fromPlistData(bytes).isNull()) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PlistShapeKinds, ::testing::Values("deep-xml", "deep-binary"));

TEST(PlistShape, SharedObjectsThatWouldExpandWithoutBoundAreRefused)
{
    // 20 levels, each referring to the next twice: about a million nodes,
    // within bounds. 64 levels would be 2^64.
    const CFType small = CFType::fromPlistData(hostile("doubling", 20));
    ASSERT_TRUE(small.isDictionary());
    EXPECT_EQ(uriDepth(small), 20);
    EXPECT_TRUE(CFType::fromPlistData(hostile("doubling", 64)).isNull());
}

TEST(PlistShape, CommentsAndSelfClosingContainersDoNotCountAsLevels)
{
    QByteArray xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><array>";
    for (int i = 0; i < 1000; ++i)
        xml += "<array/><!-- <array> <dict> -->";
    xml += "<array></array></array></plist>";
    EXPECT_TRUE(PlistShape::isBounded(xml));
    EXPECT_EQ(CFType::fromPlistData(xml).count(), 1001);
}
