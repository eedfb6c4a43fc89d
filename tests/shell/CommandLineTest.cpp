#include "shell/CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLine, NoArgumentsIsNormalModeWithoutNotification) {
    const TCommandLine c = ParseCommandLine({});
    EXPECT_FALSE(c.AudioOnlyMode);
    EXPECT_EQ(c.NotifyMessage, 0);
    EXPECT_EQ(c.NotifyWindow, 0);
}

TEST(CommandLine, AudioInAnyCaseShiftsTheNumbers) {
    for (const char* word : {"audio", "AUDIO", "Audio", "aUdIo"}) {
        const TCommandLine c = ParseCommandLine({word, "1025", "4194311"});
        EXPECT_TRUE(c.AudioOnlyMode) << word;
        EXPECT_EQ(c.NotifyMessage, 1025);
        EXPECT_EQ(c.NotifyWindow, 4194311);
    }
    const TCommandLine alone = ParseCommandLine({"audio"});
    EXPECT_TRUE(alone.AudioOnlyMode);
    EXPECT_EQ(alone.NotifyMessage, 0);
    EXPECT_EQ(alone.NotifyWindow, 0);
}

TEST(CommandLine, OtherFirstArgumentIsNormalMode) {
    const TCommandLine c = ParseCommandLine({"32769", "77", "ignored", "more"});
    EXPECT_FALSE(c.AudioOnlyMode);
    EXPECT_EQ(c.NotifyMessage, 32769);
    EXPECT_EQ(c.NotifyWindow, 77);
    // "audios" is not "audio": normal mode, and the word is a non-integer message number.
    const TCommandLine word = ParseCommandLine({"audios", "5"});
    EXPECT_FALSE(word.AudioOnlyMode);
    EXPECT_EQ(word.NotifyMessage, 0);
    EXPECT_EQ(word.NotifyWindow, 5);
}

TEST(CommandLine, IntegerText) {
    EXPECT_EQ(StrToIntDef("123", 0), 123);
    EXPECT_EQ(StrToIntDef("-17", 0), -17);
    EXPECT_EQ(StrToIntDef("+8", 0), 8);
    EXPECT_EQ(StrToIntDef("0x400007", 0), 0x400007);
    EXPECT_EQ(StrToIntDef("$1F", 0), 31);
    EXPECT_EQ(StrToIntDef("0xFFFFFFFF", 0), -1);
    EXPECT_EQ(StrToIntDef("2147483647", 0), 2147483647);
    EXPECT_EQ(StrToIntDef("-2147483648", 0), -2147483647 - 1);
    for (const char* bad : {"", " 12", "12 ", "12a", "abc", "0x", "$", "--1", "+-1", "2147483648",
                            "0x100000000", "99999999999999999999999"})
        EXPECT_EQ(StrToIntDef(bad, 0), 0) << '"' << bad << '"';
}
