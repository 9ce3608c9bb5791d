// Names and paths: a name the address book accepts stays inside its folder, and
// no path, however spelled, resolves outside the program folder. Text survives
// the code page.
#include "addressbook/contactfile.h"
#include "fuzzsupport.h"
#include "platform/platform.h"
#include "platform/textcodec.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QDir>
#include <QTemporaryDir>

namespace {

class NoDialogs : public Dialogs
{
public:
    int messageBox(const QString &, const QString &, int) override { return Ok; }
    QString inputBox(const QString &, const QString &, const QString &) override { return {}; }
};

struct Folder
{
    Folder()
    {
        QDir().mkpath(dir.path() + QStringLiteral("/program/sent"));
        QDir().mkpath(dir.path() + QStringLiteral("/program/to/_未分类"));
    }
    QTemporaryDir dir;
    QString root = dir.path() + QStringLiteral("/program");
    NoDialogs dialogs;
    Platform platform{root, dir.path() + QStringLiteral("/settings.ini"), dialogs};
};

bool inside(const QString &resolved, const QString &folder)
{
    return resolved.startsWith(folder + QLatin1Char('/')) && !resolved.contains(QStringLiteral("/../")) &&
           !resolved.endsWith(QStringLiteral("/.."));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Folder folder;
    FuzzedDataProvider input(data, size);
    const std::string raw = input.ConsumeRandomLengthString(600);
    const bool utf16 = input.ConsumeBool();
    const QString name = utf16 ? fromUtf16Bytes(QByteArray(raw.data(), static_cast<qsizetype>(raw.size())))
                               : QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));

    const QString sent = folder.root + QStringLiteral("/sent");
    if (ContactFile::isSafeName(name)) {
        FUZZ_CHECK(!name.contains(QLatin1Char('/')) && name != QStringLiteral("..") &&
                       name != QStringLiteral("."),
                   "unsafe name accepted");
        const QString resolved = folder.platform.resolve(sent + QLatin1Char('/') + name);
        FUZZ_CHECK(inside(resolved, sent), "%s resolved to %s", qPrintable(name), qPrintable(resolved));
        FUZZ_CHECK(resolved.mid(sent.size() + 1).compare(name, Qt::CaseInsensitive) == 0, "name changed");
    }
    const QString anyPath = folder.platform.resolve(folder.root + QLatin1Char('/') + name);
    FUZZ_CHECK(anyPath.isEmpty() || anyPath == folder.root + QLatin1Char('/') || inside(anyPath, folder.root),
               "%s resolved to %s", qPrintable(name), qPrintable(anyPath));

    if (!hasUnpairedSurrogate(name)) {
        const QByteArray bytes = TextCodec::encode(name);
        const QString back = TextCodec::decode(bytes);
        // Only private-use code points that GBK maps onto GB18030 characters differ.
        if (back != name) {
            bool privateUse = false;
            for (QChar c : name)
                privateUse = privateUse || (c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF);
            FUZZ_CHECK(privateUse, "round trip changed text");
        }
    }
    return 0;
}
