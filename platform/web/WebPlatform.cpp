#include "platform/web/WebPlatform.h"

#include <cmath>
#include <new>

#include <emscripten/emscripten.h>

#include "platform/web/PageBridge.h"

namespace vardel::web {
namespace {

// The page has one port; its handle is never 0.
constexpr PortHandle kPagePort = 1;

}  // namespace

void WebPlatform::PortOpened() {
    portOpen_ = true;
    portLost_ = false;
}

void WebPlatform::PortLost() { portLost_ = true; }

void WebPlatform::Received(const std::uint8_t* bytes, std::uint32_t length) {
    received_.insert(received_.end(), bytes, bytes + length);
}

void WebPlatform::ServeFirmware(std::vector<std::uint8_t> bytes) {
    firmware_ = std::move(bytes);
    file_.Serve(firmware_);
}

// The port is the one the user chose; until then, every open fails and the
// engine says so and tries again on its next tick.
PortHandle WebPlatform::OpenSerial() { return portOpen_ ? kPagePort : kInvalidHandle; }

// The page opened the port with the line's settings already.
bool WebPlatform::ConfigureSerial(PortHandle port) { return port == kPagePort; }

void WebPlatform::PurgeSerial(PortHandle /*port*/) { received_.clear(); }

std::uint32_t WebPlatform::WriteSerial(PortHandle port, const std::uint8_t* bytes,
                                       std::uint32_t length) {
    if (port != kPagePort || portLost_ || length == 0) {
        return 0;
    }
    return vardel_page_write(bytes, length) ? length : 0;
}

bool WebPlatform::ReadSerialByte(PortHandle /*port*/, std::uint8_t& byte) {
    if (received_.empty()) {
        return false;
    }
    byte = received_.front();
    received_.pop_front();
    return true;
}

// Bytes reach the page only between its events, never while the engine runs:
// waiting here could not bring one. The wait counts as passed on the clock, so
// the tick ends at once and the frame that has begun goes on from its place
// on the tick that the next bytes bring.
void WebPlatform::WaitSerialReadable(PortHandle /*port*/, std::uint32_t timeoutMs) {
    skippedMs_ += timeoutMs;
}

void WebPlatform::CloseSerial(PortHandle /*port*/) { portOpen_ = false; }

LineFault WebPlatform::SerialFault(PortHandle /*port*/) const {
    return portLost_ ? LineFault::Gone : LineFault::None;
}

std::uint32_t WebPlatform::TickCount() {
    const double now = vardel_page_now() + skippedMs_;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::floor(now)));
}

// The page knows nothing of the unit's memory; the file is served under either
// name, so the variant only names it in the loader's texts.
std::uint32_t WebPlatform::TotalPhysicalMemory() { return 0; }

std::uint8_t* WebPlatform::Allocate(std::size_t size) {
    return new (std::nothrow) std::uint8_t[size];
}

void WebPlatform::Free(std::uint8_t* block) { delete[] block; }

std::uint32_t WebPlatform::ProgramFilePath(char16_t* buffer, std::uint32_t capacity) {
    return ServedFile::ProgramPath(FolderSeparator(), buffer, capacity);
}

// Whatever name the loader asks for, the file the user picked; none until then.
FileHandle WebPlatform::OpenFileForReading(const char16_t* /*path*/) { return file_.Open(); }

std::uint32_t WebPlatform::ReadFile(FileHandle file, std::uint8_t* buffer, std::uint32_t length,
                                    std::uint32_t& error) {
    return file_.Read(file, buffer, length, error);
}

void WebPlatform::CloseFile(FileHandle /*file*/) { file_.Close(); }

void WebPlatform::DebugPrint(const char16_t* line) { vardel_page_debug(line); }

// No other program runs beside the page.
ProgramHandle WebPlatform::FindProgram(const char16_t* /*name*/) { return 0; }

void WebPlatform::AskProgramToQuit(ProgramHandle /*program*/) {}

}  // namespace vardel::web

namespace vardel::web {

WebPlatform& PagePlatform() {
    static WebPlatform platform;
    return platform;
}

}  // namespace vardel::web

// The serial port's events, delivered by the page's script. A chunk of bytes
// is copied into the buffer first, then announced with its length.
extern "C" {

EMSCRIPTEN_KEEPALIVE std::uint8_t* vardel_port_buffer(std::uint32_t size) {
    static std::vector<std::uint8_t> buffer;
    buffer.resize(size);
    return buffer.data();
}

EMSCRIPTEN_KEEPALIVE void vardel_port_received(const std::uint8_t* bytes, std::uint32_t length) {
    vardel::web::PagePlatform().Received(bytes, length);
}

EMSCRIPTEN_KEEPALIVE void vardel_port_opened() { vardel::web::PagePlatform().PortOpened(); }

EMSCRIPTEN_KEEPALIVE void vardel_port_lost() { vardel::web::PagePlatform().PortLost(); }
}
