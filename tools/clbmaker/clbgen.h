// Sample client-bank exports, as a bank's client software writes them for money out (payments
// made) and money in (payments received): dBASE III files with CP866 texts, or the same
// documents as a 1C exchange text (1CClientBankExchange 1.03) in Windows-1251, CP866 or UTF-8.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace clb {

enum class Format {
    Dbf,               // dBASE III, CP866 (language driver 38)
    Exchange1CWindows, // 1C exchange text, Кодировка=Windows, CR LF
    Exchange1CDos,     // 1C exchange text, Кодировка=DOS, CR LF
    Exchange1CUtf8, // 1C exchange text in UTF-8 without a byte-order mark under Кодировка=Windows,
                    // as some exports of today write it; CR LF
};

struct Options
{
    bool moneyIn = false; // false: money out, our firm pays; true: money in, our firm is paid
    long count = 0;       // number of records
    std::uint64_t seed = 0;
    bool demo = false;           // money out only: the first records are the demo's unclosed orders
    Format format = Format::Dbf; // the same seed gives the same documents in every format
};

// Number of demo orders that --demo puts at the start of a money-out file.
constexpr int kDemoOrders = 3;

// Writes the file; on failure returns false with a message in error.
bool writeFile(const std::string &path, const Options &options, std::string &error);

// Prints each record of a DBF file on one line: the field values joined by chr(2), in the
// text forms of the gateway's DBF layer (character values without trailing blanks and with
// their bytes unchanged, numbers as the shortest decimal text of their digits, dates as
// DD.MM.YYYY, logicals T or F). On failure returns false with a message in error.
bool dumpFile(const std::string &path, std::ostream &out, std::string &error);

// UTF-8 to CP866 or Windows-1251 for ASCII, Cyrillic letters and the number sign; anything
// else becomes '?'.
std::string toCp866(const std::string &utf8);
std::string toWin1251(const std::string &utf8);

// Check digits used by the generated data.
std::string innWithCheck(const std::string &base); // 9 or 11 digits in
std::string accountWithKey(const std::string &account20, const std::string &bic);

} // namespace clb
