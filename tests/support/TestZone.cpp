// Every test program runs in one fixed time zone, however it is started, so
// the expected local times in the tests hold on any machine.

#include <cstdlib>
#include <ctime>

namespace {

struct TTestZone {
  TTestZone() {
    setenv("TZ", "Asia/Tokyo", 1);
    tzset();
  }
};

const TTestZone kTestZone;

}  // namespace
