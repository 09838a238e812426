#include "ios/KeyBag.h"
#include "ios/BackupCrypto.h"

#include <QtEndian>

#include <gtest/gtest.h>

namespace {

QByteArray item(const char *tag, const QByteArray &value)
{
    QByteArray out(tag, 4);
    char len[4];
    qToBigEndian<quint32>(quint32(value.size()), len);
    out.append(len, 4);
    return out + value;
}

QByteArray u32(quint32 v)
{
    char b[4];
    qToBigEndian<quint32>(v, b);
    return QByteArray(b, 4);
}

} // namespace

TEST(KeyBag, ParsesAttributesAndClasses)
{
    const QByteArray bytes = item("VERS", u32(3)) + item("UUID", QByteArray(16, 'b')) + item("WRAP", u32(0))
                             + item("SALT", QByteArray(20, 's')) + item("ITER", u32(7))
                             + item("UUID", QByteArray(16, '1')) + item("CLAS", u32(1)) + item("WRAP", u32(2))
                             + item("WPKY", QByteArray(40, 'w')) + item("UUID", QByteArray(16, '2'))
                             + item("CLAS", u32(2)) + item("WRAP", u32(1)) + item("KTYP", u32(0));
    const KeyBag bag = KeyBag::parse(bytes);
    EXPECT_EQ(bag.attributes().value("UUID"), QByteArray(16, 'b'));
    EXPECT_EQ(KeyBag::toUInt(bag.attributes().value("ITER")), 7u);
    EXPECT_EQ(KeyBag::toUInt(bag.attributes().value("WRAP")), 0u);
    ASSERT_EQ(bag.classes().size(), 2);
    EXPECT_EQ(bag.classes().value(1).value("UUID"), QByteArray(16, '1'));
    EXPECT_EQ(bag.classes().value(1).value("WPKY"), QByteArray(40, 'w'));
    EXPECT_EQ(KeyBag::toUInt(bag.classes().value(2).value("WRAP")), 1u);
    EXPECT_FALSE(bag.classes().value(2).contains("SALT"));
}

TEST(KeyBag, RefusesTruncatedAndOversizedItems)
{
    const QByteArray good = item("UUID", QByteArray(16, 'b')) + item("SALT", QByteArray(20, 's'));
    EXPECT_NO_THROW(KeyBag::parse(good));
    EXPECT_THROW(KeyBag::parse(good.left(good.size() - 1)), std::runtime_error);
    EXPECT_THROW(KeyBag::parse(good + "UUI"), std::runtime_error);
    QByteArray huge = QByteArray("UUID") + u32(0xFFFFFFF0u);
    EXPECT_THROW(KeyBag::parse(huge), std::runtime_error);
    EXPECT_THROW(KeyBag::parse(QByteArray("garbage, not a key bag at all")), std::runtime_error);
    EXPECT_THROW(KeyBag::parse(QByteArray()), std::runtime_error);
}

TEST(KeyBag, PasswordKeyUsesBothDerivationsWhenDpslIsPresent)
{
    const QByteArray salt(20, 's');
    const QByteArray dpsl(20, 'd');
    const QByteArray oldBag = item("UUID", QByteArray(16, 'b')) + item("SALT", salt) + item("ITER", u32(5));
    // Expected keys from Python's hashlib.pbkdf2_hmac with the same inputs.
    EXPECT_EQ(KeyBag::parse(oldBag).passwordKey("pw").toHex(),
              "cf2b168eb60b94e7adb5e884fd7a3096403a2b218f994ef162123639ac6475a0");
    const QByteArray newBag = oldBag + item("DPIC", u32(3)) + item("DPSL", dpsl);
    EXPECT_EQ(KeyBag::parse(newBag).passwordKey("pw").toHex(),
              "220ce63cd39a10226dafc448bcf40fb18f10f11533fb38098bc036dd20bfd22c");
    const QByteArray noIter = item("UUID", QByteArray(16, 'b')) + item("SALT", salt);
    EXPECT_THROW(KeyBag::parse(noIter).passwordKey("pw"), std::runtime_error);
}

TEST(KeyBag, WrongKeyLeavesBagLocked)
{
    const QByteArray bytes = item("UUID", QByteArray(16, 'b')) + item("SALT", QByteArray(20, 's'))
                             + item("ITER", u32(1)) + item("UUID", QByteArray(16, '1')) + item("CLAS", u32(3))
                             + item("WRAP", u32(2)) + item("WPKY", QByteArray(40, 'w'));
    KeyBag bag = KeyBag::parse(bytes);
    EXPECT_FALSE(bag.unlockWithKey(QByteArray(32, 'x')));
    EXPECT_TRUE(bag.classKey(3).isEmpty());
}

// A bag without password-wrapped class keys, or with one of the wrong
// length, is damaged: that is said, instead of "wrong password".
TEST(KeyBag, DamagedBagIsNotAWrongPassword)
{
    const QByteArray head =
        item("UUID", QByteArray(16, 'b')) + item("SALT", QByteArray(20, 's')) + item("ITER", u32(1));
    const auto errorOf = [](const QByteArray &bytes) -> std::string {
        KeyBag bag = KeyBag::parse(bytes);
        try {
            bag.unlock("pw");
        } catch (const std::runtime_error &e) {
            EXPECT_TRUE(bag.classKey(3).isEmpty());
            return e.what();
        }
        return "(unlock did not throw)";
    };
    EXPECT_NE(errorOf(head).find("damaged: it holds no class keys"), std::string::npos);
    EXPECT_NE(errorOf(head + item("UUID", QByteArray(16, '1')) + item("CLAS", u32(3)) + item("WRAP", u32(1))
                      + item("KTYP", u32(0)))
                  .find("damaged"),
              std::string::npos);
    EXPECT_NE(errorOf(head + item("UUID", QByteArray(16, '1')) + item("CLAS", u32(3)) + item("WRAP", u32(2))
                      + item("WPKY", QByteArray(24, 'w')))
                  .find("has 24 bytes instead of 40"),
              std::string::npos);
}
