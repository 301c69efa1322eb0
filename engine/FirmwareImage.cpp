// The firmware image: the platform variant is told by physical memory, and the
// variant's file is read whole from the folder of the program file.
#include <string>

#include "engine/EngineTexts.h"
#include "engine/UpgradeEngine.h"

namespace vardel {

namespace {

// Above 130 MiB of physical memory the unit is an MTK one, else a Q9 one.
constexpr std::uint32_t kMtkMemoryThreshold = 130u * 1024u * 1024u;
// Less than this is not a usable image.
constexpr std::uint32_t kMinImageSize = 1024;

struct PlatformVariant {
    const char16_t* fileName;
    const char16_t* openFailedText;
};

constexpr PlatformVariant kQ9 = {u"KD51A.BIN", texts::kQ9OpenFailed};
constexpr PlatformVariant kMtk = {u"MTK51A.BIN", texts::kMtkOpenFailed};

std::uint32_t Length(const char16_t* text) {
    std::uint32_t n = 0;
    while (text[n] != u'\0') {
        ++n;
    }
    return n;
}

std::u16string Decimal(long long value) {
    const std::string digits = std::to_string(value);
    return {digits.begin(), digits.end()};
}

// "-------------" text "----------------\r\n": the loader's two debug lines.
std::u16string DebugLine(const std::u16string& text) {
    return u"-------------" + text + u"----------------\r\n";
}

// Ends the path right after its last separator, keeping the folder; a path
// without one is left whole.
void KeepFolder(char16_t* path, char16_t separator) {
    char16_t* lastSeparator = nullptr;
    for (char16_t* p = path; *p != u'\0'; ++p) {
        if (*p == separator) {
            lastSeparator = p;
        }
    }
    if (lastSeparator != nullptr) {
        lastSeparator[1] = u'\0';
    }
}

// Appends name to the path in its buffer only when the whole result fits;
// a path is never cut.
bool AppendWhole(char16_t* path, std::uint32_t capacity, const char16_t* name) {
    const std::uint32_t used = Length(path);
    const std::uint32_t added = Length(name);
    if (used + added >= capacity) {
        return false;
    }
    for (std::uint32_t i = 0; i <= added; ++i) {
        path[used + i] = name[i];
    }
    return true;
}

}  // namespace

int UpgradeEngine::DetectPlatform() const {
    return platform_.TotalPhysicalMemory() > kMtkMemoryThreshold ? 1 : 0;
}

int UpgradeEngine::LoadFirmware() {
    if (image == nullptr) {
        image = platform_.Allocate(kImageCapacity);
        if (image == nullptr) {
            ReportMessage(texts::kImageOpenFailed);
            return 0;
        }
    }

    char16_t path[kPathCapacity] = {};
    const std::uint32_t programPathLength = platform_.ProgramFilePath(path, kPathCapacity);
    if (programPathLength == 0) {
        return 0;
    }
    // A program path that did not fit was not written: it leaves the buffer
    // empty, and the firmware path cannot be built either.
    const bool programPathFits = programPathLength < kPathCapacity;
    if (programPathFits) {
        KeepFolder(path, platform_.FolderSeparator());
    }

    isMtkPlatform = DetectPlatform() == 1 ? 1 : 0;
    const PlatformVariant& variant = isMtkPlatform != 0 ? kMtk : kQ9;

    const std::u16string folder(path);
    const bool pathFits = programPathFits && AppendWhole(path, kPathCapacity, variant.fileName);
    FileHandle file = kInvalidHandle;
    if (pathFits) {
        // A file that came from a system that ignores letter case may be
        // spelt otherwise; the line names the file that was opened.
        platform_.MatchFileNameCase(path);
        file = platform_.OpenFileForReading(path);
    }
    const std::u16string shownPath = pathFits ? std::u16string(path) : folder + variant.fileName;
    platform_.DebugPrint(
        DebugLine(u"update file name = " + shownPath + u", hand = " + Decimal(file)).c_str());
    if (file == kInvalidHandle) {
        ReportMessage(variant.openFailedText);
        return 0;
    }

    imageSize = 0;
    std::uint32_t error = 0;
    imageSize = platform_.ReadFile(file, image, kImageCapacity, error);
    platform_.CloseFile(file);
    if (imageSize >= kMinImageSize) {
        return 1;
    }

    platform_.DebugPrint(DebugLine(u"read size = " + Decimal(imageSize) + u" bytes, err = " +
                                   Decimal(static_cast<std::int32_t>(error)))
                             .c_str());
    imageSize = 0;
    ReportMessage(texts::kImageReadFailed);
    return 0;
}

}  // namespace vardel
