#pragma once
// The demo's bank statement (velmd demo writes it as kl_to_1c.txt) with one money-out document
// more, number 106, which the reader refuses for its negative sum.
#include "codepage.h"

#include <QFile>
#include <QString>

inline QByteArray DemoStatementWithAFaultyDocument(const QString &demoDir)
{
    QFile f(demoDir + QStringLiteral("/kl_to_1c.txt"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray end = ToWin1251(QStringLiteral("КонецФайла\r\n"));
    const QByteArray faulty =
        ToWin1251(QStringLiteral("СекцияДокумент=Платежное поручение\r\nНомер=106\r\n"
                                 "Дата=09.04.2024\r\nСумма=-500.00\r\n"
                                 "ПлательщикСчет=40702810338000012345\r\nКонецДокумента\r\n"));
    return f.readAll().replace(end, faulty + end);
}
