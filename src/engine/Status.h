// Results of engine operations: success, or failure with a description in Italian that a clerk can
// read (Windows-1252 bytes, like every text of the core).
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace engine {

class [[nodiscard]] Status {
  public:
    Status() = default;
    static Status Ok() { return {}; }
    // `code`: SQLite's extended result code when SQLite failed, 0 for the engine's own refusals.
    static Status Error(std::string description, int code = 0) {
        Status s;
        s.failed_ = true;
        s.description_ = std::move(description);
        s.code_ = code;
        return s;
    }
    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& description() const { return description_; }
    // What SQLite said (a full disk, a lock, a read-only file, a damaged one are told apart by it); 0
    // when the failure was none of SQLite's.
    int code() const { return code_; }

  private:
    bool failed_ = false;
    std::string description_;
    int code_ = 0;
};

template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : value_(std::move(value)) {}        // NOLINT(google-explicit-constructor)
    Result(Status error) : status_(std::move(error)) {}  // NOLINT(google-explicit-constructor)
    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    T& value() { return *value_; }
    const T& value() const { return *value_; }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    const Status& status() const { return status_; }
    const std::string& description() const { return status_.description(); }

  private:
    std::optional<T> value_;
    Status status_;
};

}  // namespace engine
