#include "distwriter.h"

#include "codepage.h"
#include "stages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

namespace {

constexpr qsizetype RecordMax = 153599; // the installer's record buffer, less its zero
constexpr char CR = 13;
constexpr char LF = 10;
constexpr char At = 64;
constexpr char Num = 35;

QString SeparatorName(char c)
{
    switch (c) {
    case CR: return QStringLiteral("CR");
    case LF: return QStringLiteral("LF");
    case At: return QStringLiteral("'@'");
    default: return QStringLiteral("'#'");
    }
}

// Plain body bytes: no separator of their section, nothing that would be stored as 0 (the
// installer reads the file as zero-terminated text) and no 0, which would come back as 255.
void CheckBody(const QByteArray &bytes, int key, const QByteArray &separators, const QString &where)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        const int b = static_cast<unsigned char>(c);
        if (separators.contains(c))
            throw EDistBuild(QStringLiteral("%1: contains the separator %2 at byte %3, which the "
                                            "format does not allow there")
                                 .arg(where, SeparatorName(c))
                                 .arg(i + 1));
        if (b == key)
            throw EDistBuild(QStringLiteral("%1: byte %2 is 0x%3, equal to the key %4; it would be "
                                            "stored as 0 and lost. Choose another key")
                                 .arg(where)
                                 .arg(i + 1)
                                 .arg(b, 2, 16, QLatin1Char('0'))
                                 .arg(key));
        if (b == 0)
            throw EDistBuild(
                QStringLiteral("%1: byte %2 is 0, which a distribution cannot hold").arg(where).arg(i + 1));
    }
}

void CheckHeader(const QByteArray &bytes, const QString &what)
{
    if (bytes.isEmpty())
        throw EDistBuild(QStringLiteral("%1 is empty; the installer refuses such a distribution").arg(what));
    if (bytes.contains(CR))
        throw EDistBuild(QStringLiteral("%1 contains a CR, which ends a header field").arg(what));
    if (bytes.contains('\0'))
        throw EDistBuild(
            QStringLiteral("%1 contains the byte 0, which a distribution cannot hold").arg(what));
}

QByteArray RoutineRecord(const TDistRoutine &r, int key)
{
    if (!IsRoutineName(r.Name))
        throw EDistBuild(
            QStringLiteral("\"%1\" is not a valid M routine name").arg(QString::fromLatin1(r.Name)));
    const QString name = QString::fromLatin1(r.Name);
    // The name is body bytes like any line: a letter equal to the key would be lost.
    CheckBody(r.Name, key, QByteArray("\r\n"), QStringLiteral("the name of routine %1").arg(name));
    QByteArray record = r.Name;
    record.append(LF);
    for (qsizetype i = 0; i < r.Lines.size(); ++i) {
        CheckBody(r.Lines[i], key, QByteArray("\r\n"),
                  QStringLiteral("routine %1, line %2").arg(name).arg(i + 1));
        record.append(r.Lines[i]);
        record.append(LF);
    }
    if (record.size() > RecordMax)
        throw EDistBuild(QStringLiteral("routine %1 takes %2 bytes; a record holds at most %3")
                             .arg(name)
                             .arg(record.size())
                             .arg(RecordMax));
    return record;
}

QString DecodeUtf8(const QByteArray &bytes, const QString &what)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(bytes);
    if (decoder.hasError())
        throw EDistBuild(QStringLiteral("%1 is not valid UTF-8").arg(what));
    return text;
}

// Lines of a text file: LF or CR LF ends, no empty line made up by the final line end.
QStringList TextLines(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    for (QString &line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    return lines;
}

QByteArray Win1251Text(const QString &text, const QString &what)
{
    const QByteArray bytes = ToWin1251(text);
    if (FromWin1251(bytes) != text)
        throw EDistBuild(QStringLiteral("%1 has characters that Windows-1251 lacks").arg(what));
    return bytes;
}

QByteArray AsciiText(const QString &text, const QString &what)
{
    for (QChar ch : text)
        if (ch.unicode() < 0x20 || ch.unicode() > 0x7E)
            throw EDistBuild(QStringLiteral("%1 must be printable ASCII").arg(what));
    return text.toLatin1();
}

} // namespace

bool IsRoutineName(const QByteArray &name)
{
    // The installer's own rule: what it would refuse is never written.
    return IsMRoutineName(name);
}

QByteArray RoutineNameFromFile(const QString &fileName)
{
    QString base = QFileInfo(fileName).fileName();
    if (base.endsWith(QStringLiteral(".m")))
        base.chop(2);
    if (base.startsWith(QLatin1Char('_')))
        base[0] = QLatin1Char('%');
    const QByteArray name = base.toLatin1();
    if (base.isEmpty() || QString::fromLatin1(name) != base || !IsRoutineName(name))
        throw EDistBuild(QStringLiteral("%1: \"%2\" is not a valid M routine name").arg(fileName, base));
    return name;
}

QByteArray ServerDisplayText(const QString &text, const QString &what)
{
    // The installer shows server bytes through its own table, which is not the full CP866
    // (Ё and ё are lost): refuse what would not come back as written.
    const QByteArray server = ToCp866(text);
    if (FromCp866(server) != text || FromWin1251(ServerToDisplay(server)) != text)
        throw EDistBuild(QStringLiteral("%1 has characters that the installer cannot show "
                                        "(outside CP866, or Ё, ё)")
                             .arg(what));
    return server;
}

TDistRoutine LoadRoutineSource(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EDistBuild(QStringLiteral("cannot read %1: %2").arg(path, f.errorString()));
    TDistRoutine routine;
    routine.Name = RoutineNameFromFile(path);
    const QString name = QString::fromLatin1(routine.Name);
    const QStringList lines = TextLines(DecodeUtf8(f.readAll(), path));
    if (lines.isEmpty())
        throw EDistBuild(QStringLiteral("%1: the routine has no lines").arg(path));

    // The marker stays where it is: the first line is the routine's own first line.
    const QString first = lines.constFirst().trimmed();
    enum { Ascii, Cp866, Cp1251 } page = Ascii;
    if (first.endsWith(QStringLiteral(";; cp866")))
        page = Cp866;
    else if (first.endsWith(QStringLiteral(";; cp1251")))
        page = Cp1251;

    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        QByteArray bytes;
        switch (page) {
        case Cp866:
            bytes = ToCp866(line);
            if (FromCp866(bytes) != line)
                throw EDistBuild(
                    QStringLiteral("routine %1, line %2: characters that CP866 lacks").arg(name).arg(i + 1));
            break;
        case Cp1251:
            bytes = ToWin1251(line);
            if (FromWin1251(bytes) != line)
                throw EDistBuild(QStringLiteral("routine %1, line %2: characters that Windows-1251 lacks")
                                     .arg(name)
                                     .arg(i + 1));
            break;
        case Ascii:
            for (QChar ch : line)
                if (ch.unicode() > 0x7F)
                    throw EDistBuild(QStringLiteral("routine %1, line %2: text beyond ASCII, but the "
                                                    "first line declares no \";; cp866\" or \";; cp1251\"")
                                         .arg(name)
                                         .arg(i + 1));
            bytes = line.toLatin1();
            break;
        }
        routine.Lines.append(bytes);
    }
    return routine;
}

QByteArray WriteDistribution(const TDistContent &c)
{
    if (c.Key < 0 || c.Key > 255)
        throw EDistBuild(QStringLiteral("the key must be 0 to 255, not %1").arg(c.Key));
    if (c.Key == 10 || c.Key == 13 || c.Key == 35 || c.Key == 64)
        throw EDistBuild(QStringLiteral("the key may not be %1: a separator would be stored as 0 "
                                        "and never found")
                             .arg(c.Key));
    CheckHeader(c.Product, QStringLiteral("the product name"));
    CheckHeader(c.Version, QStringLiteral("the version"));
    CheckHeader(c.BuildDate, QStringLiteral("the build date"));
    if (c.SourcePass.isEmpty())
        throw EDistBuild(
            QStringLiteral("the source password is empty; the installer refuses such a distribution"));
    if (c.CheckLabel.isEmpty() != c.CheckPrograms.isEmpty())
        throw EDistBuild(c.CheckLabel.isEmpty()
                             ? QStringLiteral("check programs are given without a check label")
                             : QStringLiteral("a check label needs at least one check program"));

    QByteArray body;
    CheckBody(c.SourcePass, c.Key, "\r", QStringLiteral("the source password"));
    body.append(c.SourcePass).append(CR);
    CheckBody(c.CheckLabel, c.Key, "\r", QStringLiteral("the check label"));
    body.append(c.CheckLabel).append(CR);

    QByteArray post;
    for (qsizetype i = 0; i < c.PostActions.size(); ++i) {
        const TDistPostAction &p = c.PostActions[i];
        if (p.Label.isEmpty())
            throw EDistBuild(QStringLiteral("post-action %1 has no label").arg(i + 1));
        CheckBody(p.Description, c.Key, "\r@#",
                  QStringLiteral("the description of post-action %1").arg(i + 1));
        CheckBody(p.Label, c.Key, "\r@#", QStringLiteral("the label of post-action %1").arg(i + 1));
        post.append(p.Description).append(Num).append(p.Label).append(At);
    }
    if (post.size() > RecordMax)
        throw EDistBuild(QStringLiteral("the post-actions take %1 bytes; a record holds at most %2")
                             .arg(post.size())
                             .arg(RecordMax));
    body.append(post).append(CR);

    for (const TDistRoutine &r : c.CheckPrograms)
        body.append(RoutineRecord(r, c.Key)).append(CR);
    body.append(CR); // the check-program list ends
    if (c.CheckLabel.isEmpty())
        body.append(CR); // the spare record, read and ignored
    for (const TDistRoutine &r : c.Programs)
        body.append(RoutineRecord(r, c.Key)).append(CR);
    body.append(CR); // the program list ends

    QByteArray file;
    file.reserve(body.size() + c.Product.size() + c.Version.size() + c.BuildDate.size() + 5);
    file.append('V'); // not read by the installer
    file.append(static_cast<char>(c.Key));
    file.append(c.Product).append(CR).append(c.Version).append(CR).append(c.BuildDate).append(CR);
    const int key = c.Key;
    for (char ch : std::as_const(body)) {
        const int p = static_cast<unsigned char>(ch);
        file.append(static_cast<char>(p >= key ? p - key : p - key + 255));
    }
    return file;
}

TDistContent ReadManifest(const QString &manifestPath, const QString &sourceDir)
{
    QFile f(manifestPath);
    if (!f.open(QIODevice::ReadOnly))
        throw EDistBuild(
            QStringLiteral("cannot read the manifest %1: %2").arg(manifestPath, f.errorString()));
    const QStringList lines = TextLines(DecodeUtf8(f.readAll(), manifestPath));

    TDistContent c;
    QMap<QString, QString> single;
    QStringList checkNames;
    QStringList programNames;
    bool programsGiven = false;
    const QSet<QString> singleKeys{QStringLiteral("product"),  QStringLiteral("version"),
                                   QStringLiteral("date"),     QStringLiteral("key"),
                                   QStringLiteral("password"), QStringLiteral("check")};
    static const QRegularExpression spaces(QStringLiteral("\\s+"));

    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QString at = QStringLiteral("%1:%2").arg(manifestPath).arg(i + 1);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            throw EDistBuild(QStringLiteral("%1: expected name = value").arg(at));
        const QString name = line.left(eq).trimmed().toLower();
        const QString value = line.mid(eq + 1).trimmed();
        if (singleKeys.contains(name)) {
            if (single.contains(name))
                throw EDistBuild(QStringLiteral("%1: %2 is given twice").arg(at, name));
            single.insert(name, value);
        } else if (name == QStringLiteral("checkprograms")) {
            checkNames += value.split(spaces, Qt::SkipEmptyParts);
        } else if (name == QStringLiteral("programs")) {
            programsGiven = true;
            programNames += value.split(spaces, Qt::SkipEmptyParts);
        } else if (name == QStringLiteral("post")) {
            // The label is the first word, the description the rest of the line.
            const qsizetype sp = value.indexOf(spaces);
            const QString label = sp < 0 ? value : value.left(sp);
            const QString desc = sp < 0 ? QString() : value.mid(sp).trimmed();
            if (label.isEmpty())
                throw EDistBuild(QStringLiteral("%1: post needs a label").arg(at));
            c.PostActions.append(
                TDistPostAction{ServerDisplayText(desc, QStringLiteral("%1: the description").arg(at)),
                                AsciiText(label, QStringLiteral("%1: the label").arg(at))});
        } else {
            throw EDistBuild(QStringLiteral("%1: unknown name \"%2\"").arg(at, name));
        }
    }
    for (const QString &required :
         {QStringLiteral("product"), QStringLiteral("version"), QStringLiteral("date"), QStringLiteral("key"),
          QStringLiteral("password")})
        if (single.value(required).isEmpty())
            throw EDistBuild(QStringLiteral("%1: %2 is missing").arg(manifestPath, required));

    c.Product =
        ServerDisplayText(single.value(QStringLiteral("product")), QStringLiteral("the product name"));
    c.Version = Win1251Text(single.value(QStringLiteral("version")), QStringLiteral("the version"));
    c.BuildDate = Win1251Text(single.value(QStringLiteral("date")), QStringLiteral("the build date"));
    bool ok = false;
    c.Key = single.value(QStringLiteral("key")).toInt(&ok);
    if (!ok)
        throw EDistBuild(
            QStringLiteral("%1: the key must be a whole number from 0 to 255").arg(manifestPath));
    c.SourcePass =
        ServerDisplayText(single.value(QStringLiteral("password")), QStringLiteral("the source password"));
    c.CheckLabel = AsciiText(single.value(QStringLiteral("check")), QStringLiteral("the check label"));

    // The routine files of the folder, by routine name.
    QMap<QByteArray, QString> files;
    const QDir dir(sourceDir);
    if (!dir.exists())
        throw EDistBuild(QStringLiteral("the routine folder %1 does not exist").arg(sourceDir));
    for (const QString &fileName : dir.entryList({QStringLiteral("*.m")}, QDir::Files, QDir::Name))
        files.insert(RoutineNameFromFile(fileName), dir.filePath(fileName));

    QSet<QByteArray> used;
    auto take = [&](const QStringList &names, const QString &list) {
        QList<TDistRoutine> routines;
        QSet<QByteArray> seen;
        for (const QString &n : names) {
            const QByteArray name = n.toLatin1();
            if (QString::fromLatin1(name) != n || !IsRoutineName(name))
                throw EDistBuild(QStringLiteral("%1: \"%2\" is not a valid M routine name").arg(list, n));
            if (seen.contains(name))
                throw EDistBuild(QStringLiteral("%1: %2 is listed twice").arg(list, n));
            if (!files.contains(name))
                throw EDistBuild(
                    QStringLiteral("%1: no source for %2 in %3 (expected %4.m)")
                        .arg(list, n, sourceDir, QString(n).replace(QLatin1Char('%'), QLatin1Char('_'))));
            seen.insert(name);
            used.insert(name);
            routines.append(LoadRoutineSource(files.value(name)));
        }
        return routines;
    };
    c.CheckPrograms = take(checkNames, QStringLiteral("checkprograms"));
    if (!programsGiven) {
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            if (!used.contains(it.key()))
                programNames.append(QString::fromLatin1(it.key()));
    }
    c.Programs = take(programNames, QStringLiteral("programs"));
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        if (!used.contains(it.key()))
            throw EDistBuild(
                QStringLiteral("%1 is listed neither in programs nor in checkprograms").arg(it.value()));
    return c;
}

void BuildDistributionFile(const QString &sourceDir, const QString &manifestPath, const QString &outputPath)
{
    const QByteArray bytes = WriteDistribution(ReadManifest(manifestPath, sourceDir));
    QSaveFile out(outputPath);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        throw EDistBuild(QStringLiteral("cannot write %1: %2").arg(outputPath, out.errorString()));
}
