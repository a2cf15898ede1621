#include "helper/Capture.h"

namespace helper {

int runCapture(const std::vector<std::wstring> &arguments) {
  (void)arguments;
  return 2; // not built yet
}

} // namespace helper
