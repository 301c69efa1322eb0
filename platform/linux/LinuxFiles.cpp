// The program's own path, the firmware file and the debug output.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/Utf.h"
#include "platform/linux/WholeTransfer.h"

namespace vardel::linuxos {
namespace {

// A POSIX or open-file-description lock of another holder on any part of the
// file (one of this process's own POSIX locks would count too; it takes none).
bool RecordLockedByAnother(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameButForCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

// The first name in byte order in folder that differs from name only in the
// case of ASCII letters and is not a folder; empty when there is none.
std::string CaseVariant(const std::string& folder, const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code error;
    std::string chosen;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string candidate = entry->path().filename().string();
        if (SameButForCase(candidate, name) && (chosen.empty() || candidate < chosen) &&
            !entry->is_directory(error)) {
            chosen = candidate;
        }
    }
    return chosen;
}

}  // namespace

std::uint32_t LinuxPlatform::ProgramFilePath(char16_t* buffer, std::uint32_t capacity) {
    char target[PATH_MAX];
    const ssize_t got = ::readlink("/proc/self/exe", target, sizeof target);
    if (got <= 0 || static_cast<std::size_t>(got) == sizeof target) {
        return 0;  // no link, or a path cut short
    }
    const std::u16string path =
        Utf8ToUtf16(std::string_view(target, static_cast<std::size_t>(got)));
    const auto length = static_cast<std::uint32_t>(path.size());
    if (buffer != nullptr && length < capacity) {
        std::copy(path.begin(), path.end(), buffer);
        buffer[length] = u'\0';
    }
    return length;
}

int LinuxPlatform::FileFd(FileHandle file) const {
    if (file < 0 || file > INT_MAX) {
        return -1;
    }
    const int fd = static_cast<int>(file);
    return files_.Holds(fd) ? fd : -1;
}

// "Without sharing": the file is locked for as long as it is open, and a file
// that someone else has locked, or is still writing, is not opened.
FileHandle LinuxPlatform::OpenFileForReading(const char16_t* path) {
    refusal_ = {};
    if (path == nullptr) {
        return Refuse(EINVAL);
    }
    const std::string name = Utf16ToUtf8(path);
    UniqueFd fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd.Valid() || ::fstat(fd.Get(), &info) != 0) {
        return Refuse(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return Refuse(EISDIR);
    }
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 || RecordLockedByAnother(fd.Get())) {
        return Refuse(EWOULDBLOCK);
    }
    if (const auto writer = holders_.Find(fd.Get(), FileHolders::Access::Writing)) {
        return Refuse(ETXTBSY, writer->pid);
    }
    return files_.Add(std::move(fd));
}

void LinuxPlatform::MatchFileNameCase(char16_t* path) {
    if (path == nullptr) {
        return;
    }
    const std::string whole = Utf16ToUtf8(path);
    struct stat exact {};
    const std::size_t slash = whole.rfind('/');
    if (slash == std::string::npos || ::lstat(whole.c_str(), &exact) == 0) {
        return;
    }
    const std::string variant = CaseVariant(whole.substr(0, slash + 1), whole.substr(slash + 1));
    const std::u16string name = Utf8ToUtf16(variant);
    std::u16string_view shown(path);
    const std::size_t nameAt = shown.rfind(u'/') + 1;
    if (!variant.empty() && name.size() == shown.size() - nameAt) {
        std::copy(name.begin(), name.end(), path + nameAt);
    }
}

std::uint32_t LinuxPlatform::ReadFile(FileHandle file, std::uint8_t* buffer, std::uint32_t length,
                                      std::uint32_t& error) {
    error = 0;
    const int fd = FileFd(file);
    if (fd < 0) {
        error = EBADF;
        return 0;
    }
    return TransferWhole(
        length, [&](std::uint32_t got) { return ::read(fd, buffer + got, length - got); },
        [&](ssize_t n) {
            if (n < 0 && errno == EINTR) {
                return true;
            }
            error = n < 0 ? static_cast<std::uint32_t>(errno) : 0;  // 0: the end of the file
            return false;
        });
}

void LinuxPlatform::CloseFile(FileHandle file) {
    if (const int fd = FileFd(file); fd >= 0) {
        files_.Close(fd);
    }
}

// One write, so that lines from several processes on one stderr do not mix.
void LinuxPlatform::DebugPrint(const char16_t* line) {
    if (line == nullptr) {
        return;
    }
    const std::string text = Utf16ToUtf8(line);
    ssize_t written = 0;
    do {
        written = ::write(STDERR_FILENO, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
}

}  // namespace vardel::linuxos
