#pragma once
// TfmMemo: the help texts of the input-form editor's columns, shown under its grid when the
// cursor enters a column. The form is never shown; it only holds the texts.

#include <QObject>
#include <QString>

#include <optional>

namespace velmbank {

class TfmMemo : public QObject
{
    Q_OBJECT
public:
    explicit TfmMemo(QObject *parent = nullptr);
    ~TfmMemo() override;

    // The text for a field of tbSet (TdmSet::SetField); nullopt for a column that has none,
    // which leaves the comment box as it is.
    std::optional<QString> ColumnHelp(int field) const;
};

extern TfmMemo *fmMemo;

} // namespace velmbank
