#pragma once
// A fresh money-out sample whose second record the server rejects: its sum is zeroed in the file.
#include "clbgen.h"

#include <QFile>
#include <QString>

#include <cstdint>
#include <string>

inline bool WriteFileWithARejectedRecord(const QString &path, int count, std::uint64_t seed,
                                         std::string &error)
{
    clb::Options options;
    options.count = count;
    options.seed = seed;
    if (!clb::writeFile(QFile::encodeName(path).toStdString(), options, error))
        return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) {
        error = "cannot reopen the file";
        return false;
    }
    const QByteArray head = f.read(12);
    const int headerLength = quint8(head[8]) | quint8(head[9]) << 8;
    const int recordLength = quint8(head[10]) | quint8(head[11]) << 8;
    // SUMMA (N 15.2) follows the flag, NUMDOC (C 6) and DATEDOC (D 8).
    if (!f.seek(headerLength + recordLength + 1 + 6 + 8) || f.write("           0.00") != 15) {
        error = "cannot zero the sum";
        return false;
    }
    return true;
}
