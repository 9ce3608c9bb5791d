#include "platform/profile.h"

#include "platform/textcodec.h"

#include <vector>

namespace {

const QByteArray Utf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");
const QByteArray NewLine = QByteArrayLiteral("\r\n");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmedBytes(QByteArrayView bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlank(bytes[begin]))
        ++begin;
    while (end > begin && isBlank(bytes[end - 1]))
        --end;
    return bytes.sliced(begin, end - begin);
}

QStringView trimmedText(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t'))
        ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.sliced(begin, end - begin);
}

// One line of the file: its bytes without the line end, and the line end.
struct Line
{
    QByteArrayView text;
    QByteArrayView end;
};

class Document
{
public:
    explicit Document(QByteArrayView content)
    {
        if (content.startsWith(Utf8Bom)) {
            m_bom = true;
            content = content.sliced(Utf8Bom.size());
        }
        // A line ends at LF, at CR LF or at a lone CR (old Mac editors, some export
        // tools), as the classic profile reader takes them.
        const qsizetype size = content.size();
        qsizetype start = 0;
        while (start < size) {
            qsizetype textEnd = start;
            while (textEnd < size && content[textEnd] != '\n' && content[textEnd] != '\r')
                ++textEnd;
            qsizetype next = textEnd;
            if (next < size)
                next += content[next] == '\r' && next + 1 < size && content[next + 1] == '\n' ? 2 : 1;
            m_lines.push_back(
                {content.sliced(start, textEnd - start), content.sliced(textEnd, next - textEnd)});
            start = next;
        }
    }

    bool hasBom() const { return m_bom; }
    const std::vector<Line> &lines() const { return m_lines; }

    QString decode(QByteArrayView bytes) const
    {
        return m_bom ? QString::fromUtf8(bytes) : TextCodec::decode(bytes);
    }
    QByteArray encode(QStringView text) const { return m_bom ? text.toUtf8() : TextCodec::encode(text); }

    // The section name when the line opens a section.
    std::optional<QString> sectionName(const Line &line) const
    {
        const QByteArrayView t = trimmedBytes(line.text);
        if (!t.startsWith('['))
            return std::nullopt;
        // ']' can be the second byte of a two-byte character, so look for it in text.
        const QString text = decode(t.sliced(1));
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        return trimmedText(close < 0 ? QStringView(text) : QStringView(text).left(close)).toString();
    }

    // The position of '=' when the line gives a value for the key. '=' is never
    // part of a multi-byte character, so the byte search is exact.
    qsizetype valueStart(const Line &line, QStringView key) const
    {
        const qsizetype equals = line.text.indexOf('=');
        if (equals < 0)
            return -1;
        const QByteArrayView name = trimmedBytes(line.text.first(equals));
        if (decode(name).compare(trimmedText(key), Qt::CaseInsensitive) != 0)
            return -1;
        return equals;
    }

    // Index of the first section line with this name, or -1.
    qsizetype findSection(QStringView section) const
    {
        const QStringView wanted = trimmedText(section);
        for (size_t i = 0; i < m_lines.size(); ++i) {
            const auto name = sectionName(m_lines[i]);
            if (name && name->compare(wanted, Qt::CaseInsensitive) == 0)
                return static_cast<qsizetype>(i);
        }
        return -1;
    }

    // One past the last line of the section that starts at index header.
    qsizetype sectionEnd(qsizetype header) const
    {
        qsizetype i = header + 1;
        while (i < static_cast<qsizetype>(m_lines.size()) && !sectionName(m_lines[i]))
            ++i;
        return i;
    }

private:
    bool m_bom = false;
    std::vector<Line> m_lines;
};

QString oneLine(QStringView value)
{
    QString text = value.toString();
    for (QChar &c : text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

namespace Profile {

std::optional<QString> read(QByteArrayView content, QStringView section, QStringView key)
{
    const Document doc(content);
    const qsizetype header = doc.findSection(section);
    if (header < 0)
        return std::nullopt;
    const qsizetype end = doc.sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const Line &line = doc.lines()[i];
        const qsizetype equals = doc.valueStart(line, key);
        if (equals < 0)
            continue;
        QByteArrayView value = trimmedBytes(line.text.sliced(equals + 1));
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.sliced(1, value.size() - 2);
        if (value.size() > MaxValueBytes) {
            value = value.first(doc.hasBom() ? MaxValueBytes
                                             : TextCodec::characterBoundary(value, MaxValueBytes));
        }
        return doc.decode(value);
    }
    return std::nullopt;
}

QByteArray write(const QByteArray &content, QStringView section, const Values &values)
{
    QByteArray current = content;
    for (const auto &[key, rawValue] : values) {
        const Document doc(current);
        const QByteArray value = doc.encode(oneLine(rawValue));
        const auto &lines = doc.lines();

        QByteArray out;
        out.reserve(current.size() + value.size() + 64);
        if (doc.hasBom())
            out += Utf8Bom;
        auto appendLine = [&out](QByteArrayView text, QByteArrayView end) {
            out += text;
            out += end;
        };
        // A line that gets a successor must end, even when it was the file's last.
        auto appendEnded = [&](const Line &line) {
            appendLine(line.text, line.end.isEmpty() ? NewLine : line.end);
        };
        const QByteArray newKeyLine = doc.encode(key) + '=' + value;

        const qsizetype header = doc.findSection(section);
        if (header < 0) {
            for (const Line &line : lines)
                appendEnded(line);
            appendLine(QByteArray('[' + doc.encode(section) + ']'), NewLine);
            appendLine(newKeyLine, NewLine);
            current = out;
            continue;
        }

        const qsizetype end = doc.sectionEnd(header);
        qsizetype replace = -1;
        qsizetype lastFilled = header;
        for (qsizetype i = header + 1; i < end; ++i) {
            if (!trimmedBytes(lines[i].text).isEmpty())
                lastFilled = i;
            if (replace < 0 && doc.valueStart(lines[i], key) >= 0)
                replace = i;
        }
        for (qsizetype i = 0; i < static_cast<qsizetype>(lines.size()); ++i) {
            const Line &line = lines[i];
            if (i == replace) {
                const qsizetype equals = line.text.indexOf('=');
                appendLine(line.text.first(equals + 1).toByteArray() + value, line.end);
            } else if (replace < 0 && i == lastFilled) {
                appendEnded(line);
                appendLine(newKeyLine, NewLine);
            } else {
                appendLine(line.text, line.end);
            }
        }
        current = out;
    }
    return current;
}

} // namespace Profile
