// The name order's quick comparison of plain ASCII names against the collator's own keys.
#include "fuzzcheck.h"
#include "platform/naturalorder.h"

#include <QString>

#include <algorithm>
#include <cstring>

namespace {

int sign(int value)
{
    return (value > 0) - (value < 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Two names, split at the first zero byte; Latin-1 so that every byte is a character and
    // most inputs stay plain ASCII.
    const auto *text = reinterpret_cast<const char *>(data);
    const auto *zero = static_cast<const char *>(std::memchr(text, 0, size));
    const size_t split = zero ? size_t(zero - text) : size / 2;
    const QString a = QString::fromLatin1(text, qsizetype(split));
    const QString b = QString::fromLatin1(text + std::min(split + 1, size),
                                          qsizetype(size - std::min(split + 1, size)));
    // Names the quick comparison takes must come out as the collator's keys order them. (Other
    // names go to the collator itself, whose comparison puts an empty name before one of
    // ignorable characters where their keys tie: no file is named by nothing.)
    FUZZ_CHECK(sign(NaturalOrder::compare(a, b)) == -sign(NaturalOrder::compare(b, a)));
    if (NaturalOrder::isPlain(a) && NaturalOrder::isPlain(b)) {
        const int expected = sign(NaturalOrder::sortKey(a).compare(NaturalOrder::sortKey(b)));
        FUZZ_CHECK(sign(NaturalOrder::compare(a, b)) == expected);
        FUZZ_CHECK(sign(NaturalOrder::comparePlain(a, b)) == expected);
    }
    return 0;
}
