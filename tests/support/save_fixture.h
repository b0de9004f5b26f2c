// What the save tests share: media made once per program (a 3 s 320 x 240
// H.264 + AAC clip, a 2 s red clip without sound, a 10 s MP3 tone), a suite
// folder with the built encoder libraries, a private work folder in it, and
// a save environment over them. Header only: only programs that link the
// export layer include it.
#pragma once

#include "export/save_pipeline.h"
#include "platform/private_folder.h"
#include "test_util.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class SaveFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_FALSE(MediaCache::Make("clip.mp4",
            { "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i",
                "sine=frequency=1000:sample_rate=44100", "-t", "3", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a",
                "aac", "-shortest" })
                         .isEmpty());
        ASSERT_FALSE(MediaCache::Make(
            "red.avi", { "-f", "lavfi", "-i", "color=c=red:size=320x240:rate=15", "-t", "2", "-c:v", "mpeg4" })
                         .isEmpty());
        ASSERT_FALSE(
            MediaCache::Make("tone.mp3", { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t", "10" })
                .isEmpty());
    }

    void SetUp() override
    {
        for (const char* lib : { "libOTTEnc.so", "libOTTAVIEncoder.so" })
            QFile::link(QStringLiteral(CW_SUITE_DIR "/") + lib, suite_.filePath(lib));
        SetSuiteValue("FOLDER", suite_.path());
        SetSuiteValue("INIDIR", QStringLiteral(CW_SUITE_DIR "/ini"));
        work_ = std::make_unique<CPrivateFolder>(suite_.filePath("Temp"));
        ASSERT_FALSE(work_->path().isEmpty());
        env_.suiteFolder = suite_.path();
        env_.workFolder = work_->path();
        env_.frameCache = &cache_;
        env_.results = &results_;
        env_.lookup = ResourceLookup(&textTable, nullptr);
    }

    static QString textTable(QString section, QString key) { return section + "/" + key; }
    static QString media(const char* name) { return MediaCache::Path(name); }

    static CMediaFile clip(const QString& path, std::int32_t kind, std::uint32_t start, std::uint32_t length)
    {
        CMediaFile c(path, 0, 0, 0, kind);
        c.SetTimes(start, length, start + length);
        return c;
    }

    // Every file in the output folder, and in the work folder as "work/NAME".
    QStringList files() const
    {
        QStringList all = QDir(out_.path()).entryList(QDir::Files | QDir::Hidden);
        for (const QString& f : QDir(work_->path()).entryList(QDir::Files))
            all << "work/" + f;
        return all;
    }

    TempRegistry registry_;
    ScriptedDialogs dialogs_;
    QTemporaryDir suite_;
    QTemporaryDir out_;
    std::unique_ptr<CPrivateFolder> work_;
    FrameCache cache_;
    SaveResults results_;
    SaveEnvironment env_;
};
