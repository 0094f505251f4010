#include "cli/clioutput.h"

#include <unistd.h>

namespace {

void appendJsonString(QByteArray &out, const QString &text)
{
    out += '"';
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
    out += '"';
}

void writeBytes(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

} // namespace

void CliOutput::write(const QString &text, const QList<CliField> &fields)
{
    writeBytes(stdout,
               m_json ? QByteArray(jsonObject(fields) + '\n') : QString(text + u'\n').toUtf8());
}

void CliOutput::writeRaw(const QString &text)
{
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
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

QString CliOutput::shown(const QString &text, bool keepTabs)
{
    QString result = text;
    for (QChar &c : result) {
        if (c.category() == QChar::Other_Control && !(keepTabs && c == u'\t'))
            c = QChar::ReplacementCharacter;
    }
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

StdoutCapture::StdoutCapture()
{
    std::fflush(stdout);
    m_file = std::tmpfile();
    if (!m_file)
        return; // nothing is caught; a failure line would then reach standard output
    m_savedStdout = ::dup(STDOUT_FILENO);
    if (m_savedStdout < 0 || ::dup2(fileno(m_file), STDOUT_FILENO) < 0) {
        if (m_savedStdout >= 0)
            ::close(m_savedStdout);
        std::fclose(m_file);
        m_file = nullptr;
    }
}

StdoutCapture::~StdoutCapture()
{
    finish();
}

QString StdoutCapture::finish()
{
    if (!m_file)
        return {};
    std::fflush(stdout);
    ::dup2(m_savedStdout, STDOUT_FILENO);
    ::close(m_savedStdout);
    QByteArray caught;
    std::rewind(m_file);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0;)
        caught.append(buffer, qsizetype(n));
    std::fclose(m_file);
    m_file = nullptr;
    return QString::fromUtf8(caught).simplified();
}
