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

bool isSafeNamePart(const QString &text)
{
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    // Half of a surrogate pair has no bytes on disk that would read back as it.
    if (!text.isValidUtf16())
        return false;
    for (const QChar c : text) {
        if (forbidden.contains(c) || c.category() == QChar::Other_Control)
            return false;
    }
    return QFile::encodeName(text).size() <= 255;
}

bool isSafeName(const QString &name)
{
    return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..") &&
           isSafeNamePart(name);
}

bool isSafeGroupName(const QString &name)
{
    return isSafeName(name) && !name.startsWith(QLatin1Char('.'));
}

NameProblem contactNameProblem(const QString &company, const QString &person)
{
    if (company.isEmpty() || person.isEmpty())
        return NameProblem::Empty;
    if (!isSafeNamePart(company) || !isSafeNamePart(person) ||
        !isSafeName(fileName(contactKey(company, person))))
        return NameProblem::Unsafe;
    return NameProblem::None;
}

QString unsafeNameMessage()
{
    return QStringLiteral("名称中不能包含以下字符：\\ / : * ? \" < > | 及控制字符，"
                          "并且不能超过255个字节（约85个汉字）。");
}

QString unsafeGroupNameMessage()
{
    return QStringLiteral("名称中不能包含以下字符：\\ / : * ? \" < > | 及控制字符，"
                          "不能以“.”开头，并且不能超过255个字节（约85个汉字）。");
}

} // namespace ContactFile
