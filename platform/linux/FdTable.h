// The descriptors one platform has handed out as handles. A handle that is not
// in the table is treated like a closed one, and whatever is still open when
// the platform goes away is closed with it.
#pragma once

#include <algorithm>
#include <vector>

#include "platform/linux/UniqueFd.h"

namespace vardel::linuxos {

class FdTable {
public:
    int Add(UniqueFd fd) {
        const int number = fd.Get();
        fds_.push_back(std::move(fd));
        return number;
    }

    [[nodiscard]] bool Holds(int fd) const {
        return fd >= 0 && std::any_of(fds_.begin(), fds_.end(),
                                      [fd](const UniqueFd& held) { return held.Get() == fd; });
    }

    void Close(int fd) {
        std::erase_if(fds_, [fd](const UniqueFd& held) { return held.Get() == fd; });
    }

private:
    std::vector<UniqueFd> fds_;
};

}  // namespace vardel::linuxos
