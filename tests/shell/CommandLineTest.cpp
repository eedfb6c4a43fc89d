#include "shell/CommandLine.h"

#include <gtest/gtest.h>

using namespace tavora;

TEST(CommandLine, NoArgumentsIsNormalModeWithoutNotification) {
    const CommandLine c = parseCommandLine({});
    EXPECT_FALSE(c.audioOnlyMode);
    EXPECT_EQ(c.notifyMessage, 0);
    EXPECT_EQ(c.notifyWindow, 0);
}

TEST(CommandLine, AudioInAnyCaseShiftsTheNumbers) {
    for (const char* word : {"audio", "AUDIO", "Audio", "aUdIo"}) {
        const CommandLine c = parseCommandLine({word, "1025", "4194311"});
        EXPECT_TRUE(c.audioOnlyMode) << word;
        EXPECT_EQ(c.notifyMessage, 1025);
        EXPECT_EQ(c.notifyWindow, 4194311);
    }
    const CommandLine alone = parseCommandLine({"audio"});
    EXPECT_TRUE(alone.audioOnlyMode);
    EXPECT_EQ(alone.notifyMessage, 0);
    EXPECT_EQ(alone.notifyWindow, 0);
}

TEST(CommandLine, OtherFirstArgumentIsNormalMode) {
    const CommandLine c = parseCommandLine({"32769", "77", "ignored", "more"});
    EXPECT_FALSE(c.audioOnlyMode);
    EXPECT_EQ(c.notifyMessage, 32769);
    EXPECT_EQ(c.notifyWindow, 77);
    // "audios" is not "audio": normal mode, and the word is a non-integer message number.
    const CommandLine word = parseCommandLine({"audios", "5"});
    EXPECT_FALSE(word.audioOnlyMode);
    EXPECT_EQ(word.notifyMessage, 0);
    EXPECT_EQ(word.notifyWindow, 5);
}

TEST(CommandLine, IntegerText) {
    EXPECT_EQ(strToIntDef("123", 0), 123);
    EXPECT_EQ(strToIntDef("-17", 0), -17);
    EXPECT_EQ(strToIntDef("+8", 0), 8);
    EXPECT_EQ(strToIntDef("0x400007", 0), 0x400007);
    EXPECT_EQ(strToIntDef("$1F", 0), 31);
    EXPECT_EQ(strToIntDef("0xFFFFFFFF", 0), -1);
    EXPECT_EQ(strToIntDef("2147483647", 0), 2147483647);
    EXPECT_EQ(strToIntDef("-2147483648", 0), -2147483647 - 1);
    for (const char* bad : {"", " 12", "12 ", "12a", "abc", "0x", "$", "--1", "+-1", "2147483648",
                            "0x100000000", "99999999999999999999999"})
        EXPECT_EQ(strToIntDef(bad, 0), 0) << '"' << bad << '"';
}
