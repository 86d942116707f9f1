// Typed values of the engine and the conversion of a text into the type of a field.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/Status.h"

namespace engine {

// Field types, numbered as the dictionary's type codes expect.
enum class FieldType : int {
    Boolean = 1,
    Byte = 2,
    Integer = 3,  // 16-bit signed
    Long = 4,     // 32-bit signed
    Currency = 5,
    Single = 6,
    Double = 7,
    Date = 8,
    Text = 10,
    LongBinary = 11,
    Memo = 12,
};

struct DateTime {
    int year = 0;  // 0 when the stored value could not be read as a date
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const DateTime&) const = default;
};

bool IsValidDate(int year, int month, int day);

struct FieldView;

class Value {
  public:
    enum class Kind : std::uint8_t {
        Empty,
        Null,
        Boolean,
        Byte,
        Integer,
        Long,
        Currency,
        Single,
        Double,
        Date,
        Text,
        Memo,
        LongBinary,
    };

    Value() = default;  // Empty
    static Value Null() { return Value(Kind::Null); }
    static Value Boolean(bool v) { return Int(Kind::Boolean, v ? -1 : 0); }
    static Value Byte(std::uint8_t v) { return Int(Kind::Byte, v); }
    static Value Integer(std::int16_t v) { return Int(Kind::Integer, v); }
    static Value Long(std::int32_t v) { return Int(Kind::Long, v); }
    // Currency is fixed point with four decimals: 1.25 is held as 12500.
    static Value CurrencyScaled(std::int64_t tenThousandths) { return Int(Kind::Currency, tenThousandths); }
    static Value Single(float v) { return Real(Kind::Single, v); }
    static Value Double(double v) { return Real(Kind::Double, v); }
    static Value Date(const DateTime& d) {
        Value v(Kind::Date);
        v.date_ = d;
        return v;
    }
    static Value Text(std::string cp1252) { return Bytes(Kind::Text, std::move(cp1252)); }
    static Value Memo(std::string cp1252) { return Bytes(Kind::Memo, std::move(cp1252)); }
    static Value LongBinary(std::string bytes) { return Bytes(Kind::LongBinary, std::move(bytes)); }

    Kind kind() const { return kind_; }
    // Boolean (true is -1), Byte, Integer, Long, and Currency in ten-thousandths.
    std::int64_t AsInt() const { return int_; }
    double AsReal() const { return real_; }
    const DateTime& AsDate() const { return date_; }
    // Text and memo as Windows-1252 bytes; long binary as raw bytes.
    const std::string& AsBytes() const { return bytes_; }

    bool operator==(const Value&) const = default;

    // Makes this value the one `view` reads, reusing the storage of its bytes.
    void Assign(const FieldView& view);

    // Makes this value a null, keeping the storage it already has.
    void AssignNull() {
        kind_ = Kind::Null;
        int_ = 0;
        real_ = 0;
        date_ = DateTime{};
        bytes_.clear();
    }
    // Makes this value what Boolean, Byte, Integer, Long or CurrencyScaled (after `kind`) would make of
    // the integer as held (true as -1), keeping the storage it already has.
    void AssignInt(Kind kind, std::int64_t v) {
        kind_ = kind;
        int_ = v;
        real_ = 0;
        date_ = DateTime{};
        bytes_.clear();
    }
    // Makes this value what Text, Memo or LongBinary (after `kind`) would make of the bytes, reusing the
    // storage it already has.
    void AssignBytes(Kind kind, std::string_view bytes) {
        kind_ = kind;
        int_ = 0;
        real_ = 0;
        date_ = DateTime{};
        bytes_.assign(bytes.data(), bytes.size());
    }

  private:
    explicit Value(Kind k) : kind_(k) {}
    static Value Int(Kind k, std::int64_t v) {
        Value r(k);
        r.int_ = v;
        return r;
    }
    static Value Real(Kind k, double v) {
        Value r(k);
        r.real_ = v;
        return r;
    }
    static Value Bytes(Kind k, std::string b) {
        Value r(k);
        r.bytes_ = std::move(b);
        return r;
    }

    Kind kind_ = Kind::Empty;
    std::int64_t int_ = 0;
    double real_ = 0;
    DateTime date_;
    std::string bytes_;
};

// A field read in place: what its Value would hold, without making one. The bytes belong to whoever
// gave the view and stay valid as long as it says.
struct FieldView {
    Value::Kind kind = Value::Kind::Empty;
    std::int64_t integer = 0;  // as Value::AsInt
    double real = 0;
    DateTime date;
    std::string_view bytes;  // as Value::AsBytes
};

inline void Value::Assign(const FieldView& view) {
    kind_ = view.kind;
    int_ = view.integer;
    real_ = view.real;
    date_ = view.date;
    bytes_.assign(view.bytes.data(), view.bytes.size());
}

// Converts a text given for a field into the field's type. Integers are range-checked per type;
// Booleans accept "1", "0", "-1", any other integer and the words true/false, vero/falso, yes/no,
// sì/no, on/off; reals and currency accept "," or "." as the decimal separator; dates are read day
// first ("DD/MM/YYYY", "-" or "." also separating, an optional time "HH:MM[:SS]"). A text longer
// than the field is refused. Failures name the field and quote the text.
Result<Value> ValueFromText(FieldType type, int size, std::string_view fieldName, std::string_view text);

// The conversion of ValueFromText for the texts that convert without fail and without the general
// reading (a text that fits its field, a plain whole number within the range of an integer or Boolean
// field), made into `out` reusing its storage. False, leaving `out` alone, for any other text.
bool TryValueFromText(FieldType type, int size, std::string_view text, Value& out);
// The same for the decimal text of `whole`, without the text: false where that text would need the
// general conversion (a type not numeric, a number out of the type's range).
bool TryValueFromInt(FieldType type, std::int64_t whole, Value& out);

// The refusal of a row that leaves the required field `qualifiedField` ("table.field") null.
Status NullRefused(std::string_view qualifiedField);

// Parses a day-first date text; nothing when it is not a date.
bool ParseDate(std::string_view text, DateTime& out);

}  // namespace engine
