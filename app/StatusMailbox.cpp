#include "app/StatusMailbox.h"

#include "app/FixedBufferText.h"

namespace vardel {

StatusMailbox statusMailbox;

// The value always goes in before its flag goes up.
int OnEngineMessage(const char16_t* text, std::uint32_t /*context*/) {
    CopyBounded(statusMailbox.messageText, text, kMailboxTextLimit);
    statusMailbox.messageChanged = 1;
    return 1;
}

int OnEngineProgress(int percent) {
    statusMailbox.percent = percent;
    statusMailbox.percentChanged = 1;
    return 1;
}

}  // namespace vardel
