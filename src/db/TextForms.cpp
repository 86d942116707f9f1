#include "db/TextForms.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "text/Text.h"

namespace db {
namespace {

// "%020.4f" with "," for the decimal point, written without regard to the process's locale.
std::string DoubleText(double value) {
    char buffer[512];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
    std::string out = error == std::errc() ? std::string(buffer, end) : std::string();
    if (std::isfinite(value)) {
        const std::size_t sign = out.starts_with("-") ? 1 : 0;
        if (out.size() < 20) {
            out.insert(sign, 20 - out.size(), '0');
        }
    }
    for (char& c : out) {
        if (c == '.') {
            c = ',';
        }
    }
    return out;
}

// The plain conversion of a currency value: integer part, and up to four decimals after ",".
std::string CurrencyPlain(std::int64_t scaled) {
    const bool negative = scaled < 0;
    const std::uint64_t magnitude =
        negative ? static_cast<std::uint64_t>(-(scaled + 1)) + 1 : static_cast<std::uint64_t>(scaled);
    std::string out = negative ? "-" : "";
    out += std::to_string(magnitude / 10000);
    std::string decimals = text::FormatIntZeroPadded(static_cast<std::int64_t>(magnitude % 10000), 4);
    while (!decimals.empty() && decimals.back() == '0') {
        decimals.pop_back();
    }
    if (!decimals.empty()) {
        out += "," + decimals;
    }
    return out;
}

std::string CurrencyText(std::int64_t scaled) {
    const std::string plain = CurrencyPlain(scaled);
    std::string out(21, '0');
    out[0] = plain.starts_with("-") ? '-' : '+';
    const std::size_t sep = plain.find_first_of(",.");
    std::string integer = plain.substr(0, sep);
    const std::string decimals = sep == std::string::npos ? "" : plain.substr(sep + 1);
    if (integer.starts_with("-")) {
        integer.erase(0, 1);
    }
    // Positions 1 to 15: the integer part right-aligned; 16: ","; 17 to 20: the decimals.
    for (std::size_t i = 0; i < integer.size() && i < 15; ++i) {
        out[15 - i] = integer[integer.size() - 1 - i];
    }
    out[16] = ',';
    for (std::size_t i = 0; i < decimals.size() && i < 4; ++i) {
        out[17 + i] = decimals[i];
    }
    return out;
}

}  // namespace

std::string DateToText(const engine::DateTime& date) {
    if (date.year <= 1600 || !engine::IsValidDate(date.year, date.month, date.day)) {
        return kNoDate;
    }
    if (date.year >= 2400) {
        return kEndOfTime;
    }
    return text::FormatDate(date.day, date.month, date.year);
}

std::string ValueToText(const engine::Value& value) {
    using Kind = engine::Value::Kind;
    switch (value.kind()) {
        case Kind::Integer:
        case Kind::Long:
        case Kind::Byte:
            return text::FormatInt(value.AsInt());
        case Kind::Boolean:
            return value.AsInt() != 0 ? "1" : "0";
        case Kind::Double:
            return DoubleText(value.AsReal());
        case Kind::Currency:
            return CurrencyText(value.AsInt());
        case Kind::Date:
            return DateToText(value.AsDate());
        case Kind::Text:
        case Kind::Memo:
            return value.AsBytes();
        case Kind::Single:
        case Kind::Empty:
        case Kind::Null:
        case Kind::LongBinary:
            return {};
    }
    return {};
}

std::string ValueToTextWithBlob(const engine::Value& value) {
    std::string out =
        value.kind() == engine::Value::Kind::LongBinary
            ? "BLOB [" + text::FormatInt(static_cast<std::int64_t>(value.AsBytes().size())) + " bytes]"
            : ValueToText(value);
    const std::size_t last = out.find_last_not_of(' ');
    out.erase(last == std::string::npos ? (out.empty() ? 0 : 1) : last + 1);
    return out;
}

}  // namespace db
