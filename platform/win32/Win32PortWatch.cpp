// Windows: the ports are the COM names that the serial drivers register under
// HARDWARE\DEVICEMAP\SERIALCOMM, together with the system's COM device names
// (QueryDosDevice), and the registry says when that key changes. A COM name
// that appears without the registry's knowing (under Wine, a link added to
// the prefix's dosdevices) is found by looking again once a second.
#include <algorithm>
#include <cwctype>
#include <set>

#include "platform/PortWatch.h"
#include "platform/SerialPorts.h"
#include "platform/win32/ComPortName.h"
#include "platform/win32/SystemHeaders.h"
#include "platform/win32/Utf8Text.h"

namespace vardel {
namespace {

constexpr const wchar_t* kSerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr auto kLookAgainEvery = std::chrono::seconds(1);
// QueryDosDevice's list of every name: far more than a machine has.
constexpr DWORD kDosNamesUnits = 256 * 1024;

// A shell pattern's match, letter case aside: "*" any run, "?" one letter.
bool Matches(std::wstring_view pattern, std::wstring_view name) {
    if (pattern.empty()) return name.empty();
    if (pattern.front() == L'*') {
        for (std::size_t skip = 0; skip <= name.size(); ++skip) {
            if (Matches(pattern.substr(1), name.substr(skip))) return true;
        }
        return false;
    }
    if (name.empty()) return false;
    const bool same =
        pattern.front() == L'?' || std::towupper(pattern.front()) == std::towupper(name.front());
    return same && Matches(pattern.substr(1), name.substr(1));
}

// Every COM name the system knows now: the drivers' and the device names'.
std::vector<std::string> ComNames() {
    std::vector<std::string> names;
    for (const auto& port : ListSerialPorts()) names.push_back(port.device);
    std::vector<wchar_t> all(kDosNamesUnits);
    if (::QueryDosDeviceW(nullptr, all.data(), kDosNamesUnits) != 0) {
        for (const wchar_t* name = all.data(); *name != L'\0'; name += std::wcslen(name) + 1) {
            const std::string text = win32::Utf8FromWide(name);
            if (win32::ComPortPath(text) && text.rfind("COM", 0) == 0) names.push_back(text);
        }
    }
    return names;
}

class Win32PortWatch final : public PortWatch {
public:
    explicit Win32PortWatch(std::vector<std::string> patterns)
        : patterns_(std::move(patterns)), changed_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_NOTIFY, &key_) !=
            ERROR_SUCCESS) {
            key_ = nullptr;
        }
        AskToBeTold();
    }
    Win32PortWatch(const Win32PortWatch&) = delete;
    Win32PortWatch& operator=(const Win32PortWatch&) = delete;
    ~Win32PortWatch() override {
        if (key_ != nullptr) ::RegCloseKey(key_);
        if (changed_ != nullptr) ::CloseHandle(changed_);
    }

    std::vector<WatchedPort> Present() override {
        std::vector<WatchedPort> ports;
        std::set<std::wstring> devices;
        for (const auto& pattern : patterns_) {
            const std::wstring wide = win32::WideFromUtf8(pattern);
            for (const auto& name : ComNames()) {
                const auto device = win32::ComPortPath(name);
                if (!device || !Matches(wide, win32::WideFromUtf8(name))) continue;
                if (!devices.insert(*device).second) continue;
                ports.push_back({name, {name}});
            }
        }
        return ports;
    }

    // Ends when the registry says SERIALCOMM changed, or once a second for
    // the names it does not list; each second's look fires once.
    bool Wait(std::chrono::milliseconds limit) override {
        const auto now = std::chrono::steady_clock::now();
        if (now - lookAgainFrom_ >= kLookAgainEvery) {
            lookAgainFrom_ = now;
            return true;
        }
        const auto toLook = std::chrono::duration_cast<std::chrono::milliseconds>(
            kLookAgainEvery - (now - lookAgainFrom_));
        const auto wait = std::min(limit, toLook);
        const bool told =
            changed_ != nullptr &&
            ::WaitForSingleObject(changed_, static_cast<DWORD>(wait.count())) == WAIT_OBJECT_0;
        if (told) AskToBeTold();
        if (!told && wait == toLook) lookAgainFrom_ = std::chrono::steady_clock::now();
        return told || wait == toLook;
    }

private:
    // The registry signals the event once; it is asked again after each time.
    void AskToBeTold() {
        if (key_ == nullptr || changed_ == nullptr) return;
        (void)::RegNotifyChangeKeyValue(
            key_, FALSE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, changed_, TRUE);
    }

    std::vector<std::string> patterns_;
    HANDLE changed_ = nullptr;
    HKEY key_ = nullptr;
    std::chrono::steady_clock::time_point lookAgainFrom_{};
};

}  // namespace

std::unique_ptr<PortWatch> WatchPorts(const std::vector<std::string>& patterns,
                                      std::string& error) {
    auto watch = std::make_unique<Win32PortWatch>(patterns);
    error.clear();
    return watch;
}

std::vector<std::string> DefaultPortPatterns() { return {"COM*"}; }

}  // namespace vardel
