#include "profile/password_store.h"
#include "tests/common/private_keyring.h"

#include <gtest/gtest.h>

namespace tarn {

namespace {

class PasswordStore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const test::TPrivateKeyring &keyring = test::TPrivateKeyring::Shared();
        if (!keyring.Missing.empty())
            GTEST_SKIP() << keyring.Missing;
        ASSERT_TRUE(keyring.Error.empty()) << keyring.Error;
    }
};

// Every byte value but NUL, as a password in a profile can hold them.
std::string AllBytes()
{
    std::string bytes;
    for (int c = 1; c < 256; ++c)
        bytes += char(c);
    return bytes;
}

TEST_F(PasswordStore, KeepsOnePasswordPerLoginByteForByte)
{
    // Logins that differ in one part only: each has its own entry.
    struct TLogin
    {
        const char *Host, *Port, *User;
        std::string Password;
    };
    const TLogin logins[] = {{"as400.example", "21", "QUSER", AllBytes()},
                             {"as400.example", "2121", "QUSER", "other port"},
                             {"AS400.example", "21", "QUSER", "host in other case"},
                             {"as400.example", "21", "quser", "p\xC3\xA4ss \xE2\x82\xAC"},
                             {"as400.example", "21", "a@b", "user with an at sign"}};
    for (const TLogin &login : logins)
        ASSERT_EQ(WriteKeyringPassword(login.Host, login.Port, login.User, login.Password).Status,
                  ksDone)
            << login.Password;
    for (const TLogin &login : logins) {
        const TKeyringResult found = ReadKeyringPassword(login.Host, login.Port, login.User);
        EXPECT_EQ(found.Status, ksDone) << found.Reason;
        EXPECT_EQ(found.Password, login.Password);
    }

    // Writing again replaces; deleting forgets this login only.
    ASSERT_TRUE(WriteKeyringPassword("as400.example", "21", "QUSER", "changed"));
    EXPECT_EQ(ReadKeyringPassword("as400.example", "21", "QUSER").Password, "changed");
    ASSERT_TRUE(DeleteKeyringPassword("as400.example", "21", "QUSER"));
    EXPECT_EQ(ReadKeyringPassword("as400.example", "21", "QUSER").Status, ksNotFound);
    EXPECT_EQ(ReadKeyringPassword("as400.example", "2121", "QUSER").Password, "other port");
}

} // namespace

} // namespace tarn
