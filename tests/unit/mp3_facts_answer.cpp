// test-links: cw_mediainfo cw_platform
// The MP3 facts helper's answer as the component reads it: every fact and
// text comes back as written, and anything short of a whole answer (cut
// anywhere, a fact missing or twice, a bad number or escape) is no answer.
#include "mediainfo/mp3_facts_answer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>

namespace {

Mp3Answer Sample()
{
    Mp3Answer a;
    a.hasV2Tag = true;
    a.fileSize = 4000000000u;
    a.bitRate = 128000;
    a.vbrBitRate = -1;
    a.sampleRate = 44100;
    a.playingTime = 3;
    a.layer = 1;
    a.version = 3;
    a.channelMode = 2;
    a.texts[0] = "Album";
    a.texts[3] = "two\nlines \\ and a back\\nslash";
    a.texts[10] = "";
    return a;
}

TEST(Mp3FactsAnswer, WhatIsWrittenIsRead)
{
    const Mp3Answer a = Sample();
    const std::optional<Mp3Answer> b = ReadMp3Answer(WriteMp3Answer(a));
    ASSERT_TRUE(b);
    EXPECT_EQ(std::tie(b->hasLyrics, b->hasV1Tag, b->hasV2Tag, b->fileSize, b->bitRate, b->vbrBitRate, b->sampleRate,
                  b->playingTime, b->layer, b->version, b->channelMode),
        std::tie(a.hasLyrics, a.hasV1Tag, a.hasV2Tag, a.fileSize, a.bitRate, a.vbrBitRate, a.sampleRate, a.playingTime,
            a.layer, a.version, a.channelMode));
    EXPECT_EQ(b->texts, a.texts);
    // One line per fact: a text's line break cannot end its line.
    const std::string text = WriteMp3Answer(a);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 11 + 3 + 1);
}

TEST(Mp3FactsAnswer, AnythingShortOfAWholeAnswerIsNone)
{
    const std::string whole = WriteMp3Answer(Sample());
    for (std::size_t n = 0; n < whole.size(); ++n)
        EXPECT_FALSE(ReadMp3Answer(whole.substr(0, n))) << "cut at " << n;
    const auto replaced = [&whole](const std::string& from, const std::string& to) {
        std::string s = whole;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    for (const std::string& bad : {
             replaced("cw-mp3-facts 1\n", "cw-mp3-facts 2\n"), // another format
             replaced("time 3\n", ""), // a fact missing
             replaced("time 3\n", "time 3\ntime 4\n"), // twice
             replaced("text TALB Album\n", "text TALB Album\ntext TALB Again\n"),
             replaced("time 3\n", "time 3s\n"), // not a number
             replaced("time 3\n", "time 99999999999\n"), // out of range
             replaced("size 4000000000\n", "size -1\n"), replaced("v2 1\n", "v2 yes\n"),
             replaced("text TALB Album\n", "text TXXX Album\n"), // a frame not carried
             replaced("text TALB Album\n", "text TALB Al\\bum\n"), // an unknown escape
             replaced("text TALB Album\n", "text TALB Album\\\n"), replaced("text TALB Album\n", "text TALB\n"),
             replaced("text TALB Album\n", "colour red\n"), // an unknown fact
             whole + "more\n", // past the end
         })
        EXPECT_FALSE(ReadMp3Answer(bad)) << bad;
}

} // namespace
