#include "setuplog.h"

#include "codepage.h"

#include <QFile>

void TSetupLog::Add(const QString &line) { Lines.append(ToWin1251(line)); }

void TSetupLog::AppendToLast(const QByteArray &text)
{
    if (Lines.isEmpty())
        Lines.append(text);
    else
        Lines.last().append(text);
}

bool TSetupLog::SaveToFile(const QString &path) const
{
    QByteArray all;
    for (const QByteArray &line : Lines) {
        all.append(line);
        all.append("\r\n");
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool ok = f.write(all) == all.size();
    f.close();
    return ok && f.error() == QFileDevice::NoError;
}
