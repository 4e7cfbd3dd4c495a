// libFuzzer entry: the input bytes become a file, and the whole recovery runs
// on it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "fuzz/whole_recovery.h"

namespace {

std::filesystem::path WorkFolder() {
  static const std::filesystem::path folder = [] {
    auto p = std::filesystem::temp_directory_path() /
             ("korvel-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(p);
    return p;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path folder = WorkFolder();
  const std::string input = (folder / "input.db").string();
  if (FILE* f = std::fopen(input.c_str(), "wb")) {
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  korvel::RunWholeRecovery(input, folder.string());
  std::error_code ec;
  std::filesystem::remove(folder / "Repaired_fuzz.db", ec);
  std::filesystem::remove(folder / "Repaired_fuzz.db-journal", ec);
  return 0;
}
