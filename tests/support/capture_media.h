// Helpers of the recording tests: reading back a WAV file, and a private
// PulseAudio server with a null sink and a 1 kHz tone as its source (set up
// as scripts/sound-server does), for tests that remove a source or set
// volumes without disturbing the shared server.
#pragma once

#include "test_util.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdint>
#include <cstring>
#include <vector>

namespace capture_media {

struct Wav {
    bool valid = false; // the RIFF size agrees with the data size, which fits the file
    bool exact = false; // and the data ends the file
    int channels = 0;
    int rate = 0;
    int bits = 0;
    std::vector<std::int16_t> samples;
    double seconds() const { return channels && rate ? double(samples.size()) / channels / rate : 0.0; }
    // Frequency of channel 0 from its upward zero crossings.
    double frequency() const
    {
        int crossings = 0;
        for (std::size_t i = std::size_t(channels); i < samples.size(); i += std::size_t(channels))
            if (samples[i - std::size_t(channels)] < 0 && samples[i] >= 0)
                ++crossings;
        return seconds() > 0 ? crossings / seconds() : 0.0;
    }
};

inline Wav ReadWav(const QString& path)
{
    Wav w;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return w;
    const QByteArray b = f.readAll();
    if (b.size() < 44 || !b.startsWith("RIFF") || b.mid(8, 8) != "WAVEfmt " || b.mid(36, 4) != "data")
        return w;
    // A little-endian field of 2 or 4 bytes (the host's order).
    const auto u32 = [&b](int at, std::size_t bytes = 4) {
        std::uint32_t v = 0;
        std::memcpy(&v, b.constData() + at, bytes);
        return v;
    };
    w.channels = int(u32(22, 2));
    w.rate = int(u32(24));
    w.bits = int(u32(34, 2));
    const std::uint32_t data = u32(40);
    w.valid = u32(4) == 36 + data && data <= std::uint32_t(b.size() - 44) && w.channels > 0
        && data % (2 * std::uint32_t(w.channels)) == 0;
    w.exact = w.valid && data == std::uint32_t(b.size() - 44);
    w.samples.resize(data / 2);
    std::memcpy(w.samples.data(), b.constData() + 44, w.samples.size() * 2);
    return w;
}

class PrivateSoundServer {
public:
    PrivateSoundServer()
    {
        const QString socket = dir_.filePath("native");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", dir_.path());
        env.remove("PULSE_SERVER");
        server_.setProcessEnvironment(env);
        server_.start("pulseaudio",
            { "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no",
                "--load=module-native-protocol-unix socket=" + socket, "--load=module-null-sink sink_name=t_null",
                "--load=module-null-sink sink_name=t_tone", "--load=module-sine sink=t_tone frequency=1000",
                "--load=module-remap-source master=t_tone.monitor source_name=t_sine "
                "source_properties=device.description=Sine_1kHz" });
        address_ = "unix:" + socket;
        for (int i = 0; i < 50 && !ready(); ++i)
            QThread::msleep(100);
    }
    ~PrivateSoundServer()
    {
        server_.kill();
        server_.waitForFinished(5000);
    }
    const QString& address() const { return address_; }
    bool ready() { return pactl({ "info" }) == 0; }
    int pactl(const QStringList& args)
    {
        return RunTool("pactl", QStringList { "-s", address_ } + args, {}, 10000).exitCode;
    }

private:
    QTemporaryDir dir_;
    QProcess server_;
    QString address_;
};

} // namespace capture_media
