// The numbered entries of a /proc directory: /proc itself lists processes by
// pid, /proc/PID/fd lists a process's descriptors. Walked with a buffer of
// the caller's, so that a walk allocates nothing.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <span>

namespace vardel::linuxos {

// The number an entry stands for; -1 for entries that are not numbers.
inline long EntryNumber(const char* name) {
    long number = -1;
    const char* end = name + std::strlen(name);
    const auto [stop, error] = std::from_chars(name, end, number);
    return (error == std::errc() && stop == end && number >= 0) ? number : -1;
}

// Walks the directory open at dirFd from its start and returns the first
// number for which found(number) holds; -1 when none does.
template <typename Found>
long FindEntry(int dirFd, std::span<char> buffer, Found found) {
    if (::lseek(dirFd, 0, SEEK_SET) != 0) {
        return -1;
    }
    for (;;) {
        const ssize_t got = ::getdents64(dirFd, buffer.data(), buffer.size());
        if (got <= 0) {
            return -1;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
            at += entry->d_reclen;
            const long number = EntryNumber(entry->d_name);
            if (number >= 0 && found(number)) {
                return number;
            }
        }
    }
}

}  // namespace vardel::linuxos
