#include "sim/CommandLine.h"

#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

namespace vardel::sim::cli {

const char* const kUsage = R"(usage: vardel-mcu-sim --image FILE [--link PATH] [options]

Plays the MCU for one upgrade session on a pseudo-terminal. The host opens
PATH (a symbolic link to the terminal, made at start and removed at exit) and
writes its enter-upgrade frame; the simulator then asks for every whole block
of FILE, checks each data frame, sends the completion request and waits for
the reset frame. Prints one verdict line on standard output.

  --image FILE            the firmware file the host loads (required)
  --link PATH             symbolic link to the terminal (replaces an earlier link)
  --ready                 print "ready PATH PID" once the link exists
  --image-size N          bytes of FILE the host holds (default: all, at most 65536)
  --order ORDER           inorder (default), shuffle, repeat
  --seed N                seed for every random choice (default 1)
  --status-at-start LIST  status replies after the enter-upgrade frame, e.g. KOK,ENG,KNG
  --status-mid N[:LIST]   status replies after N blocks (default list KOK)
  --noise[=N]             N requests preceded by bytes that are not '#' (default 8)
  --bad-complements[=N]   N requests with a spoilt complement byte (default 1)
  --beyond N              N requests for blocks past the image
  --completion-first      the completion request before block 0
  --early-block[=B]       a request for block B (default 1) before block 0
  --split[=N]             N requests written in two parts (default 1)...
  --split-pause MS        ...this far apart (default 1200)
  --back-to-back[=N]      N times two frames at once (default 2)
  --silent-after N        after N blocks send nothing more (until --max-seconds)
  --silent-mid N          after N blocks send half a request, then nothing more
  --line-rate             pace both directions at 38,400 baud, 10 bits a byte
  --flash-delay MS        time the MCU takes to write one block
  --handshake-timeout MS  wait for the enter-upgrade frame (default 0: until --max-seconds)
  --data-timeout MS       wait for each data frame before asking again (default 3000)
  --retries N             ask again at most N times per block (default 3)
  --refusal-wait MS       wait for an answer that must not come (default 400)
  --reset-timeout MS      wait for the reset frame (default 10000)
  --max-seconds N         end the session after N seconds at the latest (default 600)
  --quiet                 print nothing but the verdict line
  --progress              report the blocks received on standard error
  --help                  this text

Exit codes:
  0  image identical, reset frame received, no faults
  1  usage or setup error (flags, image file, pseudo-terminal, link)
  2  no enter-upgrade frame
  3  the image did not arrive whole and identical
  4  the image arrived, but no reset frame
  5  image and reset frame arrived, but faults were seen on the way
)";

namespace {

std::optional<long> Number(std::string_view text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<StatusReply>> StatusList(std::string_view text) {
    std::vector<StatusReply> replies;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const auto reply = StatusFromName(text.substr(0, comma));
        if (!reply) {
            return std::nullopt;
        }
        replies.push_back(*reply);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    }
    return replies;
}

class ArgumentReader {
public:
    ArgumentReader(int argc, char** argv) : arguments_(argv + 1, argv + argc) {}

    bool Next() {
        if (index_ >= arguments_.size()) {
            return false;
        }
        const std::string_view argument = arguments_[index_++];
        const auto equals = argument.find('=');
        flag_ = argument.substr(0, equals);
        inlineValue_.reset();
        if (equals != std::string_view::npos) {
            inlineValue_ = argument.substr(equals + 1);
        }
        return true;
    }

    std::string_view Flag() const { return flag_; }

    // The value of "--flag VALUE" or "--flag=VALUE".
    std::optional<std::string_view> Value() {
        if (inlineValue_) {
            return inlineValue_;
        }
        if (index_ < arguments_.size()) {
            return std::string_view(arguments_[index_++]);
        }
        return std::nullopt;
    }

    // The value of "--flag=N", or `otherwise` for a bare "--flag".
    std::optional<long> CountOr(long otherwise) const {
        return inlineValue_ ? Number(*inlineValue_) : std::optional<long>(otherwise);
    }

    std::optional<long> NumberValue() {
        const auto value = Value();
        return value ? Number(*value) : std::nullopt;
    }

private:
    std::vector<std::string_view> arguments_;
    std::size_t index_ = 0;
    std::string_view flag_;
    std::optional<std::string_view> inlineValue_;
};

bool SetMilliseconds(ArgumentReader& reader, Milliseconds& target) {
    const auto value = reader.NumberValue();
    if (value) {
        target = Milliseconds(*value);
    }
    return value.has_value();
}

template <typename Count>
bool SetCount(std::optional<long> value, Count& target) {
    if (value) {
        target = static_cast<Count>(*value);
    }
    return value.has_value();
}

bool ReadStatusMid(std::string_view text, Options& options) {
    const auto colon = text.find(':');
    const auto after = Number(text.substr(0, colon));
    const auto replies =
        colon == std::string_view::npos ? StatusList("KOK") : StatusList(text.substr(colon + 1));
    if (!after || !replies || replies->empty()) {
        return false;
    }
    options.statusMidAfterBlocks = static_cast<std::size_t>(*after);
    options.statusMid = *replies;
    return true;
}

bool ReadOrder(std::string_view text, Options& options) {
    if (text == "inorder") {
        options.order = BlockOrder::InOrder;
    } else if (text == "shuffle") {
        options.order = BlockOrder::Shuffled;
    } else if (text == "repeat") {
        options.order = BlockOrder::Repeated;
    } else {
        return false;
    }
    return true;
}

bool ReadSilence(ArgumentReader& reader, Silence kind, Options& options) {
    options.silence = kind;
    return SetCount(reader.NumberValue(), options.silenceAfterBlocks);
}

bool SetText(std::optional<std::string_view> value, std::string& target) {
    if (value) {
        target = std::string(*value);
    }
    return value.has_value();
}

bool SetTrue(bool& target) {
    target = true;
    return true;
}

bool ReadEarlyBlock(std::optional<long> block, Options& options) {
    if (!block || *block == 0 || *block >= kCompletionBlock) {
        return false;
    }
    options.blockBeforeBlockZero = static_cast<std::uint16_t>(*block);
    return true;
}

struct Flag {
    std::string_view name;
    // False when the value cannot be used.
    bool (*read)(ArgumentReader& reader, Settings& settings);
};

using Reader = ArgumentReader;
using Set = Settings;

const Flag kFlags[] = {
    {"--image", [](Reader& r, Set& s) { return SetText(r.Value(), s.imagePath); }},
    {"--link", [](Reader& r, Set& s) { return SetText(r.Value(), s.linkPath); }},
    {"--ready", [](Reader&, Set& s) { return SetTrue(s.ready); }},
    {"--quiet", [](Reader&, Set& s) { return SetTrue(s.quiet); }},
    {"--progress", [](Reader&, Set& s) { return SetTrue(s.progress); }},
    {"--max-seconds", [](Reader& r, Set& s) { return SetCount(r.NumberValue(), s.maxSeconds); }},
    {"--image-size",
     [](Reader& r, Set& s) { return SetCount(r.NumberValue(), s.options.imageSize); }},
    {"--order",
     [](Reader& r, Set& s) {
         const auto value = r.Value();
         return value && ReadOrder(*value, s.options);
     }},
    {"--seed", [](Reader& r, Set& s) { return SetCount(r.NumberValue(), s.options.seed); }},
    {"--status-at-start",
     [](Reader& r, Set& s) {
         const auto value = r.Value();
         const auto replies = value ? StatusList(*value) : std::nullopt;
         if (replies) {
             s.options.statusAtStart = *replies;
         }
         return replies.has_value();
     }},
    {"--status-mid",
     [](Reader& r, Set& s) {
         const auto value = r.Value();
         return value && ReadStatusMid(*value, s.options);
     }},
    {"--noise", [](Reader& r, Set& s) { return SetCount(r.CountOr(8), s.options.noiseBursts); }},
    {"--bad-complements",
     [](Reader& r, Set& s) { return SetCount(r.CountOr(1), s.options.badComplements); }},
    {"--beyond",
     [](Reader& r, Set& s) { return SetCount(r.NumberValue(), s.options.beyondImage); }},
    {"--completion-first",
     [](Reader&, Set& s) { return SetTrue(s.options.completionAtHandshake); }},
    {"--early-block", [](Reader& r, Set& s) { return ReadEarlyBlock(r.CountOr(1), s.options); }},
    {"--split", [](Reader& r, Set& s) { return SetCount(r.CountOr(1), s.options.splitRequests); }},
    {"--split-pause", [](Reader& r, Set& s) { return SetMilliseconds(r, s.options.splitPause); }},
    {"--back-to-back",
     [](Reader& r, Set& s) { return SetCount(r.CountOr(2), s.options.backToBack); }},
    {"--silent-after",
     [](Reader& r, Set& s) { return ReadSilence(r, Silence::AfterBlocks, s.options); }},
    {"--silent-mid",
     [](Reader& r, Set& s) { return ReadSilence(r, Silence::MidFrame, s.options); }},
    {"--line-rate", [](Reader&, Set& s) { return SetTrue(s.options.lineRate); }},
    {"--flash-delay", [](Reader& r, Set& s) { return SetMilliseconds(r, s.options.flashDelay); }},
    {"--handshake-timeout",
     [](Reader& r, Set& s) { return SetMilliseconds(r, s.options.handshakeTimeout); }},
    {"--data-timeout", [](Reader& r, Set& s) { return SetMilliseconds(r, s.options.dataTimeout); }},
    {"--retries", [](Reader& r, Set& s) { return SetCount(r.NumberValue(), s.options.retries); }},
    {"--refusal-wait", [](Reader& r, Set& s) { return SetMilliseconds(r, s.options.refusalWait); }},
    {"--reset-timeout",
     [](Reader& r, Set& s) { return SetMilliseconds(r, s.options.resetTimeout); }},
};

// False on a flag it does not know or a value it cannot use.
bool ReadFlag(ArgumentReader& reader, Settings& settings) {
    for (const Flag& flag : kFlags) {
        if (flag.name == reader.Flag()) {
            return flag.read(reader, settings);
        }
    }
    return false;
}

}  // namespace

Parse ReadCommandLine(int argc, char** argv, Settings& settings, std::string& complaint) {
    // Only the time limit bounds the wait for the host, unless asked otherwise.
    settings.options.handshakeTimeout = Milliseconds(0);
    ArgumentReader reader(argc, argv);
    while (reader.Next()) {
        if (reader.Flag() == "--help" || reader.Flag() == "-h") {
            return Parse::Help;
        }
        if (!ReadFlag(reader, settings)) {
            complaint = "cannot use " + std::string(reader.Flag());
            return Parse::Error;
        }
    }
    if (settings.imagePath.empty()) {
        complaint = "--image FILE is required";
        return Parse::Error;
    }
    if (settings.maxSeconds <= 0) {
        complaint = "--max-seconds must be above 0";
        return Parse::Error;
    }
    return Parse::Run;
}

}  // namespace vardel::sim::cli
