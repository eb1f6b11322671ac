#pragma once
// The 1C client-bank exchange text (first line "1CClientBankExchange", format versions 1.02 and
// 1.03) read as a table of the DBF layer. One record per document section
// (СекцияДокумент=<kind> ... КонецДокумента) that is sound, in file order; the header and the
// account sections (СекцияРасчСчет ... КонецРасчСчет) are not records, but their РасчСчет keys
// say whose statement the file is. The structure is fixed, the same for every file, so that a
// setting made from one file fits every later file of the bank: the section's document kind,
// then one field per document key in the format's published order, then the keys banks add.
//
// Values are the file's bytes, as a dBASE file's are: Windows-1251 or CP866, whichever the
// format's own words are written in (the setting's Func DOS or WIN converts the texts on the
// server); a UTF-8 text is converted to Windows-1251. Missing keys are empty values. A fault of
// the file's structure refuses the whole file when it is opened (an error naming the line); a
// fault inside one document section leaves that document out, and the statement tells which
// (TExchangeStatement).

#include "dbfrecords.h"

#include <QStringList>

#include <memory>

// A field of the structure: the key of the format (UTF-8; the document kind is the value of
// the section's first line, СекцияДокумент), the field's name, its type number, size (the
// longest value, in characters) and decimals.
struct TExchange1CField
{
    const char *Key;
    const char *Name;
    int TypeId;
    int Size;
    int Precision = 0;
};

// The names are the keys transliterated letter by letter (А A, Б B, В V, Г G, Д D, Е Ё Э E,
// Ж ZH, З Z, И I, Й Ы Y, К K, Л L, М M, Н N, О O, П P, Р R, С S, Т T, У U, Ф F, Х KH, Ц TS,
// Ч CH, Ш SH, Щ SHCH, Ю YU, Я YA, Ъ Ь dropped), upper case. Names and order are fixed for good:
// settings on the server carry them. Sizes the format gives are its own; a text it leaves
// without a maximum gets 255, the longest value the server keeps, and so does ПоказательНомера,
// which real payments fill beyond the format's 15.
inline constexpr int Exchange1COpenText = 255;
inline constexpr TExchange1CField Exchange1CFields[] = {
    {"СекцияДокумент", "SEKTSIYADOKUMENT", DbfType::String, Exchange1COpenText},
    {"Номер", "NOMER", DbfType::String, Exchange1COpenText},
    {"Дата", "DATA", DbfType::Date, 10},
    {"Сумма", "SUMMA", DbfType::Float, 18, 2},
    {"КвитанцияДата", "KVITANTSIYADATA", DbfType::Date, 10},
    {"КвитанцияВремя", "KVITANTSIYAVREMYA", DbfType::String, 8},
    {"КвитанцияСодержание", "KVITANTSIYASODERZHANIE", DbfType::String, Exchange1COpenText},
    {"ПлательщикСчет", "PLATELSHCHIKSCHET", DbfType::String, 20},
    {"ДатаСписано", "DATASPISANO", DbfType::Date, 10},
    {"Плательщик", "PLATELSHCHIK", DbfType::String, Exchange1COpenText},
    {"ПлательщикИНН", "PLATELSHCHIKINN", DbfType::String, 12},
    {"Плательщик1", "PLATELSHCHIK1", DbfType::String, Exchange1COpenText},
    {"Плательщик2", "PLATELSHCHIK2", DbfType::String, Exchange1COpenText},
    {"Плательщик3", "PLATELSHCHIK3", DbfType::String, Exchange1COpenText},
    {"Плательщик4", "PLATELSHCHIK4", DbfType::String, Exchange1COpenText},
    {"ПлательщикРасчСчет", "PLATELSHCHIKRASCHSCHET", DbfType::String, 20},
    {"ПлательщикБанк1", "PLATELSHCHIKBANK1", DbfType::String, Exchange1COpenText},
    {"ПлательщикБанк2", "PLATELSHCHIKBANK2", DbfType::String, Exchange1COpenText},
    {"ПлательщикБИК", "PLATELSHCHIKBIK", DbfType::String, 9},
    {"ПлательщикКорсчет", "PLATELSHCHIKKORSCHET", DbfType::String, 20},
    {"ПолучательСчет", "POLUCHATELSCHET", DbfType::String, 20},
    {"ДатаПоступило", "DATAPOSTUPILO", DbfType::Date, 10},
    {"Получатель", "POLUCHATEL", DbfType::String, Exchange1COpenText},
    {"ПолучательИНН", "POLUCHATELINN", DbfType::String, 12},
    {"Получатель1", "POLUCHATEL1", DbfType::String, Exchange1COpenText},
    {"Получатель2", "POLUCHATEL2", DbfType::String, Exchange1COpenText},
    {"Получатель3", "POLUCHATEL3", DbfType::String, Exchange1COpenText},
    {"Получатель4", "POLUCHATEL4", DbfType::String, Exchange1COpenText},
    {"ПолучательРасчСчет", "POLUCHATELRASCHSCHET", DbfType::String, 20},
    {"ПолучательБанк1", "POLUCHATELBANK1", DbfType::String, Exchange1COpenText},
    {"ПолучательБанк2", "POLUCHATELBANK2", DbfType::String, Exchange1COpenText},
    {"ПолучательБИК", "POLUCHATELBIK", DbfType::String, 9},
    {"ПолучательКорсчет", "POLUCHATELKORSCHET", DbfType::String, 20},
    {"ВидПлатежа", "VIDPLATEZHA", DbfType::String, Exchange1COpenText},
    {"КодНазПлатежа", "KODNAZPLATEZHA", DbfType::String, 1},
    {"ВидОплаты", "VIDOPLATY", DbfType::String, 2},
    {"Код", "KOD", DbfType::String, 25},
    {"НазначениеПлатежа", "NAZNACHENIEPLATEZHA", DbfType::String, Exchange1COpenText},
    {"НазначениеПлатежа1", "NAZNACHENIEPLATEZHA1", DbfType::String, Exchange1COpenText},
    {"НазначениеПлатежа2", "NAZNACHENIEPLATEZHA2", DbfType::String, Exchange1COpenText},
    {"НазначениеПлатежа3", "NAZNACHENIEPLATEZHA3", DbfType::String, Exchange1COpenText},
    {"НазначениеПлатежа4", "NAZNACHENIEPLATEZHA4", DbfType::String, Exchange1COpenText},
    {"НазначениеПлатежа5", "NAZNACHENIEPLATEZHA5", DbfType::String, Exchange1COpenText},
    {"НазначениеПлатежа6", "NAZNACHENIEPLATEZHA6", DbfType::String, Exchange1COpenText},
    {"СтатусСоставителя", "STATUSSOSTAVITELYA", DbfType::String, 2},
    {"ПлательщикКПП", "PLATELSHCHIKKPP", DbfType::String, 9},
    {"ПолучательКПП", "POLUCHATELKPP", DbfType::String, 9},
    {"ПоказательКБК", "POKAZATELKBK", DbfType::String, 20},
    {"ОКАТО", "OKATO", DbfType::String, 11},
    {"ПоказательОснования", "POKAZATELOSNOVANIYA", DbfType::String, 2},
    {"ПоказательПериода", "POKAZATELPERIODA", DbfType::String, 10},
    {"ПоказательНомера", "POKAZATELNOMERA", DbfType::String, Exchange1COpenText},
    {"ПоказательДаты", "POKAZATELDATY", DbfType::String, 10},
    {"ПоказательТипа", "POKAZATELTIPA", DbfType::String, 2},
    {"Очередность", "OCHEREDNOST", DbfType::String, 2},
    {"СрокАкцепта", "SROKAKTSEPTA", DbfType::String, Exchange1COpenText},
    {"ВидАккредитива", "VIDAKKREDITIVA", DbfType::String, Exchange1COpenText},
    {"СрокПлатежа", "SROKPLATEZHA", DbfType::Date, 10},
    {"УсловиеОплаты1", "USLOVIEOPLATY1", DbfType::String, Exchange1COpenText},
    {"УсловиеОплаты2", "USLOVIEOPLATY2", DbfType::String, Exchange1COpenText},
    {"УсловиеОплаты3", "USLOVIEOPLATY3", DbfType::String, Exchange1COpenText},
    {"ПлатежПоПредст", "PLATEZHPOPREDST", DbfType::String, Exchange1COpenText},
    {"ДополнУсловия", "DOPOLNUSLOVIYA", DbfType::String, Exchange1COpenText},
    {"НомерСчетаПоставщика", "NOMERSCHETAPOSTAVSHCHIKA", DbfType::String, Exchange1COpenText},
    {"ДатаОтсылкиДок", "DATAOTSYLKIDOK", DbfType::Date, 10},
    // Beyond 1.03, as current bank exports write them.
    {"ИдентификаторПлатежа", "IDENTIFIKATORPLATEZHA", DbfType::String, Exchange1COpenText},
    {"КодДебитора", "KODDEBITORA", DbfType::String, Exchange1COpenText},
    {"ОКТМО", "OKTMO", DbfType::String, 11},
};

// Directions of a document, by the statement's accounts: money out when the payer's account is
// one of them, money in when the payee's is; a transfer between two of them is both.
namespace ExchangeDirection {
inline constexpr unsigned Out = 1;
inline constexpr unsigned In = 2;
} // namespace ExchangeDirection

// A document section of the file.
struct TExchangeDocument
{
    int Ordinal = 0;        // 1-based among the file's document sections
    int Line = 0;           // the line of its fault, or its first line
    QString Number;         // its Номер as written
    QString Fault;          // why it is no record; empty for a record
    unsigned Direction = 0; // ExchangeDirection bits; 0 when the file names no account
};

// What an exchange text says beyond its records (TDbfTable::Statement).
class TExchangeStatement
{
public:
    // The accounts the header's РасчСчет and the СекцияРасчСчет sections name, in file order;
    // empty for payment orders sent from accounting to the bank.
    virtual const QStringList &Accounts() const = 0;
    // Each unknown key once, with its first line; a Кодировка the words of the file contradict.
    virtual const QStringList &Warnings() const = 0;
    // The document sections left out for a fault of their own, in file order.
    virtual const std::vector<TExchangeDocument> &Faulty() const = 0;
    virtual int DocumentCount() const = 0; // records and faulty ones
    // "Windows-1251", "DOS (CP866)" or "UTF-8": how the file was written.
    virtual QString CodePage() const = 0;
    // Record live (0-based): its place among the document sections, its direction, the whole.
    virtual int Ordinal(int live) const = 0;
    virtual unsigned Direction(int live) const = 0;
    virtual TExchangeDocument Document(int live) const = 0;

protected:
    ~TExchangeStatement() = default;
};

// Bytes enough to tell an exchange text by its first line.
inline constexpr int Exchange1CHeadSize = 32;
// The largest exchange text the layer takes into memory.
inline constexpr qint64 MaxExchange1CSize = qint64(1) << 30;

// True when the bytes begin with the line "1CClientBankExchange" (blanks may end it), after a
// UTF-8 byte-order mark when there is one.
bool IsExchange1C(const QByteArray &head);

// Reads and checks the whole text; throws EDbfError naming the line of a structural fault, or
// saying that the code page cannot be told.
std::unique_ptr<TDbfRecords> OpenExchange1C(const QString &path, const QByteArray &bytes);
