// The local date and time, as the commands that stamp what they write read it.
#pragma once

#include "engine/Value.h"

namespace exchange {

struct LocalDateTime {
    int day, month, year, hour, minute;
    int second = 0;
};
LocalDateTime Now();
// The same as the engine holds it: what stamps the names of the copies kept beside a census.
engine::DateTime DateTimeOf(const LocalDateTime& t);
engine::DateTime NowAsDateTime();

}  // namespace exchange
