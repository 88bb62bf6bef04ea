// The stored form of the password.
#include <gtest/gtest.h>

#include <string>

#include "settings/password.h"

namespace {

std::string Bytes(std::initializer_list<unsigned char> b) {
    return std::string(b.begin(), b.end());
}

// Raised per position by the fixed sequence: 3 4 3 6 7 8 7 10 10 11 for the first ten
// bytes (worked out by hand from the classic generator's formula with seed 71).
TEST(ScramblePassword, KnownVectors) {
    EXPECT_EQ(ScramblePassword("abc"), Bytes({0x64, 0x66, 0x66}));
    EXPECT_EQ(ScramblePassword("password"), "sevy~wyn");
    EXPECT_EQ(ScramblePassword("Secret1234"),
              Bytes({0x56, 0x69, 0x66, 0x78, 0x6C, 0x7C, 0x38, 0x3C, 0x3D, 0x3F}));
    // Wraps modulo 256.
    EXPECT_EQ(ScramblePassword(Bytes({0xFF, 0xFE})), Bytes({0x02, 0x02}));
}

TEST(ScramblePassword, EmptyStaysEmpty) {
    EXPECT_EQ(ScramblePassword(""), "");
    EXPECT_EQ(UnscramblePassword(""), "");
}

TEST(ScramblePassword, SameFormEveryTimeAndSameLength) {
    const std::string first = ScramblePassword("kids2bed");
    // Nothing carries over between calls: an unrelated scrambling in between changes nothing.
    ScramblePassword("other password");
    UnscramblePassword("xyz");
    EXPECT_EQ(ScramblePassword("kids2bed"), first);
    EXPECT_EQ(first.size(), 8u);
}

TEST(ScramblePassword, DiffersFromThePasswordInEveryByte) {
    // Every printable character at every position of a 10-character password.
    for (int c = 0x20; c < 0x7F; ++c) {
        const std::string password(10, char(c));
        const std::string stored = ScramblePassword(password);
        ASSERT_EQ(stored.size(), password.size());
        for (size_t i = 0; i < stored.size(); ++i)
            EXPECT_NE(stored[i], password[i]) << "char " << c << " position " << i;
    }
}

TEST(ScramblePassword, EveryByteRoundTripsAtEveryPosition) {
    for (int c = 0; c < 256; ++c) {
        const std::string password(40, char(c));
        EXPECT_EQ(UnscramblePassword(ScramblePassword(password)), password) << c;
        EXPECT_EQ(ScramblePassword(UnscramblePassword(password)), password) << c;
    }
    EXPECT_EQ(UnscramblePassword(ScramblePassword("Ab3$%^&*()")), "Ab3$%^&*()");
}

TEST(IsStorablePassword, OrdinaryPasswordsAreStorable) {
    EXPECT_TRUE(IsStorablePassword(""));
    EXPECT_TRUE(IsStorablePassword("abc"));
    EXPECT_TRUE(IsStorablePassword("Secret1234"));
    for (int c = 0x20; c < 0xF2; ++c)
        EXPECT_TRUE(IsStorablePassword(std::string(10, char(c)))) << c;
    EXPECT_TRUE(IsStorablePassword(std::string(kMaxStoredPassword, 'x')));
}

TEST(IsStorablePassword, RefusesBytesWhoseFormNoStoreCanHold) {
    // Position 0 is raised by 3: 0xFD becomes NUL, 0x07 LF and 0x0A CR.
    EXPECT_FALSE(IsStorablePassword(Bytes({0xFD, 'a', 'b'})));
    EXPECT_FALSE(IsStorablePassword(Bytes({0x07, 'a', 'b'})));
    EXPECT_FALSE(IsStorablePassword(Bytes({0x0A, 'a', 'b'})));
    // Position 9 is raised by 11: 0xF5 becomes NUL there, but not at position 0.
    EXPECT_FALSE(IsStorablePassword(std::string("abcdefghi") + char(0xF5)));
    EXPECT_TRUE(IsStorablePassword(std::string(1, char(0xF5)) + "bcdefghij"));
    // A NUL can't be typed or carried in a C string.
    EXPECT_FALSE(IsStorablePassword(std::string("ab\0cd", 5)));
    EXPECT_FALSE(IsStorablePassword(std::string(kMaxStoredPassword + 1, 'x')));
}

TEST(IsStorablePassword, ExactlyTheBytesThatScrambleToNulCrOrLf) {
    for (size_t pos = 0; pos < 10; ++pos) {
        for (int c = 1; c < 256; ++c) {
            std::string password(10, 'a');
            password[pos] = char(c);
            const char s = ScramblePassword(password)[pos];
            const bool bad = s == '\0' || s == '\r' || s == '\n';
            EXPECT_EQ(IsStorablePassword(password), !bad) << pos << " " << c;
            // Only high bytes and control characters can be refused.
            if (bad) {
                EXPECT_TRUE(c >= 0xF2 || c < 0x20) << pos << " " << c;
            }
        }
    }
}

} // namespace
