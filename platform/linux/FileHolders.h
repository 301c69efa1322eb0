// Other processes that have a given file or device open, found through
// /proc/PID/fd. A program that opens a serial device without taking a lock,
// or a copy still being written into a firmware file, is seen only here.
//
// What it cannot see: processes of other users unless this one runs as root
// (their /proc/PID/fd cannot be read), processes in another PID namespace, and
// a device node outside /dev under a name other than the one opened here.
// This process's own descriptors never count.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>

#include "platform/linux/UniqueFd.h"

namespace vardel::linuxos {

struct Holder {
    pid_t pid = 0;
    int fd = -1;
    std::string link;  // where the descriptor pointed, as /proc showed it
};

class FileHolders {
public:
    enum class Access {
        Any,      // every descriptor counts
        Writing,  // only descriptors open for writing
    };

    // The first descriptor of another process that refers to what `ours` (a
    // descriptor of this process) refers to, with that access; costs a look
    // at every descriptor of every process that can be seen.
    std::optional<Holder> Find(int ours, Access access);
    // Whether holder's descriptor still points where it did, at the object
    // `identity` describes (a stat of it): one look, without opening it.
    static bool StillHolds(const Holder& holder, const struct stat& identity);

private:
    // What ours refers to: its identity and the path it was opened by.
    struct Target {
        struct stat info {};
        std::string path;
        Access access = Access::Any;
    };

    bool Describe(int ours, Access access, Target& target) const;
    bool Refers(int fdDir, int procFd, long pid, long fd, const Target& target,
                std::string& link) const;
    bool OpenProc();

    UniqueFd proc_;
    alignas(8) char processes_[8192] = {};
    alignas(8) char descriptors_[8192] = {};
};

// Tells whether anybody has let go of what a holder has open, without a look
// at /proc: the kernel queues an event on every last close of the object the
// holder's descriptor refers to, and looking at that queue is one read where
// a look at the holder costs several path lookups, on every tick.
class CloseWatch {
public:
    // Watches the object behind holder's descriptor from now on, when it
    // can; when it cannot (the holder has let go already, or no watch is to
    // be had), Quiet() never holds.
    void Start(const Holder& holder);
    void Stop() { events_.Reset(); }
    // True while watching and nothing has been closed since the last call;
    // what was seen is taken from the queue.
    bool Quiet();

private:
    UniqueFd events_;
};

}  // namespace vardel::linuxos
