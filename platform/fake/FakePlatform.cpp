#include "platform/fake/FakePlatform.h"

#include <algorithm>

namespace vardel {

void FakePlatform::Arrive(std::uint32_t atMs, const std::vector<std::uint8_t>& bytes) {
    for (std::uint8_t b : bytes) {
        input_.push_back({atMs, b});
    }
}

// Arrival times are compared as a signed distance so that a schedule laid
// across the 2^32 wrap of the clock still arrives in order.
bool FakePlatform::Arrived(const TimedByte& b) const {
    return static_cast<std::int32_t>(now - b.atMs) >= 0;
}

PortHandle FakePlatform::OpenSerial() {
    ++openCalls;
    if (!portExists || openPort != 0) {
        return kInvalidHandle;
    }
    openPort = nextPort_++;
    return openPort;
}

bool FakePlatform::ConfigureSerial(PortHandle /*port*/) {
    ++configureCalls;
    return !refuseSettings;
}

void FakePlatform::PurgeSerial(PortHandle /*port*/) {
    ++purgeCalls;
    // Only what has already reached the queue is thrown away.
    while (!input_.empty() && Arrived(input_.front())) {
        input_.pop_front();
    }
}

std::uint32_t FakePlatform::WriteSerial(PortHandle port, const std::uint8_t* bytes,
                                        std::uint32_t length) {
    writeRequests.emplace_back(bytes, bytes + length);
    if (port == 0 || port != openPort) {
        return 0;
    }
    const std::uint32_t taken = std::min(length, writeLimit);
    if (length > 0) {
        writes.emplace_back(bytes, bytes + taken);
    }
    return taken;
}

bool FakePlatform::ReadSerialByte(PortHandle port, std::uint8_t& byte) {
    ++readCalls;
    if (port == 0 || port != openPort || input_.empty() || !Arrived(input_.front())) {
        return false;
    }
    byte = input_.front().byte;
    input_.pop_front();
    return true;
}

void FakePlatform::WaitSerialReadable(PortHandle /*port*/, std::uint32_t timeoutMs) {
    ++waitCalls;
    if (waitReturnsAtOnce || (!input_.empty() && Arrived(input_.front()))) {
        return;
    }
    std::uint32_t step = timeoutMs;
    if (!input_.empty()) {
        step = std::min(step, input_.front().atMs - now);
    }
    now += step;
}

void FakePlatform::CloseSerial(PortHandle port) {
    ++closeCalls;
    if (port == openPort) {
        openPort = 0;
    }
}

std::uint32_t FakePlatform::TickCount() {
    ++tickCountCalls;
    const std::uint32_t t = now;
    now += msPerTickCount;
    return t;
}

std::uint32_t FakePlatform::TotalPhysicalMemory() { return totalPhysical; }

std::uint8_t* FakePlatform::Allocate(std::size_t size) {
    if (refuseAllocation) {
        return nullptr;
    }
    ++allocations;
    return new std::uint8_t[size];
}

void FakePlatform::Free(std::uint8_t* block) {
    ++frees;
    delete[] block;
}

std::uint32_t FakePlatform::ProgramFilePath(char16_t* buffer, std::uint32_t capacity) {
    if (programPathFails) {
        return 0;
    }
    const auto length = static_cast<std::uint32_t>(programPath.size());
    if (length < capacity) {
        std::copy(programPath.begin(), programPath.end(), buffer);
        buffer[length] = u'\0';
    }
    return length;
}

FileHandle FakePlatform::OpenFileForReading(const char16_t* path) {
    openedPaths.emplace_back(path);
    const auto it = files.find(path);
    if (it == files.end() || it->second.lockedByOther) {
        return kInvalidHandle;
    }
    const FileHandle handle = nextFile_++;
    open_[handle] = &it->second;
    ++openFiles;
    return handle;
}

std::uint32_t FakePlatform::ReadFile(FileHandle file, std::uint8_t* buffer, std::uint32_t length,
                                     std::uint32_t& error) {
    error = 0;
    const auto it = open_.find(file);
    if (it == open_.end()) {
        error = 9;  // a bad handle
        return 0;
    }
    if (it->second->readError != 0) {
        error = it->second->readError;
        return 0;
    }
    const auto& bytes = it->second->bytes;
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(length, bytes.size()));
    // An empty file has no data pointer, so no memcpy here.
    std::copy_n(bytes.begin(), count, buffer);
    return count;
}

void FakePlatform::CloseFile(FileHandle file) {
    if (open_.erase(file) > 0) {
        --openFiles;
    }
}

void FakePlatform::DebugPrint(const char16_t* line) { debugLines.emplace_back(line); }

ProgramHandle FakePlatform::FindProgram(const char16_t* name) {
    for (const Program& p : programs) {
        if (p.name == name) {
            return p.handle;
        }
    }
    return 0;
}

void FakePlatform::AskProgramToQuit(ProgramHandle program) { quitRequests.push_back(program); }

}  // namespace vardel
