#include "values/local_time.h"

#include <ctime>

std::string localTimeText(std::int64_t seconds, const char* format) {
  const std::time_t moment = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&moment, &local) == nullptr) return {};
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, format, &local);
  return std::string(text, length);
}
