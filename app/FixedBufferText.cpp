#include "app/FixedBufferText.h"

namespace vardel {

namespace {

class BoundedWriter {
public:
    BoundedWriter(char16_t* target, std::size_t capacity) : target_(target), capacity_(capacity) {
        Terminate();
    }

    void Put(char16_t unit) {
        if (length_ + 1 < capacity_) {
            target_[length_++] = unit;
            Terminate();
        }
    }

    void Put(const char16_t* text) {
        for (; *text != u'\0'; ++text) {
            Put(*text);
        }
    }

    // Works on the magnitude as unsigned so that the most negative int has one.
    void PutDecimal(int value) {
        unsigned magnitude = static_cast<unsigned>(value);
        if (value < 0) {
            Put(u'-');
            magnitude = 0u - magnitude;
        }
        char16_t digits[16];
        std::size_t count = 0;
        do {
            digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10u);
            magnitude /= 10u;
        } while (magnitude != 0u);
        while (count > 0) {
            Put(digits[--count]);
        }
    }

    [[nodiscard]] std::size_t Length() const { return length_; }

private:
    void Terminate() {
        if (capacity_ > 0) {
            target_[length_] = u'\0';
        }
    }

    char16_t* target_;
    std::size_t capacity_;
    std::size_t length_ = 0;
};

}  // namespace

void CopyBounded(char16_t* target, const char16_t* source, std::size_t count) {
    std::size_t i = 0;
    for (; i < count && source[i] != u'\0'; ++i) {
        target[i] = source[i];
    }
    for (; i < count; ++i) {
        target[i] = u'\0';
    }
}

std::size_t FormatDecimal(char16_t* target, std::size_t capacity, const char16_t* prefix, int value,
                          const char16_t* suffix) {
    BoundedWriter writer(target, capacity);
    writer.Put(prefix);
    writer.PutDecimal(value);
    writer.Put(suffix);
    return writer.Length();
}

}  // namespace vardel
