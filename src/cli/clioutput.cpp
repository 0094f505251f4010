#include "cli/clioutput.h"

#include "platform/filenames.h"

#include <algorithm>

namespace {

void appendJsonText(QByteArray &out, QStringView text)
{
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00";
                out += QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
            } else {
                out += c;
            }
        }
    }
}

void appendJsonString(QByteArray &out, const QString &text)
{
    out += '"';
    if (!FileNames::hasForeignBytes(text)) {
        appendJsonText(out, text);
    } else {
        // A byte of a file name that is not UTF-8 (FileNames::decode) stays what it is, an
        // unpaired surrogate in JSON's escape, so that a reader can get the exact name back.
        qsizetype runStart = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t unit = text[i].unicode();
            if (unit < 0xDC80 || unit > 0xDCFF || (i > 0 && text[i - 1].isHighSurrogate()))
                continue;
            appendJsonText(out, QStringView(text).sliced(runStart, i - runStart));
            out += "\\u" + QByteArray::number(text[i].unicode(), 16);
            runStart = i + 1;
        }
        appendJsonText(out, QStringView(text).sliced(runStart));
    }
    out += '"';
}

/// Whether a character is one that shown() replaces.
auto hiddenCharacter(bool keepTabs)
{
    // The control characters (category Cc) are exactly U+0000–U+001F and U+007F–U+009F.
    return [keepTabs](QChar c) {
        const char16_t unit = c.unicode();
        return (unit < 0x20 && !(keepTabs && unit == u'\t')) || (unit >= 0x7F && unit <= 0x9F);
    };
}

/// Appends shown(`text`) to `out` in UTF-8, as Qt's encoder writes it (a surrogate without its
/// other half becomes U+FFFD), except that a byte of a file name that is not UTF-8 is written as
/// that byte (FileNames::encode), in one pass: results come by the thousand, and Qt's encoder calls
/// out for every character that is not ASCII.
void appendShownUtf8(QByteArray &out, QStringView text, bool keepTabs)
{
    const qsizetype start = out.size();
    out.resize(start + 3 * text.size()); // three bytes at most for each UTF-16 unit
    auto *p = reinterpret_cast<uchar *>(out.data() + start);
    const auto replacement = [&p] {
        *p++ = 0xEF;
        *p++ = 0xBF;
        *p++ = 0xBD;
    };
    const char16_t *u = text.utf16();
    const char16_t *end = u + text.size();
    while (u < end) {
        const char16_t c = *u++;
        if (c < 0x80) {
            if ((c < 0x20 && !(keepTabs && c == u'\t')) || c == 0x7F)
                replacement();
            else
                *p++ = uchar(c);
        } else if (c < 0x800) {
            if (c <= 0x9F) {
                replacement();
            } else {
                *p++ = uchar(0xC0 | (c >> 6));
                *p++ = uchar(0x80 | (c & 0x3F));
            }
        } else if (QChar::isHighSurrogate(c) && u < end && QChar::isLowSurrogate(*u)) {
            const char32_t code = QChar::surrogateToUcs4(c, *u++);
            *p++ = uchar(0xF0 | (code >> 18));
            *p++ = uchar(0x80 | ((code >> 12) & 0x3F));
            *p++ = uchar(0x80 | ((code >> 6) & 0x3F));
            *p++ = uchar(0x80 | (code & 0x3F));
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            // A byte of a file name that is not UTF-8 (FileNames::decode): the name as it is.
            *p++ = uchar(c & 0xFF);
        } else if (QChar::isSurrogate(c)) {
            replacement();
        } else {
            *p++ = uchar(0xE0 | (c >> 12));
            *p++ = uchar(0x80 | ((c >> 6) & 0x3F));
            *p++ = uchar(0x80 | (c & 0x3F));
        }
    }
    out.truncate(reinterpret_cast<char *>(p) - out.constData());
}

void writeBytes(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

} // namespace

void CliOutput::write(const QString &text, const QList<CliField> &fields)
{
    writePending();
    writeBytes(stdout, m_json ? QByteArray(jsonObject(fields) + '\n')
                              : FileNames::encode(QString(text + u'\n')));
}

void CliOutput::writeTextLine(std::initializer_list<QStringView> fields)
{
    // Lines gather in one buffer of bounded size, written and reused as it fills: ten thousand
    // results take no more memory than a few.
    appendTextLine(m_pending, fields);
    if (m_pending.size() >= 64 * 1024)
        writePending();
}

void CliOutput::appendTextLine(QByteArray &out, std::initializer_list<QStringView> fields)
{
    qsizetype left = qsizetype(fields.size());
    for (const QStringView field : fields) {
        const bool last = --left == 0;
        appendShownUtf8(out, field, /*keepTabs=*/last);
        out += last ? '\n' : '\t';
    }
}

void CliOutput::writeEncoded(const QByteArray &lines)
{
    writePending();
    writeBytes(stdout, lines);
}

void CliOutput::writePending()
{
    writeBytes(stdout, m_pending);
    m_pending.truncate(0); // keeps the storage for the next lines
}

void CliOutput::writeRaw(const QString &text)
{
    writePending();
    writeBytes(stdout, text.toUtf8());
}

int CliOutput::fail(int exitCode, const QString &message)
{
    // One line, whatever the message picked up from a file name or an error text.
    writeBytes(stderr, QString(QStringLiteral("quillmere: ") + shown(message) + u'\n').toUtf8());
    std::fflush(stderr);
    return exitCode;
}

bool CliOutput::finish()
{
    writePending();
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

QString CliOutput::shown(const QString &text, bool keepTabs)
{
    const auto isHidden = hiddenCharacter(keepTabs);
    // Most text holds none: it is returned shared, not copied.
    if (std::none_of(text.begin(), text.end(), isHidden))
        return text;
    QString result = text;
    std::replace_if(result.begin(), result.end(), isHidden, QChar(QChar::ReplacementCharacter));
    return result;
}

QByteArray CliOutput::jsonObject(const QList<CliField> &fields)
{
    QByteArray out = "{";
    for (const CliField &field : fields) {
        if (out.size() > 1)
            out += ", ";
        appendJsonString(out, field.key);
        out += ": ";
        if (const auto *number = std::get_if<qint64>(&field.value))
            out += QByteArray::number(*number);
        else
            appendJsonString(out, std::get<QString>(field.value));
    }
    out += '}';
    return out;
}
