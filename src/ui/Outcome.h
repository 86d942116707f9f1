// The result of every operation from the access layer up to the front ends. A failure has already been
// shown to the person, once, where it was detected; the caller is told what happened: the work was
// done, the person cancelled it, it was refused (the census or the file does not pass), or it failed
// (with the engine's result code and its description where the engine was the one to fail). A caller
// abandons its command when the work was not done. A result cannot be dropped without saying why.
#pragma once

#include <string>
#include <utility>

namespace ui {

enum class Ending { Done, Cancelled, Refused, Failed };

class [[nodiscard]] Outcome {
  public:
    static Outcome Done() { return Outcome(Ending::Done); }
    static Outcome Cancelled() { return Outcome(Ending::Cancelled); }
    static Outcome Refused() { return Outcome(Ending::Refused); }
    // `engineCode`: the engine's extended result code, 0 when the engine did not fail; `cause`: its
    // description of the failure (Windows-1252), as shown to the person.
    static Outcome Failed(int engineCode = 0, std::string cause = {}) {
        Outcome failed(Ending::Failed);
        failed.engineCode_ = engineCode;
        failed.cause_ = std::move(cause);
        return failed;
    }
    static Outcome DoneIf(bool done) { return done ? Done() : Failed(); }

    Ending ending() const { return ending_; }
    bool done() const { return ending_ == Ending::Done; }
    explicit operator bool() const { return done(); }
    int engineCode() const { return engineCode_; }
    const std::string& cause() const { return cause_; }

    // Drops the result on purpose; `why` tells the reader why nothing depends on it.
    constexpr void Ignore([[maybe_unused]] const char* why) const {}

  private:
    explicit Outcome(Ending ending) : ending_(ending) {}
    Ending ending_;
    int engineCode_ = 0;
    std::string cause_;
};

}  // namespace ui
