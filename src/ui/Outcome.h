// The result of every operation from the access layer up to the front ends. A failure has already been
// shown to the person, once, where it was detected; the caller is told only whether the work was done,
// and abandons its command when it was not. A result cannot be dropped without saying why.
#pragma once

namespace ui {

class [[nodiscard]] Outcome {
  public:
    static constexpr Outcome Done() { return Outcome(true); }
    static constexpr Outcome Failed() { return Outcome(false); }
    static constexpr Outcome DoneIf(bool done) { return Outcome(done); }

    constexpr bool done() const { return done_; }
    constexpr explicit operator bool() const { return done_; }

    // Drops the result on purpose; `why` tells the reader why nothing depends on it.
    constexpr void Ignore([[maybe_unused]] const char* why) const {}

  private:
    constexpr explicit Outcome(bool done) : done_(done) {}
    bool done_;
};

}  // namespace ui
