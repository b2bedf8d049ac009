// The credential: standard Base64 of the 8-bit bytes of name, colon and password.
#include <gtest/gtest.h>

#include <random>

#include "camera/Credential.h"
#include "sim/InquiryHandler.h"

namespace xqt {
namespace {

TEST(CredentialTest, Base64FollowsTheStandardVectors) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("foob"), "Zm9vYg==");
    EXPECT_EQ(Base64Encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Base64Encode(std::string("\xfb\xff\xfe", 3)), "+//+");
}

TEST(CredentialTest, NameColonAndPasswordAreEncodedTogether) {
    EXPECT_EQ(EncodeCredential("admin", "admin"), "YWRtaW46YWRtaW4=");
    EXPECT_EQ(EncodeCredential("", ""), "Og==");
}

TEST(CredentialTest, FiftySevenBytesFillTheFieldWithoutLineBreaks) {
    const std::string name(20, 'n');
    const std::string password(36, 'p');  // 20 + 1 + 36 = 57
    const std::string credential = EncodeCredential(name, password);
    EXPECT_EQ(credential.size(), 76u);
    EXPECT_LE(credential.size(), CREDENTIAL_MAX);
    EXPECT_EQ(credential.find_first_of("\r\n"), std::string::npos);
}

TEST(CredentialTest, TextGoesOnTheWireInTheEightBitCodePage) {
    EXPECT_EQ(EncodeCredential("J\xC3\xA9r\xC3\xB4me", "\xE2\x82\xAC"), Base64Encode("J\xE9r\xF4me:\x80"));
    EXPECT_EQ(EncodeCredential("\xE4\xB8\xAD", "x"), Base64Encode("?:x"));  // not in the code page
}

TEST(CredentialTest, AgreesWithTheSimulatorsIndependentEncoder) {
    std::mt19937 random(7);
    for (int length = 0; length < 64; ++length) {
        std::string bytes(length, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        EXPECT_EQ(Base64Encode(bytes), sim::SimBase64(bytes)) << "length " << length;
    }
}

}  // namespace
}  // namespace xqt
