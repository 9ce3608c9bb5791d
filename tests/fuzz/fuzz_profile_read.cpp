// Reading never fails on arbitrary bytes, what it gives is bounded, and line ends
// (LF, CR LF, lone CR) do not change it.
#include "fuzzsupport.h"
#include "platform/profile.h"
#include "platform/textcodec.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QString section = QString::fromUtf8(input.ConsumeRandomLengthString(16));
    const QString key = QString::fromUtf8(input.ConsumeRandomLengthString(16));
    const std::string rest = input.ConsumeRemainingBytesAsString();
    const QByteArray content(rest.data(), static_cast<qsizetype>(rest.size()));

    // The same lines with every end (LF, lone CR) made CR LF.
    QByteArray crlf;
    for (qsizetype i = 0; i < content.size(); ++i) {
        if (content[i] == '\n' || content[i] == '\r') {
            crlf += "\r\n";
            if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n')
                ++i;
        } else {
            crlf += content[i];
        }
    }

    for (const QString &name : {QStringLiteral("Pellory"), section}) {
        const auto value = Profile::read(content, name, key);
        FUZZ_CHECK(Profile::read(crlf, name, key) == value, "line ends changed what is read");
        if (value) {
            // At most one character per byte, and never more bytes than were stored.
            FUZZ_CHECK(value->size() <= Profile::MaxValueBytes, "size %lld",
                       static_cast<long long>(value->size()));
            FUZZ_CHECK(value->size() <= content.size(), "value longer than the file");
        }
    }
    // The decoder and the cut agree on character boundaries.
    const qsizetype cut = TextCodec::characterBoundary(content, content.size() / 2);
    FUZZ_CHECK(cut >= 0 && cut <= content.size() / 2, "boundary %lld", static_cast<long long>(cut));
    TextCodec::decode(content);
    return 0;
}
