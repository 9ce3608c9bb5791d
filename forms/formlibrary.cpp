#include "forms/formlibrary.h"

#include "forms/formfile.h"
#include "platform/platform.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>

namespace Forms {

namespace {

QString settingsApplication()
{
    return QStringLiteral("Pellory");
}

QString slotSection()
{
    return QStringLiteral("FormSlots");
}

QString slotKey(int slot)
{
    return QStringLiteral("Slot%1").arg(slot);
}

bool isSlot(int slot)
{
    return slot >= FormLibrary::FirstSlot && slot <= FormLibrary::LastSlot;
}

} // namespace

FormLibrary::FormLibrary(Platform &platform) : m_platform(platform) {}

QString FormLibrary::folder() const
{
    return m_platform.folderPath({u"forms"});
}

bool FormLibrary::ensureFolder(QString *error) const
{
    return m_platform.folderExists(folder()) || m_platform.createFolder(folder(), error);
}

QString FormLibrary::pathOf(const QString &fileName) const
{
    return folder() + fileName;
}

QString FormLibrary::Entry::caption() const
{
    if (!problem.isEmpty())
        return QStringLiteral("%1（已损坏）").arg(name);
    return kind == Form::Kind::PackingSlip ? QStringLiteral("%1（发货单）").arg(name) : name;
}

QList<FormLibrary::Entry> FormLibrary::list(Damaged damaged) const
{
    QList<Entry> entries;
    for (const QString &fileName : m_platform.listFiles(folder())) {
        if (!fileName.endsWith(FormFile::suffix(), Qt::CaseInsensitive))
            continue;
        QByteArray bytes;
        QString problem;
        std::optional<Form> form;
        if (m_platform.readFile(pathOf(fileName), &bytes, &problem))
            form = FormFile::read(bytes, &problem, false);
        if (form)
            entries.append({fileName, form->name, slotOf(fileName), QString(), form->kind});
        else if (damaged == Damaged::Listed)
            entries.append({fileName, fileName.chopped(FormFile::suffix().size()), slotOf(fileName),
                            problem.isEmpty() ? QStringLiteral("文件无法读取。") : problem});
    }
    QCollator collator(QLocale(QLocale::Chinese, QLocale::China));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(entries.begin(), entries.end(), [&collator](const Entry &a, const Entry &b) {
        const int order = collator.compare(a.name, b.name);
        return order != 0 ? order < 0 : a.fileName < b.fileName;
    });
    return entries;
}

QList<FormLibrary::Entry> FormLibrary::waybillForms() const
{
    QList<Entry> entries = list();
    entries.removeIf([](const Entry &entry) { return entry.kind != Form::Kind::Waybill; });
    return entries;
}

QList<FormLibrary::Entry> FormLibrary::slipForms() const
{
    QList<Entry> entries = list();
    entries.removeIf([](const Entry &entry) { return entry.kind != Form::Kind::PackingSlip; });
    return entries;
}

std::optional<Form> FormLibrary::load(const QString &fileName, QString *error) const
{
    QByteArray bytes;
    if (!m_platform.readFile(pathOf(fileName), &bytes, error))
        return std::nullopt;
    // The picture's header is checked; the window that shows it decodes it, once.
    return FormFile::read(bytes, error, false);
}

std::optional<Form> FormLibrary::loadByName(const QString &name, QString *fileName) const
{
    for (const Entry &entry : list()) {
        if (entry.name == name) {
            if (fileName)
                *fileName = entry.fileName;
            return load(entry.fileName);
        }
    }
    return std::nullopt;
}

QString FormLibrary::freeFileName(const QString &name) const
{
    // Characters no file system of the shop's machines takes in a name.
    QString base;
    for (const QChar c : name.trimmed()) {
        base += c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c) ? QLatin1Char('_') : c;
    }
    base = base.left(60).trimmed();
    if (base.isEmpty() || base.startsWith(QLatin1Char('.')))
        base.prepend(QStringLiteral("模板"));
    QString candidate = base + FormFile::suffix();
    for (int n = 2; m_platform.fileExists(pathOf(candidate)); ++n)
        candidate = QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(FormFile::suffix());
    return candidate;
}

bool FormLibrary::save(const Form &form, QString *fileName, QString *error) const
{
    if (form.name.trimmed().isEmpty()) {
        if (error)
            *error = QStringLiteral("模板名称不能为空。");
        return false;
    }
    const QByteArray bytes = FormFile::write(form, error);
    if (bytes.isEmpty() || !ensureFolder(error))
        return false;
    // A file this program would refuse to open replaces nothing.
    QString refused;
    if (!FormFile::read(bytes, &refused, false)) {
        if (error)
            *error = refused;
        return false;
    }
    const QString name = fileName->isEmpty() ? freeFileName(form.name) : *fileName;
    if (fileName->isEmpty())
        forgetSlot(name);
    if (!m_platform.writeFileAtomically(pathOf(name), bytes, error))
        return false;
    *fileName = name;
    return true;
}

void FormLibrary::forgetSlot(const QString &fileName) const
{
    for (int s = FirstSlot; s <= LastSlot; ++s) {
        if (m_platform.readSetting(settingsApplication(), slotSection(), slotKey(s)) == fileName)
            m_platform.writeSetting(settingsApplication(), slotSection(), slotKey(s), QString());
    }
}

bool FormLibrary::remove(const QString &fileName, QString *error)
{
    const QString path = pathOf(fileName);
    // Where the desktop keeps no trash the file goes for good, as contacts do.
    if (!m_platform.moveToTrash(path) && !m_platform.deleteFile(path, error))
        return false;
    // Freed by what the setting says, not by formInSlot, which no longer sees
    // the file: left set, the slot would go to the next form of that file name.
    forgetSlot(fileName);
    return true;
}

std::optional<QString> FormLibrary::copy(const QString &fileName, const QString &newName,
                                         QString *error) const
{
    std::optional<Form> form = load(fileName, error);
    if (!form)
        return std::nullopt;
    form->id = Form::newId();
    form->name = newName;
    QString copied;
    if (!save(*form, &copied, error))
        return std::nullopt;
    return copied;
}

std::optional<Form> FormLibrary::readFile(const QString &path, QString *error) const
{
    QByteArray bytes;
    if (!m_platform.readFile(path, &bytes, error))
        return std::nullopt;
    return FormFile::read(bytes, error);
}

QString FormLibrary::fileWithId(const QString &id) const
{
    for (const Entry &entry : list()) {
        QByteArray bytes;
        if (!m_platform.readFile(pathOf(entry.fileName), &bytes))
            continue;
        const std::optional<Form> form = FormFile::read(bytes, nullptr, false);
        if (form && form->id == id)
            return entry.fileName;
    }
    return QString();
}

std::optional<QString> FormLibrary::importFile(const QString &path, QString *error, SameForm same) const
{
    QByteArray bytes;
    if (!m_platform.readFile(path, &bytes, error))
        return std::nullopt;
    std::optional<Form> form = FormFile::read(bytes, error);
    if (!form || !ensureFolder(error))
        return std::nullopt;
    const QString existing = fileWithId(form->id);
    QString fileName;
    if (existing.isEmpty() || same == SameForm::Replace) {
        // The file as it came, every key and the picture's own bytes kept.
        fileName = existing.isEmpty() ? freeFileName(form->name) : existing;
        if (existing.isEmpty())
            forgetSlot(fileName);
    } else {
        // A form of its own: its own id keeps its print settings apart.
        QStringList names;
        for (const Entry &entry : list(Damaged::Listed))
            names.append(entry.name);
        const QString base = form->name;
        int n = 2;
        do
            form->name = QStringLiteral("%1（%2）").arg(base).arg(n++);
        while (names.contains(form->name));
        form->id = Form::newId();
        bytes = FormFile::write(*form, error);
        if (bytes.isEmpty())
            return std::nullopt;
        fileName = freeFileName(form->name);
        forgetSlot(fileName);
    }
    if (!m_platform.writeFileAtomically(pathOf(fileName), bytes, error))
        return std::nullopt;
    return fileName;
}

bool FormLibrary::exportFile(const QString &fileName, const QString &path, QString *error) const
{
    QByteArray bytes;
    if (!m_platform.readFile(pathOf(fileName), &bytes, error))
        return false;
    return m_platform.writeFileAtomically(path, bytes, error);
}

QString FormLibrary::formInSlot(int slot) const
{
    if (!isSlot(slot))
        return QString();
    const QString fileName = m_platform.readSetting(settingsApplication(), slotSection(), slotKey(slot));
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')) || !m_platform.fileExists(pathOf(fileName)))
        return QString();
    return fileName;
}

int FormLibrary::slotOf(const QString &fileName) const
{
    for (int slot = FirstSlot; slot <= LastSlot; ++slot) {
        if (!fileName.isEmpty() && formInSlot(slot) == fileName)
            return slot;
    }
    return 0;
}

bool FormLibrary::setSlot(const QString &fileName, int slot, QString *error)
{
    if (slot != 0 && !isSlot(slot))
        return false;
    for (int s = FirstSlot; s <= LastSlot; ++s) {
        if (s != slot &&
            m_platform.readSetting(settingsApplication(), slotSection(), slotKey(s)) == fileName &&
            !m_platform.writeSetting(settingsApplication(), slotSection(), slotKey(s), QString(), error))
            return false;
    }
    return slot == 0 ||
           m_platform.writeSetting(settingsApplication(), slotSection(), slotKey(slot), fileName, error);
}

} // namespace Forms
