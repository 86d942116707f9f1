#include "engine/Query.h"

#include <cstring>

#include "engine/Database.h"
#include "engine/Messages.h"
#include "engine/Sql.h"
#include "text/Text.h"

namespace engine {
namespace {

// Rows are kept compactly: each value is its kind followed by its payload (integers as zigzag
// varints, reals as 8 bytes, dates as six varints, texts as a varint length and the bytes).
void PutVarint(std::string& out, std::uint64_t v) {
    while (v >= 0x80) {
        out += static_cast<char>((v & 0x7F) | 0x80);
        v >>= 7;
    }
    out += static_cast<char>(v);
}

std::uint64_t GetVarint(const std::string& in, std::size_t& pos) {
    std::uint64_t v = 0;
    int shift = 0;
    while (true) {
        const auto b = static_cast<unsigned char>(in[pos++]);
        v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (b < 0x80) {
            return v;
        }
        shift += 7;
    }
}

void PutInt(std::string& out, std::int64_t v) {
    PutVarint(out, (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63));
}

std::int64_t GetInt(const std::string& in, std::size_t& pos) {
    const std::uint64_t z = GetVarint(in, pos);
    return static_cast<std::int64_t>((z >> 1) ^ (~(z & 1) + 1));
}

void Encode(std::string& out, const Value& v) {
    out += static_cast<char>(v.kind());
    switch (v.kind()) {
        case Value::Kind::Empty:
        case Value::Kind::Null:
            break;
        case Value::Kind::Boolean:
        case Value::Kind::Byte:
        case Value::Kind::Integer:
        case Value::Kind::Long:
        case Value::Kind::Currency:
            PutInt(out, v.AsInt());
            break;
        case Value::Kind::Single:
        case Value::Kind::Double: {
            char bytes[sizeof(double)];
            const double d = v.AsReal();
            std::memcpy(bytes, &d, sizeof d);
            out.append(bytes, sizeof bytes);
            break;
        }
        case Value::Kind::Date: {
            const DateTime& d = v.AsDate();
            for (const int part : {d.year, d.month, d.day, d.hour, d.minute, d.second}) {
                PutInt(out, part);
            }
            break;
        }
        case Value::Kind::Text:
        case Value::Kind::Memo:
        case Value::Kind::LongBinary:
            PutVarint(out, v.AsBytes().size());
            out += v.AsBytes();
            break;
    }
}

Value Decode(const std::string& in, std::size_t& pos) {
    const auto kind = static_cast<Value::Kind>(in[pos++]);
    switch (kind) {
        case Value::Kind::Empty:
            return Value();
        case Value::Kind::Null:
            return Value::Null();
        case Value::Kind::Boolean:
            return Value::Boolean(GetInt(in, pos) != 0);
        case Value::Kind::Byte:
            return Value::Byte(static_cast<std::uint8_t>(GetInt(in, pos)));
        case Value::Kind::Integer:
            return Value::Integer(static_cast<std::int16_t>(GetInt(in, pos)));
        case Value::Kind::Long:
            return Value::Long(static_cast<std::int32_t>(GetInt(in, pos)));
        case Value::Kind::Currency:
            return Value::CurrencyScaled(GetInt(in, pos));
        case Value::Kind::Single:
        case Value::Kind::Double: {
            double d = 0;
            std::memcpy(&d, in.data() + pos, sizeof d);
            pos += sizeof d;
            return kind == Value::Kind::Single ? Value::Single(static_cast<float>(d)) : Value::Double(d);
        }
        case Value::Kind::Date: {
            DateTime d;
            for (int* part : {&d.year, &d.month, &d.day, &d.hour, &d.minute, &d.second}) {
                *part = static_cast<int>(GetInt(in, pos));
            }
            return Value::Date(d);
        }
        case Value::Kind::Text:
        case Value::Kind::Memo:
        case Value::Kind::LongBinary: {
            const auto n = static_cast<std::size_t>(GetVarint(in, pos));
            std::string bytes = in.substr(pos, n);
            pos += n;
            if (kind == Value::Kind::Text) {
                return Value::Text(std::move(bytes));
            }
            return kind == Value::Kind::Memo ? Value::Memo(std::move(bytes))
                                             : Value::LongBinary(std::move(bytes));
        }
    }
    return Value::Null();
}

// Decodes into a value of the row, reusing the storage of its bytes.
void DecodeInto(const std::string& in, std::size_t& pos, Value& out) {
    const auto kind = static_cast<Value::Kind>(in[pos]);
    if (kind == Value::Kind::Text || kind == Value::Kind::Memo || kind == Value::Kind::LongBinary) {
        ++pos;
        const auto n = static_cast<std::size_t>(GetVarint(in, pos));
        out.AssignBytes(kind, std::string_view(in).substr(pos, n));
        pos += n;
        return;
    }
    switch (kind) {
        case Value::Kind::Boolean:
            ++pos;
            out.AssignInt(kind, GetInt(in, pos) != 0 ? -1 : 0);
            return;
        case Value::Kind::Byte:
            ++pos;
            out.AssignInt(kind, static_cast<std::uint8_t>(GetInt(in, pos)));
            return;
        case Value::Kind::Integer:
            ++pos;
            out.AssignInt(kind, static_cast<std::int16_t>(GetInt(in, pos)));
            return;
        case Value::Kind::Long:
            ++pos;
            out.AssignInt(kind, static_cast<std::int32_t>(GetInt(in, pos)));
            return;
        default:
            break;
    }
    out = Decode(in, pos);
}

// Encodes a stored value as the field type, as Encode(ReadValue(stored, type)) does; the common
// cases are written straight from the stored value.
void EncodeStored(std::string& out, sqlite3_value* stored, FieldType type) {
    const int storage = sqlite3_value_type(stored);
    const auto put = [&](Value::Kind kind, std::int64_t v) {
        // The kind and the zigzag varint of PutInt, appended at once.
        char bytes[1 + 10];
        std::size_t n = 0;
        bytes[n++] = static_cast<char>(kind);
        std::uint64_t z = (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
        while (z >= 0x80) {
            bytes[n++] = static_cast<char>((z & 0x7F) | 0x80);
            z >>= 7;
        }
        bytes[n++] = static_cast<char>(z);
        out.append(bytes, n);
    };
    if (storage == SQLITE_NULL) {
        out += static_cast<char>(Value::Kind::Null);
        return;
    }
    switch (type) {
        case FieldType::Boolean:
            put(Value::Kind::Boolean, sqlite3_value_int64(stored) != 0 ? -1 : 0);
            return;
        case FieldType::Byte:
            put(Value::Kind::Byte, static_cast<std::uint8_t>(sqlite3_value_int64(stored)));
            return;
        case FieldType::Integer:
            put(Value::Kind::Integer, static_cast<std::int16_t>(sqlite3_value_int64(stored)));
            return;
        case FieldType::Long:
            if (storage == SQLITE_INTEGER) {
                const std::int64_t v = sqlite3_value_int64(stored);
                if (v >= INT32_MIN && v <= INT32_MAX) {
                    put(Value::Kind::Long, v);
                    return;
                }
            }
            break;
        case FieldType::Text:
        case FieldType::Memo: {
            const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(stored));
            const std::string_view utf8(p ? p : "", static_cast<std::size_t>(sqlite3_value_bytes(stored)));
            if (detail::IsAscii(utf8)) {
                out += static_cast<char>(type == FieldType::Text ? Value::Kind::Text : Value::Kind::Memo);
                PutVarint(out, utf8.size());
                out += utf8;
                return;
            }
            const std::string bytes = text::Utf8ToCp1252Lossy(utf8);
            out += static_cast<char>(type == FieldType::Text ? Value::Kind::Text : Value::Kind::Memo);
            PutVarint(out, bytes.size());
            out += bytes;
            return;
        }
        default:
            break;
    }
    Encode(out, detail::ReadValue(stored, type));
}

}  // namespace

namespace {

// The names and declared types of a statement's columns.
void DescribeColumns(sqlite3_stmt* st, std::vector<std::string>& names, std::vector<std::string>& lowerNames,
                     std::vector<FieldType>& types, std::vector<bool>& declared) {
    const int columns = sqlite3_column_count(st);
    types.assign(static_cast<std::size_t>(columns), FieldType::Text);
    declared.assign(static_cast<std::size_t>(columns), false);
    for (int c = 0; c < columns; ++c) {
        const char* name = sqlite3_column_name(st, c);
        names.push_back(text::Utf8ToCp1252Lossy(name ? name : ""));
        lowerNames.push_back(text::LowerAscii(names.back()));
        const char* decl = sqlite3_column_decltype(st, c);
        int size = 0;
        declared[static_cast<std::size_t>(c)] =
            decl && detail::ParseDeclaredType(decl, types[static_cast<std::size_t>(c)], size);
    }
}

}  // namespace

Result<std::unique_ptr<Snapshot>> QueryDef::OpenSnapshot() {
    sqlite3* reader = db_.TakeReader();
    if (!reader) {
        return KeepInMemory();
    }
    std::unique_ptr<Snapshot> snap(new Snapshot());
    snap->owner_ = &db_;
    snap->reader_ = reader;
    // The read transaction begins with the first step and holds the rows as they are now.
    int rc = sqlite3_exec(reader, "BEGIN", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        snap->stream_ = detail::Stmt(reader, utf8Sql_);
        rc = snap->stream_.prepared() ? SQLITE_OK : snap->stream_.rc();
    }
    if (rc != SQLITE_OK) {
        return detail::Failure(reader, rc);  // the snapshot gives the reader back as it goes
    }
    DescribeColumns(snap->stream_.get(), snap->names_, snap->lowerNames_, snap->types_, snap->declared_);
    snap->row_.resize(snap->names_.size());
    if (Status first = snap->Step(); !first) {
        return first;
    }
    return snap;
}

Result<std::unique_ptr<Snapshot>> QueryDef::KeepInMemory() {
    sqlite3_stmt* st = stmt_.get();
    sqlite3_reset(st);
    std::unique_ptr<Snapshot> snap(new Snapshot());
    DescribeColumns(st, snap->names_, snap->lowerNames_, snap->types_, snap->declared_);
    const int columns = static_cast<int>(snap->names_.size());
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        snap->offsets_.push_back(snap->data_.size());
        for (int c = 0; c < columns; ++c) {
            sqlite3_value* stored = sqlite3_column_value(st, c);
            const auto i = static_cast<std::size_t>(c);
            EncodeStored(snap->data_, stored,
                         snap->declared_[i] ? snap->types_[i] : detail::NaturalType(stored));
        }
    }
    if (rc != SQLITE_DONE) {
        Status failure = detail::Failure(db_.handle(), rc);
        sqlite3_reset(st);
        return failure;
    }
    sqlite3_reset(st);
    snap->atEnd_ = snap->offsets_.empty();
    snap->DecodeCurrent();
    return snap;
}

Snapshot::~Snapshot() {
    if (reader_) {
        stream_ = detail::Stmt();
        sqlite3_exec(reader_, "COMMIT", nullptr, nullptr, nullptr);  // ends the read transaction
        owner_->ReturnReader(reader_);
    }
}

Status Snapshot::Step() {
    const int rc = stream_.Step();
    if (rc == SQLITE_ROW) {
        atEnd_ = false;
        ReadStreamed();
        return Status::Ok();
    }
    atEnd_ = true;
    row_.clear();
    return rc == SQLITE_DONE ? Status::Ok() : detail::Failure(reader_, rc);
}

void Snapshot::ReadStreamed() {
    sqlite3_stmt* st = stream_.get();
    for (std::size_t c = 0; c < row_.size(); ++c) {
        sqlite3_value* stored = sqlite3_column_value(st, static_cast<int>(c));
        detail::ReadValueInto(stored, declared_[c] ? types_[c] : detail::NaturalType(stored), row_[c]);
    }
}

void Snapshot::DecodeCurrent() {
    if (AtEnd()) {
        row_.clear();
        return;
    }
    // Every value of the row is replaced; the storage of the previous row's texts is reused.
    row_.resize(names_.size());
    std::size_t pos = offsets_[current_];
    for (Value& value : row_) {
        DecodeInto(data_, pos, value);
    }
}

Status Snapshot::MoveNext() {
    if (AtEnd()) {
        return Status::Ok();
    }
    if (reader_) {
        return Step();
    }
    ++current_;
    atEnd_ = current_ >= offsets_.size();
    DecodeCurrent();
    return Status::Ok();
}

int Snapshot::ColumnIndex(std::string_view name) const {
    const std::string lower = text::LowerAscii(name);
    for (std::size_t c = 0; c < lowerNames_.size(); ++c) {
        if (lowerNames_[c] == lower) {
            return static_cast<int>(c);
        }
    }
    return -1;
}

Result<Value> Snapshot::Field(int index) const {
    if (AtEnd()) {
        return Status::Error(text::Utf8ToCp1252Lossy("Nessun record corrente."));
    }
    if (index < 0 || index >= ColumnCount()) {
        return Status::Error(
            Describe("La colonna n. ", text::FormatInt(index), " non esiste nella selezione."));
    }
    return row_[static_cast<std::size_t>(index)];
}

Result<Value> Snapshot::Field(std::string_view name) const {
    const int index = ColumnIndex(name);
    if (index < 0) {
        return Status::Error(Describe("Il campo '", Quote(name), "' non fa parte della selezione."));
    }
    return Field(index);
}

// A query is prepared at once, so that a statement that cannot run is refused here.
Result<std::unique_ptr<QueryDef>> Database::CreateQuery(std::string_view sql) {
    const std::string utf8 = detail::Utf8(TranslateSql(sql));
    detail::Stmt st(db_, utf8);
    if (!st.prepared()) {
        if (st.rc() == SQLITE_OK) {  // nothing but blanks or comments
            return Status::Error(text::Utf8ToCp1252Lossy("L'istruzione SQL è vuota."));
        }
        return detail::Failure(db_, st.rc());
    }
    if (sqlite3_stmt_readonly(st.get()) == 0) {
        return Status::Error(
            text::Utf8ToCp1252Lossy("L'istruzione SQL di una selezione non può modificare il database."));
    }
    return std::unique_ptr<QueryDef>(new QueryDef(*this, std::move(st), utf8));
}

}  // namespace engine
