#include "addressbook/contactfile.h"

#include <QFile>

namespace ContactFile {

const QStringList &senderKeys()
{
    static const QStringList keys{QStringLiteral("txtSent"), QStringLiteral("txtName"),
                                  QStringLiteral("txtP"),    QStringLiteral("txtC"),
                                  QStringLiteral("txtA"),    QStringLiteral("txtAdd"),
                                  QStringLiteral("txtTel"),  QStringLiteral("txtZip")};
    return keys;
}

const QStringList &recipientKeys()
{
    static const QStringList keys = [] {
        QStringList to;
        for (const QString &key : senderKeys())
            to.append(key + QStringLiteral("To"));
        return to;
    }();
    return keys;
}

QString contactKey(const QString &company, const QString &person)
{
    return company + QStringLiteral(" - ") + person;
}

QString fileName(const QString &contactKey)
{
    return contactKey + QStringLiteral(".dat");
}

bool isSafeName(const QString &name)
{
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral(".."))
        return false;
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    for (const QChar c : name) {
        if (forbidden.contains(c) || c.category() == QChar::Other_Control)
            return false;
    }
    return QFile::encodeName(name).size() <= 255;
}

QString unsafeNameMessage()
{
    return QStringLiteral("名称中不能包含以下字符：\\ / : * ? \" < > | 及控制字符，"
                          "不能是“.”或“..”，并且不能超过255个字节（约85个汉字）。");
}

} // namespace ContactFile
