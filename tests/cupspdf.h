#pragma once

#include <QDir>
#include <QFile>
#include <QString>

// Where cups-pdf writes the print tests' files, from its configuration ("Out").
inline QString cupsPdfFolder()
{
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    QString out = QStringLiteral("/var/spool/cups-pdf/${USER}");
    if (conf.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : conf.readAll().split('\n')) {
            if (line.startsWith("Out ") || line.startsWith("Out\t"))
                out = QString::fromLocal8Bit(line.mid(4).trimmed());
        }
    }
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = QDir::home().dirName();
    return out.replace(QStringLiteral("${HOME}"), QDir::homePath()).replace(QStringLiteral("${USER}"), user);
}
