#include "distribfolder.h"

#include "Ui.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kDistribution = QStringLiteral("velminstal.dat");

} // namespace

std::optional<QString> DistributionFolder(const QString &current)
{
    if (QFileInfo(QDir(current).filePath(kDistribution)).isFile())
        return current;
    QString from = current;
    for (;;) {
        const std::optional<QString> chosen =
            Ui().ChooseFile(QStringLiteral("Выберите дистрибутив для установки"), from,
                            QStringLiteral("Дистрибутив (%1)").arg(kDistribution));
        if (!chosen)
            return std::nullopt;
        const QFileInfo file(*chosen);
        // The stages read the folder's velminstal.dat, its licence and pictures: a file of
        // another name would install something other than what was chosen.
        if (file.fileName() == kDistribution && file.isFile())
            return file.absolutePath();
        Ui().ShowMessage(QStringLiteral("Файл %1 не является дистрибутивом. Выберите файл %2")
                             .arg(*chosen, kDistribution));
        from = file.absolutePath();
    }
}
