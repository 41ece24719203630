// The local date and time of day, as the run report's stamps and the blank mesh's
// version record print them.
#pragma once

namespace trevo {

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;  // hour 0-23
};
LocalTime local_time_now();

}  // namespace trevo
