#include <windows.h>

#include "platform/local_time.h"

namespace velmora {

LocalDateTime read_local_time() {
  SYSTEMTIME local;
  ::GetLocalTime(&local);
  return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

}  // namespace velmora
