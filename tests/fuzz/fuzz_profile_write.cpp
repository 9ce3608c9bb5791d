// A value written under any section and key reads back as written (after the
// documented trimming), and every line the write does not concern keeps its bytes.
#include "fuzzsupport.h"
#include "platform/profile.h"
#include "platform/textcodec.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QList>

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// What a read gives back for a written value: line breaks were stored as blanks,
// blanks around it and one pair of enclosing quotes are dropped, and the stored
// bytes are cut at MaxValueBytes.
QString expectedRead(QString value)
{
    for (QChar &c : value) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            c = QLatin1Char(' ');
    }
    qsizetype begin = 0, end = value.size();
    while (begin < end && isBlank(value[begin]))
        ++begin;
    while (end > begin && isBlank(value[end - 1]))
        --end;
    value = value.mid(begin, end - begin);
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    const QByteArray bytes = TextCodec::encode(value);
    if (bytes.size() > Profile::MaxValueBytes)
        value = TextCodec::decode(bytes.first(TextCodec::characterBoundary(bytes, Profile::MaxValueBytes)));
    return value;
}

// A name the file format can hold: one line, no ']' in a section, no '=' in a key,
// no key that reads as a section line, and text that survives the code page.
bool usableName(const QString &name, bool isSection)
{
    if (hasUnpairedSurrogate(name) || TextCodec::decode(TextCodec::encode(name)) != name)
        return false;
    for (QChar c : name) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            return false;
        if (isSection ? c == QLatin1Char(']') : c == QLatin1Char('='))
            return false;
    }
    return isSection || !name.trimmed().startsWith(QLatin1Char('['));
}

// Lines with their ends: LF, CR LF or a lone CR.
QList<QByteArray> linesOf(const QByteArray &content)
{
    QList<QByteArray> lines;
    qsizetype start = content.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < content.size()) {
        qsizetype end = start;
        while (end < content.size() && content[end] != '\n' && content[end] != '\r')
            ++end;
        if (end < content.size())
            end += content.mid(end, 2) == "\r\n" ? 2 : 1;
        lines.append(content.mid(start, end - start));
        start = end;
    }
    return lines;
}

bool hasLineEnd(const QByteArray &line)
{
    return line.endsWith('\n') || line.endsWith('\r');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string s = input.ConsumeRandomLengthString(24);
    const std::string k = input.ConsumeRandomLengthString(24);
    const std::string v = input.ConsumeRandomLengthString(4096);
    const bool utf16Value = input.ConsumeBool();
    const std::string rest = input.ConsumeRemainingBytesAsString();
    const QString section = QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
    const QString key = QString::fromUtf8(k.data(), static_cast<qsizetype>(k.size()));
    const QString value = utf16Value ? fromUtf16Bytes(QByteArray(v.data(), static_cast<qsizetype>(v.size())))
                                     : QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
    const QByteArray before(rest.data(), static_cast<qsizetype>(rest.size()));

    const QByteArray after = Profile::write(before, section, {{key, value}});
    if (!usableName(section, true) || !usableName(key, false))
        return 0;

    const bool bom = before.startsWith("\xEF\xBB\xBF");
    const bool valueSurvives =
        !hasUnpairedSurrogate(value) && (bom ? QString::fromUtf8(value.toUtf8()) == value
                                             : TextCodec::decode(TextCodec::encode(value)) == value);
    if (valueSurvives && !bom) {
        const auto read = Profile::read(after, section, key);
        FUZZ_CHECK(read.has_value(), "written key not found");
        FUZZ_CHECK(*read == expectedRead(value), "read back %s, wrote %s", qPrintable(*read),
                   qPrintable(value));
    }

    // Old lines, in order, each unchanged but for a line end added to a last line
    // that had none; at most two new lines (section and key), or one replaced line.
    const QList<QByteArray> old = linesOf(before);
    const QList<QByteArray> now = linesOf(after);
    FUZZ_CHECK(now.size() >= old.size() && now.size() <= old.size() + 2, "%lld lines became %lld",
               static_cast<long long>(old.size()), static_cast<long long>(now.size()));
    FUZZ_CHECK(after.startsWith("\xEF\xBB\xBF") == bom, "byte order mark changed");
    qsizetype j = 0;
    int changed = 0;
    for (qsizetype i = 0; i < old.size(); ++i) {
        while (j < now.size() && now[j] != old[i] && now[j] != old[i] + "\r\n" && changed < 2 &&
               now.size() - j > old.size() - i) {
            ++j; // an inserted line
            ++changed;
        }
        FUZZ_CHECK(j < now.size(), "line %lld lost", static_cast<long long>(i));
        if (now[j] != old[i] && !(i == old.size() - 1 && !hasLineEnd(old[i]) && now[j] == old[i] + "\r\n")) {
            // The one line whose value was replaced keeps everything up to its '='.
            const qsizetype equals = old[i].indexOf('=');
            FUZZ_CHECK(equals >= 0 && now[j].startsWith(old[i].left(equals + 1)), "line %lld changed",
                       static_cast<long long>(i));
            FUZZ_CHECK(++changed == 1 && now.size() == old.size(), "more than one line replaced");
        }
        ++j;
    }
    return 0;
}
