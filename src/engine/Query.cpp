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

void Encode(std::string& out, const FieldView& v) {
    out += static_cast<char>(v.kind);
    switch (v.kind) {
        case Value::Kind::Empty:
        case Value::Kind::Null:
            break;
        case Value::Kind::Boolean:
        case Value::Kind::Byte:
        case Value::Kind::Integer:
        case Value::Kind::Long:
        case Value::Kind::Currency:
            PutInt(out, v.integer);
            break;
        case Value::Kind::Single:
        case Value::Kind::Double: {
            char bytes[sizeof(double)];
            std::memcpy(bytes, &v.real, sizeof v.real);
            out.append(bytes, sizeof bytes);
            break;
        }
        case Value::Kind::Date:
            for (const int part :
                 {v.date.year, v.date.month, v.date.day, v.date.hour, v.date.minute, v.date.second}) {
                PutInt(out, part);
            }
            break;
        case Value::Kind::Text:
        case Value::Kind::Memo:
        case Value::Kind::LongBinary:
            PutVarint(out, v.bytes.size());
            out += v.bytes;
            break;
    }
}

// Reads the value encoded at `pos` in place (its bytes are those of `in`) and moves past it.
void Decode(const std::string& in, std::size_t& pos, FieldView& out) {
    out = FieldView{};
    out.kind = static_cast<Value::Kind>(in[pos++]);
    switch (out.kind) {
        case Value::Kind::Empty:
        case Value::Kind::Null:
            return;
        case Value::Kind::Boolean:
            out.integer = GetInt(in, pos) != 0 ? -1 : 0;
            return;
        case Value::Kind::Byte:
            out.integer = static_cast<std::uint8_t>(GetInt(in, pos));
            return;
        case Value::Kind::Integer:
            out.integer = static_cast<std::int16_t>(GetInt(in, pos));
            return;
        case Value::Kind::Long:
            out.integer = static_cast<std::int32_t>(GetInt(in, pos));
            return;
        case Value::Kind::Currency:
            out.integer = GetInt(in, pos);
            return;
        case Value::Kind::Single:
        case Value::Kind::Double:
            std::memcpy(&out.real, in.data() + pos, sizeof out.real);
            pos += sizeof out.real;
            if (out.kind == Value::Kind::Single) {
                out.real = static_cast<float>(out.real);
            }
            return;
        case Value::Kind::Date:
            for (int* part : {&out.date.year, &out.date.month, &out.date.day, &out.date.hour,
                              &out.date.minute, &out.date.second}) {
                *part = static_cast<int>(GetInt(in, pos));
            }
            return;
        case Value::Kind::Text:
        case Value::Kind::Memo:
        case Value::Kind::LongBinary: {
            const auto n = static_cast<std::size_t>(GetVarint(in, pos));
            out.bytes = std::string_view(in).substr(pos, n);
            pos += n;
            return;
        }
    }
    out.kind = Value::Kind::Null;
}

// Encodes a stored value as the field type, as the snapshot would read it back.
void EncodeStored(std::string& out, sqlite3_value* stored, FieldType type, std::string& scratch) {
    FieldView view;
    detail::ViewStored(stored, type, scratch, view);
    Encode(out, view);
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
    snap->scratch_.resize(snap->names_.size());
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
    snap->scratch_.resize(1);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        snap->offsets_.push_back(snap->data_.size());
        for (int c = 0; c < columns; ++c) {
            sqlite3_value* stored = sqlite3_column_value(st, c);
            const auto i = static_cast<std::size_t>(c);
            EncodeStored(snap->data_, stored,
                         snap->declared_[i] ? snap->types_[i] : detail::NaturalType(stored),
                         snap->scratch_[0]);
        }
    }
    if (rc != SQLITE_DONE) {
        Status failure = detail::Failure(db_.handle(), rc);
        sqlite3_reset(st);
        return failure;
    }
    sqlite3_reset(st);
    snap->atEnd_ = snap->offsets_.empty();
    snap->fieldsAt_.assign(snap->names_.size(), 0);
    snap->MovedTo();
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
    atEnd_ = rc != SQLITE_ROW;
    MovedTo();
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? Status::Ok() : detail::Failure(reader_, rc);
}

void Snapshot::MovedTo() {
    decoded_ = false;
    if (AtEnd() || reader_) {
        return;
    }
    // Where each field of the kept row begins.
    std::size_t pos = offsets_[current_];
    FieldView skipped;
    for (std::size_t& at : fieldsAt_) {
        at = pos;
        Decode(data_, pos, skipped);
    }
}

void Snapshot::ViewAt(std::size_t c, FieldView& out) const {
    if (reader_) {
        sqlite3_value* stored = sqlite3_column_value(stream_.get(), static_cast<int>(c));
        detail::ViewStored(stored, declared_[c] ? types_[c] : detail::NaturalType(stored), scratch_[c], out);
    } else {
        std::size_t pos = fieldsAt_[c];
        Decode(data_, pos, out);
    }
}

bool Snapshot::ViewField(int index, FieldView& out) const {
    if (AtEnd() || index < 0 || index >= ColumnCount()) {
        return false;
    }
    ViewAt(static_cast<std::size_t>(index), out);
    return true;
}

bool Snapshot::ViewFields(FieldView* out) const {
    if (AtEnd()) {
        return false;
    }
    for (std::size_t c = 0; c < names_.size(); ++c) {
        ViewAt(c, out[c]);
    }
    return true;
}

const Value* Snapshot::FieldIfAny(int index) const {
    if (AtEnd() || index < 0 || index >= ColumnCount()) {
        return nullptr;
    }
    if (!decoded_) {
        // The whole row at once, each value reusing the storage of the previous row's.
        row_.resize(names_.size());
        FieldView view;
        for (std::size_t c = 0; c < row_.size(); ++c) {
            ViewField(static_cast<int>(c), view);
            row_[c].Assign(view);
        }
        decoded_ = true;
    }
    return &row_[static_cast<std::size_t>(index)];
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
    MovedTo();
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
    return *FieldIfAny(index);
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
