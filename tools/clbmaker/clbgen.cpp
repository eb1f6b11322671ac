#include "clbgen.h"

#include <shapefil.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace clb {
namespace {

// splitmix64: small, fast, and the same sequence on every platform for a seed.
class Rng
{
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n).
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    std::string digits(int n)
    {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += static_cast<char>('0' + below(10));
        return s;
    }
    template <typename T, std::size_t N>
    const T &pick(const std::array<T, N> &a)
    {
        return a[below(N)];
    }

private:
    std::uint64_t state_;
};

struct Party
{
    std::string name, inn, account, bic; // name in UTF-8
};

struct Doc
{
    std::string number, date, sum; // date YYYYMMDD, sum with two decimals
    Party payer, payee;
    std::string purpose; // UTF-8
};

// Our firm: the bank's client whose export this is.
const Party kFirm{"ООО \"Ромашка\"", "7701234560", "40702810338000012345", "044525999"};

// The unclosed payment orders that the demo data holds in Velm (same values there).
const std::array<Doc, kDemoOrders> kDemo{{
    {"101",
     "20240304",
     "15000.00",
     kFirm,
     {"ООО \"Вектор\"", "5003123458", "40702810100000000777", "044525888"},
     "Оплата по счету № 17 от 01.03.2024, в т.ч. НДС 20% 2500.00"},
    {"102",
     "20240305",
     "2350.50",
     kFirm,
     {"АО \"Северный ветер\"", "7812345675", "40702810355000001234", "044030777"},
     "Оплата за канцелярские товары по договору № 5-К"},
    {"103",
     "20240306",
     "98765.43",
     kFirm,
     {"ИП Кузнецов Иван Сергеевич", "770512345650", "40802810600000004321", "044525999"},
     "Оплата аренды за март 2024 года, НДС не облагается"},
}};

const std::array<const char *, 4> kForms{"ООО", "АО", "ПАО", "ЗАО"};
const std::array<const char *, 16> kWords{"Альфа",  "Восход", "Гранит",   "Дельта", "Заря",  "Исток",
                                          "Кедр",   "Лотос",  "Меридиан", "Нева",   "Орион", "Прогресс",
                                          "Радуга", "Сфера",  "Таврида",  "Урал"};
const std::array<const char *, 6> kTrades{"Торг", "Строй", "Снаб", "Сервис", "Логистик", "Маркет"};
const std::array<const char *, 10> kSurnames{"Иванов",  "Смирнов", "Кузнецов", "Попов",   "Соколов",
                                             "Лебедев", "Козлов",  "Новиков",  "Морозов", "Волков"};
const std::array<const char *, 8> kNames{"Алексей", "Дмитрий", "Сергей", "Андрей",
                                         "Михаил",  "Николай", "Павел",  "Юрий"};
const std::array<const char *, 8> kPatronymics{"Иванович",  "Петрович", "Сергеевич",  "Олегович",
                                               "Андреевич", "Юрьевич",  "Викторович", "Ильич"};
const std::array<const char *, 6> kBics{"044525225", "044525999", "044525888",
                                        "044030777", "046577964", "040349602"};
const std::array<const char *, 6> kGoods{"строительные материалы", "канцелярские товары",
                                         "транспортные услуги",    "программное обеспечение",
                                         "электроэнергию",         "продукты питания"};

Party randomParty(Rng &rng)
{
    Party p;
    if (rng.below(5) == 0) { // a sole trader
        p.name =
            std::string("ИП ") + rng.pick(kSurnames) + " " + rng.pick(kNames) + " " + rng.pick(kPatronymics);
        p.inn = innWithCheck(std::to_string(10 + rng.below(90)) + rng.digits(8));
        p.bic = rng.pick(kBics);
        p.account = accountWithKey("40802810" + std::string("0") + rng.digits(11), p.bic);
    } else {
        p.name = std::string(rng.pick(kForms)) + " \"" + rng.pick(kWords) + rng.pick(kTrades) + "\"";
        p.inn = innWithCheck(std::to_string(10 + rng.below(90)) + rng.digits(7));
        p.bic = rng.pick(kBics);
        p.account = accountWithKey("40702810" + std::string("0") + rng.digits(11), p.bic);
    }
    return p;
}

std::string date2024(int dayOfYear)
{ // 0-based day of 2024
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int m = 0;
    while (dayOfYear >= kDays[m]) {
        dayOfYear -= kDays[m];
        ++m;
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "2024%02d%02d", m + 1, dayOfYear + 1);
    return buf;
}

std::string dmy(const std::string &ymd)
{
    return ymd.substr(6, 2) + "." + ymd.substr(4, 2) + "." + ymd.substr(0, 4);
}

Doc randomDoc(Rng &rng, bool moneyIn, long index)
{
    Doc d;
    Party other = randomParty(rng);
    if (moneyIn) {
        d.payer = other;
        d.payee = kFirm;
        d.number = std::to_string(1 + rng.below(9999));
    } else {
        d.payer = kFirm;
        d.payee = other;
        d.number = std::to_string(1000 + index % 900000);
    }
    d.date = date2024(60 + static_cast<int>(rng.below(31))); // March 2024 (a leap year)
    // Sums spread over several orders of magnitude, from 100.00 to about 1,000,000.
    std::uint64_t rubles = 100;
    for (std::uint64_t k = rng.below(4); k > 0; --k)
        rubles *= 10;
    rubles += rng.below(rubles * 9);
    std::uint64_t kop = rng.below(100);
    char sum[32];
    std::snprintf(sum, sizeof sum, "%llu.%02llu", static_cast<unsigned long long>(rubles),
                  static_cast<unsigned long long>(kop));
    d.sum = sum;
    const std::string invoice = std::to_string(1 + rng.below(500));
    const std::string when = dmy(date2024(31 + static_cast<int>(rng.below(28))));
    switch (rng.below(3)) {
    case 0: {
        // VAT at 20% included: sum * 20 / 120, in kopecks.
        std::uint64_t total = rubles * 100 + kop, vat = (total * 20 + 60) / 120;
        char v[32];
        std::snprintf(v, sizeof v, "%llu.%02llu", static_cast<unsigned long long>(vat / 100),
                      static_cast<unsigned long long>(vat % 100));
        d.purpose = "Оплата по счету № " + invoice + " от " + when + ", в т.ч. НДС 20% " + v;
        break;
    }
    case 1:
        d.purpose = std::string("Оплата за ") + rng.pick(kGoods) + " по договору № " + invoice + "-"
                    + std::to_string(rng.below(10)) + ", НДС не облагается";
        break;
    default:
        d.purpose = "Возврат излишне перечисленных средств по письму № " + invoice + " от " + when;
        break;
    }
    return d;
}

struct Field
{
    const char *name;
    char type;
    int width, decimals;
};

// The structure of the export; the automatic field list of the server names the same fields.
const std::array<Field, 12> kFields{{{"NUMDOC", 'C', 6, 0},
                                     {"DATEDOC", 'D', 8, 0},
                                     {"SUMMA", 'N', 15, 2},
                                     {"PLATNAME", 'C', 100, 0},
                                     {"PLATINN", 'C', 12, 0},
                                     {"PLATACC", 'C', 20, 0},
                                     {"PLATBIC", 'C', 9, 0},
                                     {"POLNAME", 'C', 100, 0},
                                     {"POLINN", 'C', 12, 0},
                                     {"POLACC", 'C', 20, 0},
                                     {"POLBIC", 'C', 9, 0},
                                     {"NAZN", 'C', 160, 0}}};

struct DbfCloser
{
    void operator()(DBFInfo *h) const { DBFClose(h); }
};
using Dbf = std::unique_ptr<DBFInfo, DbfCloser>;

} // namespace

namespace {

// Code points of UTF-8 text, each mapped to one byte by byteOf ('?' for what it lacks).
template <typename F>
std::string eightBit(const std::string &utf8, F byteOf)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        std::uint32_t c;
        std::size_t len;
        if (b < 0x80) {
            c = b;
            len = 1;
        } else if ((b & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            c = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            len = 2;
        } else if ((b & 0xF0) == 0xE0 && i + 2 < utf8.size()) {
            c = ((b & 0x0Fu) << 12) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6)
                | (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
            len = 3;
        } else {
            c = '?';
            len = 1;
        }
        i += len;
        out += static_cast<char>(c < 0x80 ? static_cast<unsigned char>(c) : byteOf(c));
    }
    return out;
}

} // namespace

std::string toCp866(const std::string &utf8)
{
    return eightBit(utf8, [](std::uint32_t c) -> unsigned char {
        if (c >= 0x410 && c <= 0x43F) // А..п
            return static_cast<unsigned char>(0x80 + (c - 0x410));
        if (c >= 0x440 && c <= 0x44F) // р..я
            return static_cast<unsigned char>(0xE0 + (c - 0x440));
        if (c == 0x401)
            return 0xF0;
        if (c == 0x451)
            return 0xF1;
        if (c == 0x2116)
            return 0xFC;
        return '?';
    });
}

std::string toWin1251(const std::string &utf8)
{
    return eightBit(utf8, [](std::uint32_t c) -> unsigned char {
        if (c >= 0x410 && c <= 0x44F) // А..я
            return static_cast<unsigned char>(0xC0 + (c - 0x410));
        if (c == 0x401)
            return 0xA8;
        if (c == 0x451)
            return 0xB8;
        if (c == 0x2116)
            return 0xB9;
        return '?';
    });
}

std::string innWithCheck(const std::string &base)
{
    static const int w10[] = {2, 4, 10, 3, 5, 9, 4, 6, 8};
    static const int w11[] = {7, 2, 4, 10, 3, 5, 9, 4, 6, 8};
    static const int w12[] = {3, 7, 2, 4, 10, 3, 5, 9, 4, 6, 8};
    auto check = [](const std::string &s, const int *w, std::size_t n) {
        int sum = 0;
        for (std::size_t i = 0; i < n; ++i)
            sum += (s[i] - '0') * w[i];
        return static_cast<char>('0' + sum % 11 % 10);
    };
    std::string s = base;
    if (s.size() == 9) {
        s += check(s, w10, 9);
    } else {
        s += check(s, w11, 10);
        s += check(s, w12, 11);
    }
    return s;
}

std::string accountWithKey(const std::string &account20, const std::string &bic)
{
    static const int w[] = {7, 1, 3};
    std::string a = account20;
    a[8] = '0';
    const std::string prefix = bic.substr(6, 3) == "000" ? "0" + bic.substr(4, 2) : bic.substr(6, 3);
    const std::string x = prefix + a;
    int sum = 0;
    for (std::size_t i = 0; i < x.size(); ++i)
        sum += (x[i] - '0') * w[i % 3] % 10;
    a[8] = static_cast<char>('0' + sum % 10 * 3 % 10);
    return a;
}

namespace {

std::uint64_t kopecks(const std::string &sum)
{ // "rubles.kk"
    const std::size_t dot = sum.find('.');
    return std::stoull(sum.substr(0, dot)) * 100 + std::stoull(sum.substr(dot + 1));
}

std::string rubles(std::uint64_t k)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llu.%02llu", static_cast<unsigned long long>(k / 100),
                  static_cast<unsigned long long>(k % 100));
    return buf;
}

// The documents of writeFile, in its order, one by one to each.
template <typename F>
void eachDoc(const Options &options, F each)
{
    Rng rng(options.seed);
    for (long i = 0; i < options.count; ++i)
        each(options.demo && i < kDemoOrders ? kDemo[static_cast<std::size_t>(i)]
                                             : randomDoc(rng, options.moneyIn, i));
}

// The 1C exchange text of the same documents: the header, the firm's account section with its
// turnovers, one payment order section per document. Values carry what the dBASE file holds
// (its widths cut them the same way), so both formats give the server the same documents.
bool writeExchange(const std::string &path, const Options &options, std::string &error)
{
    const bool dos = options.format == Format::Exchange1CDos;
    const bool utf8 = options.format == Format::Exchange1CUtf8;
    auto text = [dos, utf8](const std::string &s) { return utf8 ? s : dos ? toCp866(s) : toWin1251(s); };
    // Cut to the field's width in characters, as the dBASE file holds the value.
    auto cut = [utf8](const std::string &v, std::size_t field) {
        const std::size_t width = static_cast<std::size_t>(kFields[field].width);
        if (!utf8)
            return v.substr(0, width);
        std::size_t at = 0;
        for (std::size_t chars = 0; at < v.size() && chars < width; ++chars)
            for (++at; at < v.size() && (static_cast<unsigned char>(v[at]) & 0xC0) == 0x80; ++at) {}
        return v.substr(0, at);
    };
    std::uint64_t total = 0;
    eachDoc(options, [&](const Doc &d) { total += kopecks(d.sum); });
    const std::uint64_t opening = 100000000; // 1,000,000.00
    const std::uint64_t in = options.moneyIn ? total : 0, out = options.moneyIn ? 0 : total;
    const std::uint64_t start = opening + out;

    std::unique_ptr<FILE, int (*)(FILE *)> f(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!f) {
        error = "cannot create " + path;
        return false;
    }
    std::string buf;
    auto line = [&](const char *key, const std::string &value) {
        buf += text(key);
        buf += value;
        buf += "\r\n";
    };
    auto flush = [&]() {
        const bool ok = std::fwrite(buf.data(), 1, buf.size(), f.get()) == buf.size();
        buf.clear();
        return ok;
    };
    line("1CClientBankExchange", "");
    line("ВерсияФормата=", "1.03");
    line("Кодировка=", dos ? "DOS" : "Windows");
    line("Отправитель=", text("Клиент-Банк (clbmaker)"));
    line("Получатель=", text("Бухгалтерия"));
    line("ДатаСоздания=", "01.04.2024");
    line("ВремяСоздания=", "09:00:00");
    line("ДатаНачала=", "01.03.2024");
    line("ДатаКонца=", "31.03.2024");
    line("РасчСчет=", kFirm.account);
    line("Документ=", text("Платежное поручение"));
    line("СекцияРасчСчет", "");
    line("ДатаНачала=", "01.03.2024");
    line("ДатаКонца=", "31.03.2024");
    line("РасчСчет=", kFirm.account);
    line("НачальныйОстаток=", rubles(start));
    line("ВсегоПоступило=", rubles(in));
    line("ВсегоСписано=", rubles(out));
    line("КонечныйОстаток=", rubles(start + in - out));
    line("КонецРасчСчет", "");
    bool ok = flush();
    eachDoc(options, [&](const Doc &d) {
        if (!ok)
            return;
        const std::string date = dmy(d.date);
        line("СекцияДокумент=", text("Платежное поручение"));
        line("Номер=", cut(d.number, 0));
        line("Дата=", date);
        line("Сумма=", d.sum);
        line("ПлательщикСчет=", d.payer.account);
        if (!options.moneyIn)
            line("ДатаСписано=", date);
        line("Плательщик=", cut(text(d.payer.name), 3));
        line("ПлательщикИНН=", d.payer.inn);
        line("Плательщик1=", cut(text(d.payer.name), 3));
        line("ПлательщикРасчСчет=", d.payer.account);
        line("ПлательщикБИК=", d.payer.bic);
        line("ПолучательСчет=", d.payee.account);
        if (options.moneyIn)
            line("ДатаПоступило=", date);
        line("Получатель=", cut(text(d.payee.name), 7));
        line("ПолучательИНН=", d.payee.inn);
        line("Получатель1=", cut(text(d.payee.name), 7));
        line("ПолучательРасчСчет=", d.payee.account);
        line("ПолучательБИК=", d.payee.bic);
        // In the format's order: ВидОплаты, the purpose, then Очередность.
        line("ВидОплаты=", "01");
        line("НазначениеПлатежа=", cut(text(d.purpose), 11));
        line("Очередность=", "5");
        line("КонецДокумента", "");
        if (buf.size() > 65536)
            ok = flush();
    });
    line("КонецФайла", "");
    ok = ok && flush();
    if (!ok || std::fclose(f.release()) != 0) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace

bool writeFile(const std::string &path, const Options &options, std::string &error)
{
    if (options.count < 0) {
        error = "the number of records must not be negative";
        return false;
    }
    if (options.demo && options.moneyIn) {
        error = "--demo applies to money-out files only";
        return false;
    }
    if (options.format != Format::Dbf)
        return writeExchange(path, options, error);
    // LDID 38: the DOS Russian code page, CP866, recorded in the header.
    Dbf h(DBFCreateEx(path.c_str(), "LDID/38"));
    if (!h) {
        error = "cannot create " + path;
        return false;
    }
    DBFSetLastModifiedDate(h.get(), 124, 3, 31); // fixed, so that a seed gives the same bytes
    for (const Field &f : kFields) {
        if (DBFAddNativeFieldType(h.get(), f.name, f.type, f.width, f.decimals) < 0) {
            error = std::string("cannot add the field ") + f.name + " to " + path;
            return false;
        }
    }
    Rng rng(options.seed);
    auto put = [&](int rec, int field, const std::string &value) {
        const Field &f = kFields[static_cast<std::size_t>(field)];
        std::string v = value.substr(0, static_cast<std::size_t>(f.width));
        if (f.type == 'N') // numbers are right-aligned in their width
            v.insert(0, static_cast<std::size_t>(f.width) - v.size(), ' ');
        return DBFWriteAttributeDirectly(h.get(), rec, field, v.data()) != 0; // not modified
    };
    for (long i = 0; i < options.count; ++i) {
        const Doc d = options.demo && i < kDemoOrders ? kDemo[static_cast<std::size_t>(i)]
                                                      : randomDoc(rng, options.moneyIn, i);
        const int rec = static_cast<int>(i);
        const std::string values[] = {d.number,    d.date,          d.sum,       toCp866(d.payer.name),
                                      d.payer.inn, d.payer.account, d.payer.bic, toCp866(d.payee.name),
                                      d.payee.inn, d.payee.account, d.payee.bic, toCp866(d.purpose)};
        for (int f = 0; f < static_cast<int>(kFields.size()); ++f) {
            if (!put(rec, f, values[f])) {
                error = "cannot write record " + std::to_string(i + 1) + " to " + path;
                return false;
            }
        }
    }
    h.reset();
    return true;
}

namespace {

std::string trimRight(std::string s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::string shortestNumber(std::string s)
{
    std::size_t b = s.find_first_not_of(' ');
    s = b == std::string::npos ? std::string() : trimRight(s.substr(b));
    bool negative = !s.empty() && s[0] == '-';
    if (negative)
        s.erase(0, 1);
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0')
            s.pop_back();
        if (!s.empty() && s.back() == '.')
            s.pop_back();
    }
    std::size_t z = 0;
    while (z + 1 < s.size() && s[z] == '0' && s[z + 1] != '.')
        ++z;
    s.erase(0, z);
    return negative && !s.empty() ? "-" + s : s;
}

} // namespace

bool dumpFile(const std::string &path, std::ostream &out, std::string &error)
{
    Dbf h(DBFOpen(path.c_str(), "rb"));
    if (!h) {
        error = "cannot open " + path + " as a dBASE file";
        return false;
    }
    const int fields = DBFGetFieldCount(h.get());
    const int records = DBFGetRecordCount(h.get());
    std::vector<int> offset, width;
    int at = 1; // after the deletion flag
    for (int f = 0; f < fields; ++f) {
        int w = 0, d = 0;
        char name[XBASE_FLDNAME_LEN_READ + 1];
        DBFGetFieldInfo(h.get(), f, name, &w, &d);
        offset.push_back(at);
        width.push_back(w);
        at += w;
    }
    std::string line;
    for (int r = 0; r < records; ++r) {
        if (DBFIsRecordDeleted(h.get(), r))
            continue;
        // The record's own bytes: the attribute readers trim and parse values.
        const char *tuple = DBFReadTuple(h.get(), r);
        if (!tuple) {
            error = "cannot read record " + std::to_string(r + 1) + " of " + path;
            return false;
        }
        line.clear();
        for (int f = 0; f < fields; ++f) {
            if (f)
                line += '\x02';
            std::string v(tuple + offset[static_cast<std::size_t>(f)],
                          static_cast<std::size_t>(width[static_cast<std::size_t>(f)]));
            switch (DBFGetNativeFieldType(h.get(), f)) {
            case 'N':
            case 'F': v = shortestNumber(v); break;
            case 'D':
                v = trimRight(v);
                if (v.size() == 8)
                    v = dmy(v);
                break;
            case 'L': v = (v == "T" || v == "t" || v == "Y" || v == "y") ? "T" : v.empty() ? "" : "F"; break;
            default: v = trimRight(v);
            }
            line += v;
        }
        out << line << '\n';
    }
    return true;
}

} // namespace clb
