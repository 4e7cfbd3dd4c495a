#include "app/engine_factory.h"

#include "format3/sqlite_ver3.h"
#if __has_include("format2/sqlite_ver2.h")
#include "format2/sqlite_ver2.h"
#define KORVEL_HAVE_FORMAT2 1
#endif

namespace korvel::app {

std::unique_ptr<sqlite_base> MakeEngine(int version) {
  if (version == 2) return std::make_unique<sqlite_ver3>();
#ifdef KORVEL_HAVE_FORMAT2
  if (version == 1) return std::make_unique<sqlite_ver2>();
#endif
  return nullptr;
}

}  // namespace korvel::app
