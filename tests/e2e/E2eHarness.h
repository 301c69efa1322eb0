// The one harness of the tests that run on real system objects: scratch
// folders, pseudo-terminals, processes of the test's own, and whole upgrade
// runs of the engine on the Linux platform, ticking every 5 ms as the window
// does, against the simulated MCU on the other end of a pseudo-terminal.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/UpgradeEngine.h"
#include "platform/ForwardingPlatform.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/UniqueFd.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimulatedMcu.h"

namespace vardel::test {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// How many times slower than this machine the tests run: VARDEL_TIME_SCALE,
// set for the builds that run under an emulator. Only limits on how long
// something may take widen by it; what must happen never changes.
inline int TimeScale() {
    static const int scale = [] {
        const char* value = std::getenv("VARDEL_TIME_SCALE");
        const long parsed = value != nullptr ? std::strtol(value, nullptr, 10) : 1;
        return parsed > 0 ? static_cast<int>(parsed) : 1;
    }();
    return scale;
}

// A scratch folder of the test's own, removed with all it holds.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vardel-XXXXXX").string();
        EXPECT_NE(::mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Pseudo-random bytes of our own, the same for the same seed.
inline Bytes MakeImage(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes image(size);
    for (auto& byte : image) byte = static_cast<std::uint8_t>(random());
    return image;
}

inline void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
}

// What waits on fd, or arrives within timeoutMs.
inline Bytes ReadWaiting(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    Bytes got(4096);
    const ssize_t n = ::poll(&entry, 1, timeoutMs) > 0 ? ::read(fd, got.data(), got.size()) : 0;
    got.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return got;
}

// A pseudo-terminal whose slave end nobody holds, in raw settings; the test
// plays the master.
inline sim::PseudoTerminal OpenPty() {
    std::string error;
    auto pty = sim::PseudoTerminal::Open(error);
    EXPECT_TRUE(pty) << error;
    return std::move(*pty);
}

// Puts the device in the settings a terminal is usually in: line by line,
// echo, flow control, 7 bits with parity at 9600 baud. A serial device may
// come so; the engine's settings must make it a raw line.
inline void Cook(const std::string& device) {
    const linuxos::UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    termios s{};
    EXPECT_EQ(::tcgetattr(fd.Get(), &s), 0) << device;
    s.c_iflag |= ICRNL | IXON | ISTRIP | INPCK;
    s.c_oflag |= OPOST | ONLCR;
    s.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    s.c_cflag = (s.c_cflag & ~(CSIZE | CLOCAL)) | CS7 | PARENB | CSTOPB | CRTSCTS;
    ::cfsetspeed(&s, B9600);
    EXPECT_EQ(::tcsetattr(fd.Get(), TCSANOW, &s), 0);
}

// Closes the master side as a pulled cable would: the slave sees a hang-up,
// and the descriptor number stays its owner's to close.
inline void HangUp(int master) {
    const linuxos::UniqueFd nothing(::open("/dev/null", O_RDWR | O_CLOEXEC));
    ::dup2(nothing.Get(), master);
}

// How long `action` took.
inline double MsToRun(const std::function<void()>& action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// A process of the test's own that runs one stage at once and each further
// one when told, each of which must work; in between it waits, holding
// whatever it opened. Killed at the latest when this goes. The stages may make
// only async-signal-safe calls: the test process has threads.
class Child {
public:
    explicit Child(const std::vector<std::function<bool()>>& stages) {
        int ends[2] = {-1, -1};
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            for (std::size_t i = 0; i < stages.size(); ++i) {
                char byte = 0;
                if (i > 0 && ::read(ends[1], &byte, 1) != 1) ::_exit(1);
                byte = stages[i]() ? '1' : '0';
                (void)!::write(ends[1], &byte, 1);
            }
            for (;;) ::pause();
        }
        ::close(ends[1]);
        line_.Reset(ends[0]);
        EXPECT_GT(pid_, 0) << "fork: " << std::strerror(errno);
        EXPECT_TRUE(Await()) << "the child's first stage";
    }
    ~Child() { Kill(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    [[nodiscard]] pid_t Pid() const { return pid_; }
    // Runs the next stage; whether it worked.
    bool Next() {
        const char go = '!';
        return ::write(line_.Get(), &go, 1) == 1 && Await();
    }
    // Ends it; once this returns, everything it held is let go.
    void Kill() {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
        Reap();
    }
    // Waits for it to end by itself; its wait status.
    int Reap() {
        int status = 0;
        while (pid_ > 0 && ::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }
    // Not ended after a short while?
    bool Running() {
        std::this_thread::sleep_for(100ms);
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == 0) return true;
        pid_ = -1;  // reaped
        return false;
    }

private:
    bool Await() {
        pollfd entry{line_.Get(), POLLIN, 0};
        char byte = '0';
        return ::poll(&entry, 1, 5000) > 0 && ::read(line_.Get(), &byte, 1) == 1 && byte == '1';
    }

    pid_t pid_ = -1;
    linuxos::UniqueFd line_;  // one byte a stage each way: "go on", and '1' when it worked
};

// The Linux platform as it is, but for the program's path, which lies in a
// folder of the run's own (runs side by side never share firmware files),
// and for a hand in what is written to the line.
class RunPlatform : public ForwardingPlatform {
public:
    RunPlatform(const std::string& device, std::filesystem::path program)
        : ForwardingPlatform(std::make_unique<linuxos::LinuxPlatform>(device)),
          program_(std::move(program)) {}

    std::uint32_t ProgramFilePath(char16_t* buffer, std::uint32_t capacity) override {
        const std::string path = program_.string();  // plain ASCII
        const auto length = static_cast<std::uint32_t>(path.size());
        if (length < capacity) {
            std::copy(path.begin(), path.end(), buffer);
            buffer[length] = u'\0';
        }
        return length;
    }
    std::uint32_t WriteSerial(PortHandle p, const std::uint8_t* b, std::uint32_t n) override {
        Bytes bytes(b, b + n);
        if (spoil && n == kDataFrameSize && b[2] == 'D') spoil(bytes, dataFrames_++);
        const auto size = static_cast<std::uint32_t>(bytes.size());
        return std::min(Inner().WriteSerial(p, bytes.data(), size), n);
    }

    // Changes each data frame before it goes out; `index` counts the data
    // frames before it. Other frames (the enter-upgrade frame, sent again
    // while the MCU is silent, and the reset frame) go out as they are.
    std::function<void(Bytes& frame, std::size_t index)> spoil;

private:
    static constexpr std::uint32_t kDataFrameSize = 69;  // "#UD", 64 bytes, sum and xor

    std::filesystem::path program_;
    std::size_t dataFrames_ = 0;
};

// Totals over the runs of this process that got to their completion request.
struct RunTotals {
    std::size_t completed = 0;
    std::size_t bytesVerified = 0;
    std::size_t corrupted = 0;
};
inline RunTotals g_totals;
// Every text the engine of the run under way reported, in order.
inline std::vector<std::u16string> g_texts;

// One upgrade run: a simulator session on a fresh pseudo-terminal, cooked,
// the image as both firmware files, and an engine that ticks every 5 ms.
class UpgradeRun {
public:
    // `device`: where the engine looks for "COM4:"; empty: the pseudo-terminal.
    UpgradeRun(const sim::Options& options, const Bytes& image, const std::string& device = {})
        : pty(Opened(mcu_)),
          platform(device.empty() ? pty.SlavePath() : device, folder.Path() / "vardel"),
          engine(platform) {
        Cook(pty.SlavePath());
        WriteFirmware(image);
        g_texts.clear();
        engine.SetMessageCallback(RecordText, 0);
        mcu_.Start(options, image);
    }
    ~UpgradeRun() { mcu_.Stop(); }
    UpgradeRun(const UpgradeRun&) = delete;
    UpgradeRun& operator=(const UpgradeRun&) = delete;

    // Ticks, as the window's timer does, until done() holds after a tick or
    // the time is up; returns whether done() held. With pressStart, start is
    // pressed once on the way, as soon as the engine is ready.
    // The limit widens by TimeScale().
    bool TickUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                   bool pressStart = false) {
        return TickWhile(done, limit * TimeScale(), pressStart);
    }
    // A span the engine is watched for stays as long as it is.
    void TickFor(std::chrono::milliseconds span) {
        TickWhile([] { return false; }, span, false);
    }
    // The step reached.
    int RunToDone(std::chrono::milliseconds limit) {
        TickUntil([this] { return engine.GetStep() == STEP_DONE; }, limit, true);
        return engine.GetStep();
    }
    bool TickWhile(const std::function<bool()>& done, std::chrono::milliseconds limit,
                   bool pressStart) {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        auto next = start;
        bool pressed = !pressStart;
        bool reached = false;
        while (!reached && Clock::now() - start < limit) {
            const auto tickStart = Clock::now();
            engine.Tick();
            longestTick = std::max(
                longestTick,
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - tickStart));
            ++ticks;
            const int step = engine.GetStep();
            if (steps.empty() || steps.back() != step) steps.push_back(step);
            if (step == STEP_READY && !pressed) pressed = engine.RequestStart() == 1;
            reached = done();
            // Like the window's timer: ticks never pile up after a long one.
            next = std::max(next + std::chrono::milliseconds(5), Clock::now());
            if (!reached) std::this_thread::sleep_until(next);
        }
        return reached;
    }
    // Presses "完成重启" (writes the reset frame) and waits for the MCU's verdict.
    sim::Verdict FinishWithReset() {
        engine.SendReset();
        sim::Verdict verdict = mcu_.AwaitEnd();
        if (verdict.completionSent && verdict.identical) {
            ++g_totals.completed;
            g_totals.bytesVerified += verdict.bytes;
        } else if (verdict.completionSent) {
            ++g_totals.corrupted;
        }
        return verdict;
    }
    // The MCU's end of the line is gone, as when a cable is pulled.
    void HangUp() {
        mcu_.Stop();
        test::HangUp(pty.Master());
    }
    // Replaces a firmware file's content (both files when name is empty).
    void WriteFirmware(const Bytes& bytes, const std::string& name = {}) {
        if (!name.empty()) return WriteFile(folder.Path() / name, bytes);
        for (const char* file : {"KD51A.BIN", "MTK51A.BIN"}) WriteFile(folder.Path() / file, bytes);
    }
    [[nodiscard]] bool Reported(std::u16string_view text) const {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }

    TempDir folder;  // the program's, with its firmware files

private:
    // Before all that works on its terminal.
    sim::SimulatedMcu mcu_;

public:
    const sim::PseudoTerminal& pty;
    RunPlatform platform;
    UpgradeEngine engine;
    const std::vector<std::u16string>& texts = g_texts;
    std::vector<int> steps;  // every step seen after a tick, without repeats
    std::size_t ticks = 0;
    // The window gets no message while a tick runs.
    std::chrono::milliseconds longestTick{0};

private:
    static int RecordText(const char16_t* text, std::uint32_t /*context*/) {
        g_texts.emplace_back(text);
        return 1;
    }
    static const sim::PseudoTerminal& Opened(sim::SimulatedMcu& mcu) {
        std::string error;
        EXPECT_TRUE(mcu.Open(error)) << error;
        return mcu.Terminal();
    }
};

}  // namespace vardel::test
