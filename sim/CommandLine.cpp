#include "sim/CommandLine.h"

#include <CLI/CLI.hpp>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

namespace vardel::sim {
namespace {

constexpr const char* kDescription =
    R"(Plays the MCU for one upgrade session on a pseudo-terminal. The host opens
PATH (a symbolic link to the terminal, made at start and removed at exit) and
writes its enter-upgrade frame; the simulator then asks for every whole block
of FILE, checks each data frame, sends the completion request and waits for
the reset frame. Prints one verdict line on standard output.)";

constexpr const char* kExitCodes = R"(Exit codes:
  0  image identical, reset frame received, no faults
  1  usage or setup error (flags, image file, pseudo-terminal, link)
  2  no enter-upgrade frame
  3  the image did not arrive whole and identical
  4  the image arrived, but no reset frame
  5  image and reset frame arrived, but faults were seen on the way)";

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

std::vector<StatusReply> RequireStatusList(std::string_view text) {
    auto replies = StatusList(text);
    if (!replies) {
        throw CLI::ValidationError("not a list of KOK, ENG, KNG, EPT: " + std::string(text));
    }
    return *replies;
}

// "N" or "N:LIST"; the list is KOK when not given.
void ReadStatusMid(const std::string& text, Options& options) {
    const auto colon = text.find(':');
    std::size_t after = 0;
    if (!CLI::detail::lexical_cast(text.substr(0, colon), after) || text.front() == '-') {
        throw CLI::ValidationError("--status-mid", "not a block count: " + text);
    }
    auto replies = RequireStatusList(colon == std::string::npos ? "KOK" : text.substr(colon + 1));
    if (replies.empty()) {
        throw CLI::ValidationError("--status-mid", "no status reply after ':'");
    }
    options.statusMidAfterBlocks = after;
    options.statusMid = std::move(replies);
}

// A time in milliseconds, never below 0.
void AddMilliseconds(CLI::App& app, const std::string& name, Milliseconds& target,
                     const std::string& help) {
    app.add_option_function<long>(
           name, [&target](long value) { target = Milliseconds(value); }, help)
        ->check(CLI::NonNegativeNumber);
}

template <typename Count>
void AddCount(CLI::App& app, const std::string& name, Count& target, const std::string& help) {
    app.add_option(name, target, help)->check(CLI::NonNegativeNumber);
}

// "--flag" alone counts `otherwise`; "--flag=N" counts N.
template <typename Count>
void AddOptionalCount(CLI::App& app, const std::string& name, long otherwise, Count& target,
                      const std::string& help) {
    app.add_flag(name + "{" + std::to_string(otherwise) + "}", target, help)
        ->check(CLI::NonNegativeNumber);
}

void AddSilence(CLI::App& app, const std::string& name, Silence kind, Options& options,
                const std::string& help) {
    app.add_option_function<std::size_t>(
           name,
           [kind, &options](std::size_t blocks) {
               options.silence = kind;
               options.silenceAfterBlocks = blocks;
           },
           help)
        ->check(CLI::NonNegativeNumber);
}

void AddSessionFlags(CLI::App& app, Options& o) {
    AddCount(app, "--image-size", o.imageSize,
             "bytes of FILE the host holds (default: all, at most 65536)");
    const std::map<std::string, BlockOrder> orders = {
        {"inorder", BlockOrder::InOrder},
        {"shuffle", BlockOrder::Shuffled},
        {"repeat", BlockOrder::Repeated},
    };
    app.add_option("--order", o.order, "inorder (default), shuffle, repeat")
        ->transform(CLI::CheckedTransformer(orders).description(""))
        ->type_name("ORDER");
    AddCount(app, "--seed", o.seed, "seed for every random choice (default 1)");
    app.add_option_function<std::string>(
           "--status-at-start",
           [&o](const std::string& list) { o.statusAtStart = RequireStatusList(list); },
           "status replies after the enter-upgrade frame, e.g. KOK,ENG,KNG")
        ->type_name("LIST");
    app.add_option_function<std::string>(
           "--status-mid", [&o](const std::string& text) { ReadStatusMid(text, o); },
           "status replies after N blocks (default list KOK)")
        ->type_name("N[:LIST]");
    AddOptionalCount(app, "--noise", 8, o.noiseBursts,
                     "N requests preceded by bytes that are not '#' (default 8)");
    AddOptionalCount(app, "--bad-complements", 1, o.badComplements,
                     "N requests with a spoilt complement byte (default 1)");
    AddCount(app, "--beyond", o.beyondImage, "N requests for blocks past the image");
    app.add_flag("--completion-first", o.completionAtHandshake,
                 "the completion request before block 0");
    app.add_flag_callback(
        "--early-block{1}", [] {}, "a request for block B (default 1) before block 0");
    AddOptionalCount(app, "--split", 1, o.splitRequests,
                     "N requests written in two parts (default 1)...");
    AddMilliseconds(app, "--split-pause", o.splitPause, "...this far apart in MS (default 1200)");
    AddOptionalCount(app, "--back-to-back", 2, o.backToBack,
                     "N times two frames at once (default 2)");
    AddSilence(app, "--silent-after", Silence::AfterBlocks, o,
               "after N blocks send nothing more (until --max-seconds)");
    AddSilence(app, "--silent-mid", Silence::MidFrame, o,
               "after N blocks send half a request, then nothing more");
    app.add_option("--drop-after", o.dropAfterBlocks,
                   "after N blocks drop the line (the host's port goes away)...")
        ->check(CLI::NonNegativeNumber);
    app.add_option_function<long>(
           "--back-after", [&o](long ms) { o.backAfter = Milliseconds(ms); },
           "...and bring it back after MS as a new terminal behind the same link (default: never)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--stop-reading-after", o.stopReadingAfterBlocks,
                   "after N blocks read nothing more, but go on asking")
        ->check(CLI::NonNegativeNumber);
    AddMilliseconds(app, "--adapter-latency", o.adapterLatency,
                    "MS a USB adapter holds the MCU's bytes, short of 62 (default 0)");
    app.add_flag("--line-rate", o.lineRate, "pace both directions at 38,400 baud, 10 bits a byte");
    AddMilliseconds(app, "--flash-delay", o.flashDelay, "MS the MCU takes to write one block");
    AddMilliseconds(app, "--handshake-timeout", o.handshakeTimeout,
                    "MS to wait for the enter-upgrade frame (default 0: until --max-seconds)");
    AddMilliseconds(app, "--data-timeout", o.dataTimeout,
                    "MS to wait for each data frame before asking again (default 3000)");
    AddCount(app, "--retries", o.retries, "ask again at most N times per block (default 3)");
    AddMilliseconds(app, "--refusal-wait", o.refusalWait,
                    "MS to wait for an answer that must not come (default 400)");
    AddMilliseconds(app, "--reset-timeout", o.resetTimeout,
                    "MS to wait for the reset frame (default 10000)");
}

}  // namespace

Parse ReadCommandLine(int argc, char** argv, Settings& settings, std::string& text) {
    // Only the time limit bounds the wait for the host, unless asked otherwise.
    settings.options.handshakeTimeout = Milliseconds(0);
    CLI::App app(kDescription, "vardel-mcu-sim");
    app.footer(kExitCodes);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--image", settings.imagePath, "the firmware file the host loads (required)")
        ->type_name("FILE");
    app.add_option("--write-demo-image", settings.demoImagePaths,
                   "write the demo image (448 pseudo-random blocks) to each FILE and end")
        ->type_name("FILE")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->excludes("--image");
    app.add_option("--link", settings.linkPath,
                   "symbolic link to the terminal (replaces an earlier link)")
        ->type_name("PATH");
    app.add_flag("--ready", settings.ready, "print \"ready PATH PID\" once the link exists");
    app.add_option("--max-seconds", settings.maxSeconds,
                   "end the session after N seconds at the latest (default 600)")
        ->check(CLI::PositiveNumber);
    app.add_option("--units", settings.units,
                   "play N units one after another on the same line, a verdict each (default 1)")
        ->check(CLI::PositiveNumber);
    app.add_option("--linger", settings.lingerMs,
                   "keep the line MS after the last unit; an upgrade begun then is a fault")
        ->type_name("MS")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--quiet", settings.quiet, "print nothing but the verdict line");
    app.add_flag("--progress", settings.progress, "report the blocks received on standard error");
    AddSessionFlags(app, settings.options);
    long earlyBlock = 0;
    CLI::Option* early = app.get_option("--early-block");
    early->check(CLI::Range(1L, static_cast<long>(kCompletionBlock) - 1));
    try {
        app.parse(argc, argv);
        if (early->count() > 0) {
            early->results(earlyBlock);
            settings.options.blockBeforeBlockZero = static_cast<std::uint16_t>(earlyBlock);
        }
    } catch (const CLI::CallForHelp&) {
        text = app.help();
        return Parse::Help;
    } catch (const CLI::ParseError& error) {
        text = error.what();
        return Parse::Error;
    }
    if (settings.imagePath.empty() && settings.demoImagePaths.empty()) {
        text = "--image FILE is required";
        return Parse::Error;
    }
    return Parse::Run;
}

}  // namespace vardel::sim
