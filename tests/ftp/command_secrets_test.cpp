// Passwords typed into IBM i commands stay out of the logs.

#include "ftp/command_secrets.h"

#include <gtest/gtest.h>
#include <string>

namespace tarn {
namespace {

TEST(CommandSecrets, PasswordKeywordValuesAreMaskedAndNothingElse)
{
    const struct
    {
        const char *Line, *Shown;
    } cases[] = {
        {"> rcmd chgusrprf usrprf(bob) password(Se(c)ret) text('x')",
         "> rcmd chgusrprf usrprf(bob) password(********) text('x')"},
        {"> RCMD CHGPWD CURPWD(old1) NEWPWD(new2)",
         "> RCMD CHGPWD CURPWD(********) NEWPWD(********)"},
        {"> rcmd crtddmf rmtpwd( 'a)b''c' )", "> rcmd crtddmf rmtpwd(********)"},
        // A command inside a quoted command, and a server reply that repeats it.
        {"> RCMD SBMJOB CMD('CHGUSRPRF USRPRF(A) Pwd(''x'')')",
         "> RCMD SBMJOB CMD('CHGUSRPRF USRPRF(A) Pwd(********)')"},
        {"< 550-Error occurred on command chgusrprf password(x1),pwd(x2).",
         "< 550-Error occurred on command chgusrprf password(********),pwd(********)."},
        // Without its closing parenthesis the value runs to the end of the line.
        {"> rcmd x pwd(abc def", "> rcmd x pwd(********"},
        // Not keywords: a name in a path, a keyword without a value, the FTP command PWD.
        {"< 257 \"/a/pwd(1)\" is current directory.", "< 257 \"/a/pwd(1)\" is current directory."},
        {"> PWD", "> PWD"},
        {"> rcmd dspusrprf usrprf(bob) output(*print) pwdexp",
         "> rcmd dspusrprf usrprf(bob) output(*print) pwdexp"},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MaskCommandSecrets(c.Line), c.Shown) << c.Line;
}

} // namespace
} // namespace tarn
