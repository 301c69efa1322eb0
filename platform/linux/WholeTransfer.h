// Reads and writes of a whole buffer on a descriptor that may take or give
// only part of it at a time.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace vardel::linuxos {

// Calls step(done), a read or write of the bytes after the first `done`,
// until `length` bytes have gone through; after a call that moved nothing,
// goes on only while goOn(itsResult) says so. Returns how many bytes went.
template <typename Step, typename GoOn>
std::uint32_t TransferWhole(std::uint32_t length, Step step, GoOn goOn) {
    std::uint32_t done = 0;
    while (done < length) {
        const ssize_t moved = step(done);
        if (moved > 0) {
            done += static_cast<std::uint32_t>(moved);
        } else if (!goOn(moved)) {
            break;
        }
    }
    return done;
}

}  // namespace vardel::linuxos
