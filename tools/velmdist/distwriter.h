#pragma once
// Builds distribution files ("velminstal.dat") for the installer: the plain header, then the
// body scrambled with the key. The installer only reads them; tests and the demo need them.

#include <QByteArray>
#include <QList>
#include <QString>

#include <exception>
#include <utility>

// Why a distribution cannot be built; Message is for a person.
class EDistBuild : public std::exception
{
public:
    explicit EDistBuild(QString message) : Message(std::move(message)), Utf8(Message.toUtf8()) {}
    const char *what() const noexcept override { return Utf8.constData(); }
    QString Message;
    QByteArray Utf8;
};

// A routine as it goes to the server: its name and source lines in the server's bytes.
struct TDistRoutine
{
    QByteArray Name;
    QList<QByteArray> Lines;
};

struct TDistPostAction
{
    QByteArray Description; // server code page (CP866)
    QByteArray Label;       // M entry reference, called as $$Label
};

// Everything a distribution holds, as plain bytes.
struct TDistContent
{
    QByteArray Product; // server code page
    QByteArray Version;
    QByteArray BuildDate;
    int Key = 0;
    QByteArray SourcePass; // server code page
    QByteArray CheckLabel; // empty: no check label
    QList<TDistPostAction> PostActions;
    QList<TDistRoutine> CheckPrograms;
    QList<TDistRoutine> Programs;
};

// The file's bytes. Throws EDistBuild for a key of 10, 13, 35 or 64, a plain byte equal to the
// key (or 0), a separator inside the data, an empty header field or source password, a check
// label without check programs (or the reverse), an invalid routine name or a record longer
// than 153,599 bytes.
QByteArray WriteDistribution(const TDistContent &content);

// "_cplogG.m" is "%cplogG". Throws when the result is not a valid M routine name.
QByteArray RoutineNameFromFile(const QString &fileName);
bool IsRoutineName(const QByteArray &name);

// A UTF-8 routine source: converted to CP866 or Windows-1251 when its first line ends with
// ";; cp866" or ";; cp1251", else it must be plain ASCII. LF or CR LF line ends.
TDistRoutine LoadRoutineSource(const QString &path);

// A display text (product, source password, description) in the server code page, refused
// when the installer would not show it back as it is written.
QByteArray ServerDisplayText(const QString &text, const QString &what);

// The manifest (see README.md) and the routine folder, read into a distribution's content.
TDistContent ReadManifest(const QString &manifestPath, const QString &sourceDir);

// Reads, builds and writes OUTPUT; throws EDistBuild.
void BuildDistributionFile(const QString &sourceDir, const QString &manifestPath, const QString &outputPath);
