#include "engine/Value.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "engine/Messages.h"

namespace engine {
namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (c == '\xEC') {  // Windows-1252 i grave: "sì"
            c = 'i';
        }
    }
    return out;
}

std::string_view Strip(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

// A plain decimal number: sign, digits, one optional "," or "." with digits, and for reals an optional
// exponent. Returns the value as a long double, or nothing.
bool ParseDecimal(std::string_view s, bool allowExponent, long double& out) {
    s = Strip(s);
    std::string normal;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        normal += s[i++];
    }
    bool digits = false;
    bool separator = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            normal += c;
            digits = true;
        } else if ((c == ',' || c == '.') && !separator) {
            normal += '.';
            separator = true;
        } else {
            break;
        }
    }
    if (!digits) {
        return false;
    }
    if (i < s.size() && allowExponent && (s[i] == 'e' || s[i] == 'E')) {
        normal += 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            normal += s[i++];
        }
        bool expDigits = false;
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
            normal += s[i];
            expDigits = true;
        }
        if (!expDigits) {
            return false;
        }
    }
    if (i != s.size()) {
        return false;
    }
    // Read without regard to the process's locale (a desktop may run with a decimal comma).
    const char* begin = normal.c_str();
    const char* end = begin + normal.size();
    if (*begin == '+') {
        ++begin;
    }
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    out = value;
    return error == std::errc() && stop == end && std::isfinite(value);
}

// A whole number of at most 15 digits with an optional sign (blanks around it allowed), as most texts
// given for numeric fields are. Such a number is read exactly even as a double and needs no rounding,
// so the general reading above would give the same value.
bool ParsePlainInteger(std::string_view s, std::int64_t& out) {
    s = Strip(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 15) {
        return false;
    }
    std::int64_t value = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    out = negative ? -value : value;
    return true;
}

Status NotANumber(std::string_view field, std::string_view text) {
    return Status::Error(
        Describe("Il valore <", Quote(text), "> non è un numero valido per il campo '", Quote(field), "'."));
}

Status OutOfRange(std::string_view field, std::string_view text, std::string_view range) {
    return Status::Error(Describe("Il valore <", Quote(text),
                                  "> è fuori dall'intervallo consentito per il campo '", Quote(field), "' (",
                                  range, ")."));
}

Result<Value> IntegerFromText(FieldType type, std::string_view field, std::string_view text) {
    long double rounded = 0;
    std::int64_t whole = 0;
    if (ParsePlainInteger(text, whole)) {
        rounded = static_cast<long double>(whole);
    } else {
        long double number = 0;
        if (!ParseDecimal(text, false, number)) {
            return NotANumber(field, text);
        }
        // Numbers with decimals are rounded half to even, as an integer conversion does.
        rounded = std::nearbyint(number);
    }
    switch (type) {
        case FieldType::Byte:
            if (rounded < 0 || rounded > 255) {
                return OutOfRange(field, text, "da 0 a 255");
            }
            return Value::Byte(static_cast<std::uint8_t>(rounded));
        case FieldType::Integer:
            if (rounded < -32768 || rounded > 32767) {
                return OutOfRange(field, text, "da -32768 a 32767");
            }
            return Value::Integer(static_cast<std::int16_t>(rounded));
        default:
            if (rounded < std::numeric_limits<std::int32_t>::min() ||
                rounded > std::numeric_limits<std::int32_t>::max()) {
                return OutOfRange(field, text, "da -2147483648 a 2147483647");
            }
            return Value::Long(static_cast<std::int32_t>(rounded));
    }
}

Result<Value> BooleanFromText(std::string_view field, std::string_view text) {
    std::int64_t whole = 0;
    if (ParsePlainInteger(text, whole)) {  // no word is made of digits
        return Value::Boolean(whole != 0);
    }
    const std::string word = Lower(Strip(text));
    if (word == "true" || word == "vero" || word == "yes" || word == "si" || word == "on") {
        return Value::Boolean(true);
    }
    if (word == "false" || word == "falso" || word == "no" || word == "off") {
        return Value::Boolean(false);
    }
    long double number = 0;
    if (!ParseDecimal(text, false, number)) {
        return Status::Error(Describe("Il valore <", Quote(text),
                                      "> non è un valore Sì/No valido per il campo '", Quote(field), "'."));
    }
    return Value::Boolean(number != 0);
}

// A currency text read exactly, without going through a binary fraction: sign, digits, one optional
// "," or "." with digits (blanks around it allowed), as ParseDecimal takes it without an exponent.
// Decimals beyond the fourth round half to even, as an integer conversion does.
enum class CurrencyReading { Read, NotANumber, OutOfRange };

CurrencyReading ParseCurrency(std::string_view s, std::int64_t& out) {
    s = Strip(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    const auto digitRun = [&s] {
        std::size_t n = 0;
        while (n < s.size() && s[n] >= '0' && s[n] <= '9') {
            ++n;
        }
        const std::string_view run = s.substr(0, n);
        s.remove_prefix(n);
        return run;
    };
    const std::string_view whole = digitRun();
    std::string_view decimals;
    if (!s.empty() && (s.front() == ',' || s.front() == '.')) {
        s.remove_prefix(1);
        decimals = digitRun();
    }
    if (!s.empty() || (whole.empty() && decimals.empty())) {
        return CurrencyReading::NotANumber;
    }
    // The magnitude in ten-thousandths; 2^63 is the largest any currency value has (the negative limit).
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
    std::uint64_t scaled = 0;
    bool beyond = false;
    const auto push = [&](unsigned digit) {
        if (beyond || scaled > (kLimit - digit) / 10) {
            beyond = true;
        } else {
            scaled = scaled * 10 + digit;
        }
    };
    for (const char c : whole) {
        push(static_cast<unsigned>(c - '0'));
    }
    for (std::size_t i = 0; i < 4; ++i) {
        push(i < decimals.size() ? static_cast<unsigned>(decimals[i] - '0') : 0U);
    }
    if (!beyond && decimals.size() > 4) {
        const char first = decimals[4];
        const bool rest = decimals.substr(5).find_first_not_of('0') != std::string_view::npos;
        if (first > '5' || (first == '5' && (rest || scaled % 2 == 1))) {
            beyond = scaled == kLimit;
            scaled += beyond ? 0 : 1;
        }
    }
    if (beyond || (!negative && scaled > kLimit - 1)) {
        return CurrencyReading::OutOfRange;
    }
    // -(2^63) held as its two's complement without overflowing on the way.
    out = negative ? static_cast<std::int64_t>(0 - scaled) : static_cast<std::int64_t>(scaled);
    return CurrencyReading::Read;
}

Result<Value> RealFromText(FieldType type, std::string_view field, std::string_view text) {
    if (type == FieldType::Currency) {
        std::int64_t scaled = 0;
        switch (ParseCurrency(text, scaled)) {
            case CurrencyReading::Read:
                return Value::CurrencyScaled(scaled);
            case CurrencyReading::NotANumber:
                return NotANumber(field, text);
            case CurrencyReading::OutOfRange:
                break;
        }
        return OutOfRange(field, text, "da -922337203685477,5808 a 922337203685477,5807");
    }
    long double number = 0;
    if (!ParseDecimal(text, true, number)) {
        return NotANumber(field, text);
    }
    if (type == FieldType::Single) {
        if (std::fabs(number) > std::numeric_limits<float>::max()) {
            return OutOfRange(field, text, "numero a precisione singola");
        }
        return Value::Single(static_cast<float>(number));
    }
    if (std::fabs(number) > std::numeric_limits<double>::max()) {
        return OutOfRange(field, text, "numero a precisione doppia");
    }
    return Value::Double(static_cast<double>(number));
}

// Reads 1 to `maxDigits` digits at `pos`; false when there are none.
bool ReadNumber(std::string_view s, std::size_t& pos, int maxDigits, int& out, int& count) {
    out = 0;
    count = 0;
    while (pos < s.size() && count < maxDigits && s[pos] >= '0' && s[pos] <= '9') {
        out = out * 10 + (s[pos++] - '0');
        ++count;
    }
    return count > 0;
}

bool ParseTime(std::string_view s, std::size_t pos, DateTime& d) {
    int digits = 0;
    if (!ReadNumber(s, pos, 2, d.hour, digits) || pos >= s.size() || s[pos++] != ':' ||
        !ReadNumber(s, pos, 2, d.minute, digits) || digits != 2) {
        return false;
    }
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        if (!ReadNumber(s, pos, 2, d.second, digits) || digits != 2) {
            return false;
        }
    }
    return pos == s.size() && d.hour < 24 && d.minute < 60 && d.second < 60;
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + ((month == 2 && leap) ? 1 : 0);
}

bool ParseDate(std::string_view text, DateTime& out) {
    const std::string_view s = Strip(text);
    std::size_t pos = 0;
    int a = 0, b = 0, c = 0, digitsA = 0, digitsB = 0, digitsC = 0;
    if (!ReadNumber(s, pos, 4, a, digitsA) || pos >= s.size()) {
        return false;
    }
    const char sep = s[pos++];
    if (sep != '/' && sep != '-' && sep != '.') {
        return false;
    }
    if (!ReadNumber(s, pos, 2, b, digitsB) || pos >= s.size() || s[pos++] != sep ||
        !ReadNumber(s, pos, 4, c, digitsC)) {
        return false;
    }
    DateTime d;
    if (digitsA == 4) {  // year first: YYYY-MM-DD
        d.year = a, d.month = b, d.day = c;
        if (digitsC > 2) {
            return false;
        }
    } else {
        if (digitsA > 2 || digitsC == 3 || digitsC == 1) {
            return false;
        }
        d.day = a, d.month = b, d.year = c;
        if (digitsC == 2) {  // two-digit years: 00-29 in this century, 30-99 in the last
            d.year += c < 30 ? 2000 : 1900;
        }
    }
    if (!IsValidDate(d.year, d.month, d.day)) {
        return false;
    }
    if (pos < s.size()) {
        if (s[pos] != ' ' && s[pos] != 'T') {
            return false;
        }
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == 'T')) {
            ++pos;
        }
        if (!ParseTime(s, pos, d)) {
            return false;
        }
    }
    out = d;
    return true;
}

bool TryValueFromInt(FieldType type, std::int64_t whole, Value& out) {
    // The numbers whose text the quick conversion of a text reads: at most 15 digits.
    constexpr std::int64_t kWidest = 999999999999999;
    switch (type) {
        case FieldType::Boolean:
            if (whole < -kWidest || whole > kWidest) {
                return false;
            }
            out.AssignInt(Value::Kind::Boolean, whole != 0 ? -1 : 0);
            return true;
        case FieldType::Byte:
            if (whole < 0 || whole > 255) {
                return false;
            }
            out.AssignInt(Value::Kind::Byte, static_cast<std::uint8_t>(whole));
            return true;
        case FieldType::Integer:
            if (whole < -32768 || whole > 32767) {
                return false;
            }
            out.AssignInt(Value::Kind::Integer, static_cast<std::int16_t>(whole));
            return true;
        case FieldType::Long:
            if (whole < std::numeric_limits<std::int32_t>::min() ||
                whole > std::numeric_limits<std::int32_t>::max()) {
                return false;
            }
            out.AssignInt(Value::Kind::Long, static_cast<std::int32_t>(whole));
            return true;
        default:
            return false;
    }
}

bool TryValueFromText(FieldType type, int size, std::string_view text, Value& out) {
    std::int64_t whole = 0;
    switch (type) {
        case FieldType::Boolean:
        case FieldType::Byte:
        case FieldType::Integer:
        case FieldType::Long:
            return ParsePlainInteger(text, whole) && TryValueFromInt(type, whole, out);
        case FieldType::Text:
            if (size > 0 && text.size() > static_cast<std::size_t>(size)) {
                return false;
            }
            out.AssignBytes(Value::Kind::Text, text);
            return true;
        case FieldType::Memo:
            out.AssignBytes(Value::Kind::Memo, text);
            return true;
        case FieldType::LongBinary:
            out.AssignBytes(Value::Kind::LongBinary, text);
            return true;
        default:
            return false;
    }
}

Status NullRefused(std::string_view qualifiedField) {
    return Status::Error(Describe("Il campo '", Quote(qualifiedField),
                                  "' non può contenere un valore Null: è obbligatorio immettere un valore."));
}

Result<Value> ValueFromText(FieldType type, int size, std::string_view field, std::string_view text) {
    switch (type) {
        case FieldType::Boolean:
            return BooleanFromText(field, text);
        case FieldType::Byte:
        case FieldType::Integer:
        case FieldType::Long:
            return IntegerFromText(type, field, text);
        case FieldType::Currency:
        case FieldType::Single:
        case FieldType::Double:
            return RealFromText(type, field, text);
        case FieldType::Date: {
            DateTime d;
            if (!ParseDate(text, d)) {
                return Status::Error(Describe("Il valore <", Quote(text),
                                              "> non è una data valida per il campo '", Quote(field),
                                              "' (attesa nella forma GG/MM/AAAA)."));
            }
            return Value::Date(d);
        }
        case FieldType::Text:
            if (size > 0 && text.size() > static_cast<std::size_t>(size)) {
                return Status::Error(Describe("Il testo <", Quote(text), "> è troppo lungo per il campo '",
                                              Quote(field), "': sono ammessi al massimo ",
                                              text::FormatInt(size), " caratteri."));
            }
            return Value::Text(std::string(text));
        case FieldType::Memo:
            return Value::Memo(std::string(text));
        case FieldType::LongBinary:
            return Value::LongBinary(std::string(text));
    }
    return Status::Error(Describe("Tipo di dato sconosciuto per il campo '", Quote(field), "'."));
}

}  // namespace engine
