// test-links: cw_platform
// Helper programs run with real processes: the answer, the exit status, a
// crash, a hang killed at its time limit, output past its limit, what the
// helper inherits, and the helper found beside the test program.
#include "platform/helper_process.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <unistd.h>

namespace {

using End = HelperRun::End;

HelperRun Shell(const std::string& script, int timeoutMs = 20000, std::size_t maxOutput = 1 << 20)
{
    return RunHelper("/bin/sh", { "-c", script }, timeoutMs, maxOutput);
}

TEST(HelperProcess, HowTheHelperEnded)
{
    // (how it ended, exit code, output) of a clean exit, a failure and a crash.
    const std::tuple<const char*, End, int, std::string> runs[] = {
        { "printf 'one\\ntwo'; exit 0", End::Exited, 0, "one\ntwo" },
        { "echo partial; exit 3", End::Exited, 3, "partial\n" },
        { "echo before; kill -SEGV $$", End::Crashed, -1, "before\n" },
    };
    for (const auto& [script, end, code, output] : runs) {
        const HelperRun r = Shell(script);
        EXPECT_EQ(std::tuple(r.end, code < 0 || r.exitCode == code, r.output, r.Succeeded()),
            std::tuple(end, true, output, end == End::Exited && code == 0))
            << script;
    }
    EXPECT_EQ(RunHelper("/nonexistent/helper", {}, 1000, 100).end, End::NotStarted);
}

// A helper that never answers, or that closes its output and goes on, is
// killed when its time is up; one that writes without end, when it passes
// the limit.
TEST(HelperProcess, HangsAndFloodsAreKilled)
{
    for (const char* script : { "sleep 30", "exec >&-; sleep 30", "echo started; sleep 30" }) {
        SCOPED_TRACE(script);
        const auto start = std::chrono::steady_clock::now();
        const HelperRun r = Shell(script, 300);
        const auto ms
            = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(r.end, End::TimedOut);
        EXPECT_GE(ms, 250);
        EXPECT_LT(ms, 5000);
    }
    const auto start = std::chrono::steady_clock::now();
    const HelperRun r = RunHelper("/usr/bin/yes", {}, 20000, 4096);
    EXPECT_EQ(r.end, End::TooLong);
    EXPECT_LE(r.output.size(), 4096u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// The helper reads nothing from the caller's input, writes no error text
// into the caller's, and gets none of the caller's descriptors; a signal the
// calling thread blocks or ignores is back at its default there.
TEST(HelperProcess, HelperInheritsOnlyItsOutput)
{
    QTemporaryDir dir;
    // Opened without O_CLOEXEC.
    const int leaked = ::open(dir.filePath("open.txt").toLocal8Bit().constData(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(leaked, 3);
    sigset_t blocked;
    sigset_t previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &blocked, &previous), 0);
    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);

    HelperRun r = Shell("cat; echo to-error >&2; ls /proc/self/fd | sort -n | tr '\\n' ' '");
    EXPECT_TRUE(r.Succeeded());
    // 3 is the listing's own descriptor.
    EXPECT_EQ(r.output, "0 1 2 3 ");
    r = Shell("kill -TERM $$; sleep 5");
    EXPECT_EQ(r.end, End::Crashed);
    // The standard signals 1 to 31; the C library keeps its own real-time
    // ones above them.
    r = Shell("awk '/^Sig(Blk|Ign):/ { print $2 }' /proc/self/status");
    ASSERT_EQ(r.output.size(), 34u);
    EXPECT_EQ(std::stoull(r.output.substr(0, 16), nullptr, 16) & 0x7FFFFFFFu, 0u); // blocked
    EXPECT_EQ(std::stoull(r.output.substr(17, 16), nullptr, 16) & 0x7FFFFFFFu, 0u); // ignored

    std::signal(SIGPIPE, oldPipe);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(leaked);
}

TEST(HelperProcess, HelperFoundBesideTheProgram)
{
    // The tests live beside the build's programs.
    const std::string found = FindHelperProgram("cw-mp3-facts");
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(QFileInfo(QString::fromStdString(found)).absolutePath(),
        QFileInfo(QString::fromLocal8Bit(CW_BUILD_DIR "/bin")).canonicalFilePath());
    EXPECT_TRUE(FindHelperProgram("no-such-helper").empty());
}

} // namespace
