#include "memos.h"

#include "data.h"

namespace velmbank {

TfmMemo *fmMemo = nullptr;

TfmMemo::TfmMemo(QObject *parent) : QObject(parent) { setObjectName(QStringLiteral("fmMemo")); }

TfmMemo::~TfmMemo()
{
    if (fmMemo == this)
        fmMemo = nullptr;
}

std::optional<QString> TfmMemo::ColumnHelp(int field) const
{
    switch (field) {
    case TdmSet::sfName: return QStringLiteral("Название поля, как оно будет в DBF файле.");
    case TdmSet::sfType: return QStringLiteral("Тип данных DBF");
    case TdmSet::sfLength: return QStringLiteral("Длина поля в DBF файле");
    case TdmSet::sfPrecision: return QStringLiteral("Число знаков после запятой. Максимально значение - 15.");
    case TdmSet::sfMAPX: return QStringLiteral("Поле Вельм системы, соответствующее этому полю.");
    case TdmSet::sfFunc: return QStringLiteral("Функция преобразования значения ВЕЛЬМ в значение DBF");
    default: return std::nullopt;
    }
}

} // namespace velmbank
