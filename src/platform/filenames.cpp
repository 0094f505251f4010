#include "platform/filenames.h"

namespace FileNames {
namespace {

constexpr char16_t escapeBase = 0xDC00;

bool isEscapedByte(char16_t unit)
{
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

bool isContinuation(uchar byte)
{
    return (byte & 0xC0) == 0x80;
}

/// The length of the well-formed UTF-8 sequence at `at`, or 0 when the byte there starts none
/// (the ranges of Unicode's table of well-formed byte sequences).
qsizetype sequenceLength(QByteArrayView bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return uchar(bytes[i]); };
    const uchar lead = byte(at);
    const qsizetype left = bytes.size() - at;
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    uchar low = 0x80;
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (left < length || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i) {
        if (!isContinuation(byte(at + i)))
            return 0;
    }
    return length;
}

} // namespace

QString decode(QByteArrayView native)
{
    QString text = QString::fromUtf8(native);
    // Valid UTF-8 decodes to U+FFFD only where the name spells it: nothing more to do.
    if (!text.contains(QChar(QChar::ReplacementCharacter)))
        return text;
    text.clear();
    text.reserve(native.size());
    qsizetype at = 0;
    while (at < native.size()) {
        const qsizetype length = sequenceLength(native, at);
        if (length == 0) {
            text.append(QChar(char16_t(escapeBase | uchar(native[at]))));
            ++at;
            continue;
        }
        text.append(QString::fromUtf8(native.sliced(at, length)));
        at += length;
    }
    return text;
}

QByteArray encode(QStringView text)
{
    if (!hasForeignBytes(text))
        return text.toUtf8();
    QByteArray bytes;
    bytes.reserve(text.size() * 3);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        const bool paired = i > 0 && QChar::isHighSurrogate(text[i - 1].unicode());
        if (!isEscapedByte(unit) || paired)
            continue;
        bytes += text.sliced(runStart, i - runStart).toUtf8();
        bytes += char(unit & 0xFF);
        runStart = i + 1;
    }
    bytes += text.sliced(runStart).toUtf8();
    return bytes;
}

bool hasForeignBytes(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (isEscapedByte(unit) && !(i > 0 && QChar::isHighSurrogate(text[i - 1].unicode())))
            return true;
    }
    return false;
}

} // namespace FileNames
