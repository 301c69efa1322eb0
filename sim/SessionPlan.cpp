#include "sim/SessionPlan.h"

#include <algorithm>
#include <numeric>
#include <set>
#include <utility>

namespace vardel::sim {

namespace {

std::size_t Between(Random& random, std::size_t low, std::size_t high) {
    return std::uniform_int_distribution<std::size_t>(low, high)(random);
}

// Up to `count` distinct numbers from [low, high], none of them in `taken`.
std::set<std::size_t> PickDistinct(Random& random, std::size_t count, std::size_t low,
                                   std::size_t high, const std::set<std::size_t>& taken = {}) {
    if (count == 0 || low > high) {
        return {};
    }
    std::vector<std::size_t> all;
    for (std::size_t number = low; number <= high; ++number) {
        if (!taken.contains(number)) {
            all.push_back(number);
        }
    }
    std::shuffle(all.begin(), all.end(), random);
    all.resize(std::min(count, all.size()));
    return {all.begin(), all.end()};
}

// A few bytes the host must drop one by one: none of them may start a frame.
Bytes Noise(Random& random) {
    Bytes noise(Between(random, 1, 4));
    for (auto& byte : noise) {
        do {
            byte = static_cast<std::uint8_t>(Between(random, 0, 0xFF));
        } while (byte == kFrameMark);
    }
    return noise;
}

StatusReply AnyStatus(Random& random) {
    constexpr StatusReply kAll[] = {StatusReply::EraseOk, StatusReply::EraseFailed,
                                    StatusReply::ChipEncrypted};
    return kAll[Between(random, 0, 2)];
}

void AddRepeats(std::vector<std::uint16_t>& order, Random& random) {
    if (order.empty()) {
        return;
    }
    const std::size_t count = std::max<std::size_t>(1, order.size() / 16);
    for (const std::size_t block : PickDistinct(random, count, 0, order.size() - 1)) {
        const auto first = std::find(order.begin(), order.end(), block) - order.begin();
        const std::size_t again =
            Between(random, static_cast<std::size_t>(first) + 1, order.size());
        order.insert(order.begin() + static_cast<std::ptrdiff_t>(again),
                     static_cast<std::uint16_t>(block));
    }
}

class PlanBuilder {
public:
    PlanBuilder(const Options& options, std::size_t blocks)
        : options_(options), blocks_(blocks), random_(options.seed) {}

    std::vector<Step> Build() {
        order_ = MakeBlockOrder(options_.order, blocks_, random_);
        asks_ = options_.silence == Silence::None
                    ? order_.size()
                    : std::min(order_.size(), options_.silenceAfterBlocks);
        PlaceExtras();
        AddHandshakeSteps();
        for (std::size_t slot = 0; slot <= asks_; ++slot) {
            for (auto& step : extras_[slot]) {
                plan_.push_back(std::move(step));
            }
            if (slot < asks_ && !taken_.contains(slot)) {
                AddAsk(slot);
            }
        }
        AddEnding();
        return std::move(plan_);
    }

private:
    // Slot n stands for "before the n-th request"; slot asks_ is the ending.
    void PlaceExtras() {
        extras_.resize(asks_ + 1);
        noiseSlots_ = PickDistinct(random_, options_.noiseBursts, 0, asks_);
        splitSlots_ = PickDistinct(random_, options_.splitRequests, 0, asks_);
        if (asks_ >= 2) {
            // A request written in two parts goes alone.
            pairSlots_ = PickDistinct(random_, options_.backToBack, 1, asks_ - 1, splitSlots_);
        }
        if (!options_.statusMid.empty()) {
            extras_[std::min(options_.statusMidAfterBlocks, asks_)].push_back(
                StatusStep(options_.statusMid));
        }
        if (asks_ == 0) {
            return;  // the host never gets past the handshake to refuse anything
        }
        for (std::size_t n = 0; n < options_.beyondImage; ++n) {
            extras_[Between(random_, 1, asks_)].push_back(BeyondImage(n));
        }
        for (std::size_t n = 0; n < options_.badComplements; ++n) {
            extras_[Between(random_, 1, asks_)].push_back(BadComplement());
        }
    }

    void AddHandshakeSteps() {
        if (!options_.statusAtStart.empty()) {
            plan_.push_back(StatusStep(options_.statusAtStart));
        }
        if (options_.completionAtHandshake) {
            plan_.push_back(Refusal(CompletionRequest(), "completion before block 0"));
        }
        if (options_.blockBeforeBlockZero) {
            std::uint16_t block = *options_.blockBeforeBlockZero;
            if (block == 0 || block == kCompletionBlock) {
                block = 1;
            }
            plan_.push_back(Refusal(BlockRequest(block), "a block before block 0"));
        }
    }

    void AddAsk(std::size_t slot) {
        Step step;
        step.kind = StepKind::Ask;
        AddNoiseIfChosen(step, slot);
        const std::uint16_t block = order_[slot];
        if (pairSlots_.contains(slot)) {
            const bool twoRequests = pairsMade_++ % 2 == 0 && NextAskIsPlain(slot);
            if (twoRequests) {
                const std::uint16_t next = order_[slot + 1];
                taken_.insert(slot + 1);
                step.chunks.push_back({BlockRequest(block), Milliseconds{0}, block});
                step.chunks.push_back({BlockRequest(next), Milliseconds{0}, next});
                step.blocks = {block, next};
            } else {
                step.chunks.push_back({StatusReplyFrame(AnyStatus(random_)), Milliseconds{0}, {}});
                step.chunks.push_back({BlockRequest(block), Milliseconds{0}, block});
                step.blocks = {block};
            }
        } else {
            AddMaybeSplit(step, slot, BlockRequest(block), block);
            step.blocks = {block};
        }
        plan_.push_back(std::move(step));
    }

    void AddEnding() {
        Step step;
        switch (options_.silence) {
        case Silence::None:
            step.kind = StepKind::Complete;
            AddNoiseIfChosen(step, asks_);
            AddMaybeSplit(step, asks_, CompletionRequest(), std::nullopt);
            break;
        case Silence::AfterBlocks:
            step.kind = StepKind::FallSilent;
            break;
        case Silence::MidFrame: {
            step.kind = StepKind::FallSilent;
            Bytes next = asks_ < order_.size() ? BlockRequest(order_[asks_]) : CompletionRequest();
            next.resize(next.size() / 2);
            step.chunks.push_back({std::move(next), Milliseconds{0}, {}});
            break;
        }
        }
        plan_.push_back(std::move(step));
    }

    // The ask after `slot` may go along with it only if nothing else was
    // planned for it.
    bool NextAskIsPlain(std::size_t slot) const {
        const std::size_t next = slot + 1;
        return next < asks_ && !pairSlots_.contains(next) && !splitSlots_.contains(next) &&
               !noiseSlots_.contains(next) && extras_[next].empty();
    }

    void AddNoiseIfChosen(Step& step, std::size_t slot) {
        if (noiseSlots_.contains(slot)) {
            step.chunks.push_back({Noise(random_), Milliseconds{0}, {}});
        }
    }

    void AddMaybeSplit(Step& step, std::size_t slot, Bytes request,
                       std::optional<std::uint16_t> block) {
        if (!splitSlots_.contains(slot)) {
            step.chunks.push_back({std::move(request), Milliseconds{0}, block});
            return;
        }
        const auto cut = static_cast<std::ptrdiff_t>(Between(random_, 1, request.size() - 1));
        step.chunks.push_back({Bytes(request.begin(), request.begin() + cut), Milliseconds{0}, {}});
        step.chunks.push_back(
            {Bytes(request.begin() + cut, request.end()), options_.splitPause, block});
    }

    static Step StatusStep(const std::vector<StatusReply>& replies) {
        Step step;
        for (const StatusReply reply : replies) {
            step.chunks.push_back({StatusReplyFrame(reply), Milliseconds{0}, {}});
        }
        return step;
    }

    static Step Refusal(Bytes request, std::string_view why) {
        Step step;
        step.kind = StepKind::Refusal;
        step.chunks.push_back({std::move(request), Milliseconds{0}, {}});
        step.why = why;
        return step;
    }

    // The first one asks for the block right after the last whole one: with
    // an image that ends in a part block, that is the part block itself.
    Step BeyondImage(std::size_t nth) {
        const std::size_t first = std::min<std::size_t>(blocks_, kHighestBlockNumber);
        const std::size_t block = nth == 0 ? first : Between(random_, first, kHighestBlockNumber);
        return Refusal(BlockRequest(static_cast<std::uint16_t>(block)), "a block beyond the image");
    }

    Step BadComplement() {
        const std::size_t block = blocks_ == 0 ? 0 : Between(random_, 0, blocks_ - 1);
        const bool spoilHigh = Between(random_, 0, 1) == 1;
        const auto spoiler = static_cast<std::uint8_t>(Between(random_, 1, 0xFF));
        return Refusal(BadComplementRequest(static_cast<std::uint16_t>(block), spoilHigh, spoiler),
                       "a request with a bad complement");
    }

    const Options& options_;
    std::size_t blocks_;
    Random random_;
    std::vector<std::uint16_t> order_;
    std::size_t asks_ = 0;
    std::vector<std::vector<Step>> extras_;
    std::set<std::size_t> noiseSlots_;
    std::set<std::size_t> splitSlots_;
    std::set<std::size_t> pairSlots_;
    std::set<std::size_t> taken_;  // asks already sent as the second of a pair
    std::size_t pairsMade_ = 0;
    std::vector<Step> plan_;
};

}  // namespace

std::vector<std::uint16_t> MakeBlockOrder(BlockOrder order, std::size_t blocks, Random& random) {
    std::vector<std::uint16_t> result(blocks);
    std::iota(result.begin(), result.end(), std::uint16_t{0});
    switch (order) {
    case BlockOrder::InOrder:
        break;
    case BlockOrder::Shuffled:
        if (blocks > 1) {
            std::shuffle(result.begin() + 1, result.end(), random);
        }
        break;
    case BlockOrder::Repeated:
        AddRepeats(result, random);
        break;
    }
    return result;
}

std::vector<Step> MakePlan(const Options& options, std::size_t blocks) {
    return PlanBuilder(options, blocks).Build();
}

}  // namespace vardel::sim
