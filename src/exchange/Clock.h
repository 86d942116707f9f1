// The local date and time, as the commands that stamp what they write read it.
#pragma once

namespace exchange {

struct LocalDateTime {
    int day, month, year, hour, minute;
    int second = 0;
};
LocalDateTime Now();

}  // namespace exchange
