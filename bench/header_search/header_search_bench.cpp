// The header search over a 1 GiB file whose database header sits near its
// end: the whole file is searched before the header is found. The file is
// sparse (holes read as zero bytes), so it costs no disk space. The search
// must run at 1 GB/s or more; the bytes_per_second counter is the figure.
//
// The file is read once before timing: the very first read of a fresh sparse
// file is bounded by the kernel filling its page cache (about 0.2 GB/s here,
// whatever reads it), which measures the kernel, not the search. Each timed
// iteration opens the file through OpenReader, as the detection does, and
// searches it.
//
// Usage: header_search_bench [--benchmark_...] ; KORVEL_BENCH_DIR picks the
// folder of the file (default: the system's temporary folder).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "core/database_detection.h"
#include "core/reader.h"

namespace {

constexpr uint64_t kFileLength = uint64_t{1} << 30;
constexpr uint64_t kHeaderPosition = kFileLength - 8192;

// Makes the sparse file once per process and removes it at exit.
const std::string& SparseFile() {
  static const std::string path = [] {
    const char* folder = std::getenv("KORVEL_BENCH_DIR");
    const std::filesystem::path dir = folder ? folder : std::filesystem::temp_directory_path();
    std::string p = (dir / ("korvel-header-search-" + std::to_string(::getpid()) + ".bin")).string();
    const int fd = ::open(p.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(kFileLength)) != 0) {
      throw std::runtime_error("cannot create " + p);
    }
    // A few stray near-misses on the way, then the header itself.
    for (uint64_t at : {uint64_t{4096}, kFileLength / 2, kFileLength / 4 * 3}) {
      if (::pwrite(fd, "SQLite format", 13, static_cast<off_t>(at)) != 13) throw std::runtime_error("write");
    }
    if (::pwrite(fd, korvel::kFormat3Magic, korvel::kFormat3MagicLength,
                 static_cast<off_t>(kHeaderPosition)) != static_cast<ssize_t>(korvel::kFormat3MagicLength)) {
      throw std::runtime_error("write");
    }
    ::close(fd);
    // Warm the page cache (see above).
    const int in = ::open(p.c_str(), O_RDONLY);
    std::string block(1 << 20, '\0');
    for (off_t at = 0; ::pread(in, block.data(), block.size(), at) > 0; at += block.size()) {
    }
    ::close(in);
    std::atexit([] { std::filesystem::remove(SparseFile()); });
    return p;
  }();
  return path;
}

void BM_FindHeaderPosition(benchmark::State& state) {
  const std::string& path = SparseFile();
  const std::string_view needle(korvel::kFormat3Magic, korvel::kFormat3MagicLength);
  bool mapped = false;
  for (auto _ : state) {
    std::unique_ptr<korvel::Reader> reader = korvel::OpenReader(path);
    if (!reader) {
      state.SkipWithError("cannot open the file");
      return;
    }
    mapped = reader->Bytes() != nullptr;
    const uint64_t found = korvel::FindHeaderPosition(*reader, needle, 0, reader->length - 513);
    if (found != kHeaderPosition) {
      state.SkipWithError("the header was not found where it was written");
      return;
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kHeaderPosition));
  state.SetLabel(mapped ? "OpenReader: mapped reader" : "OpenReader: disk reader");
}
BENCHMARK(BM_FindHeaderPosition)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same search through a reader without the whole file in memory.
void BM_FindHeaderPositionDiskReader(benchmark::State& state) {
  korvel::Reader_Disk reader;
  if (!reader.Open(SparseFile(), 0)) {
    state.SkipWithError("cannot open the file");
    return;
  }
  const std::string_view needle(korvel::kFormat3Magic, korvel::kFormat3MagicLength);
  for (auto _ : state) {
    const uint64_t found = korvel::FindHeaderPosition(reader, needle, 0, reader.length - 513);
    if (found != kHeaderPosition) {
      state.SkipWithError("the header was not found where it was written");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kHeaderPosition));
}
BENCHMARK(BM_FindHeaderPositionDiskReader)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
