#pragma once
// The recovery engine for a detected version: 2 (format 3) sqlite_ver3,
// 1 (format 2.1) sqlite_ver2 when that engine is part of the build; null
// otherwise.

#include <memory>

#include "core/sqlite_base.h"

namespace korvel::app {

std::unique_ptr<sqlite_base> MakeEngine(int version);

}  // namespace korvel::app
