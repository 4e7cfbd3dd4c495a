#include "core/reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace korvel {
namespace {

int OpenReadOnly(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

uint64_t FileLength(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || st.st_size < 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

// Reads exactly count bytes at offset unless the file ends first.
size_t PreadAll(int fd, uint64_t offset, void* destination, size_t count) {
  auto* out = static_cast<uint8_t*>(destination);
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd, out + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

size_t CopyFromMemory(const uint8_t* data, uint64_t length, uint64_t offset, void* destination,
                      size_t count) {
  if (data == nullptr || offset >= length) return 0;
  const uint64_t available = length - offset;
  const size_t n = available < count ? static_cast<size_t>(available) : count;
  std::memcpy(destination, data + offset, n);
  return n;
}

bool MemoryRead(const uint8_t* data, uint64_t length, uint64_t& position, void* destination,
                uint32_t count) {
  if (data == nullptr || count >= length) return false;
  if (position > length || length - position < count) return false;
  std::memcpy(destination, data + position, count);
  position += count;
  return true;
}

bool MemorySeek(const uint8_t* data, uint64_t length, uint64_t& position, uint64_t offset) {
  if (data == nullptr || offset >= length) return false;
  position = offset;
  return true;
}

}  // namespace

Reader::~Reader() = default;
bool Reader::Read(void*, uint32_t) { return true; }
bool Reader::Seek(uint64_t, uint32_t) { return true; }
bool Reader::Open(const std::string&, uint32_t) { return true; }
uint64_t Reader::GetPosition() { return position; }
void Reader::Close() {}
size_t Reader::ReadAt(uint64_t, void*, size_t) { return 0; }

// --- Reader_Buffer ---

Reader_Buffer::~Reader_Buffer() = default;

bool Reader_Buffer::Open(const std::string& filePath, uint32_t) {
  const int fd = OpenReadOnly(filePath);
  if (fd < 0) return false;
  position = 0;
  length = FileLength(fd);
  path = filePath;
  bool ok = false;
  if (length != 0 && length < kBufferReaderLimit) {
    data_.reset(new (std::nothrow) uint8_t[length]);
    if (data_ && PreadAll(fd, 0, data_.get(), length) == length) {
      ok = true;
    } else {
      data_.reset();
    }
  }
  ::close(fd);
  return ok;
}

bool Reader_Buffer::Read(void* destination, uint32_t count) {
  return MemoryRead(data_.get(), length, position, destination, count);
}

bool Reader_Buffer::Seek(uint64_t offset, uint32_t) {
  return MemorySeek(data_.get(), length, position, offset);
}

size_t Reader_Buffer::ReadAt(uint64_t offset, void* destination, size_t count) {
  return CopyFromMemory(data_.get(), length, offset, destination, count);
}

// --- Reader_MemoryMapped ---

Reader_MemoryMapped::~Reader_MemoryMapped() {
  if (view_ != nullptr) ::munmap(const_cast<uint8_t*>(view_), length);
}

bool Reader_MemoryMapped::Open(const std::string& filePath, uint32_t) {
  const int fd = OpenReadOnly(filePath);
  if (fd < 0) return false;
  position = 0;
  path = filePath;
  length = FileLength(fd);
  if (length != 0 && length <= SIZE_MAX) {
    void* view = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
    if (view != MAP_FAILED) {
      view_ = static_cast<const uint8_t*>(view);
    }
  }
  ::close(fd);  // the mapping keeps the file open
  return view_ != nullptr;
}

void Reader_MemoryMapped::NoteCopied(uint64_t offset, size_t count) {
  const uint64_t region = offset / kMappedRegion;
  copiedSinceRelease_ += count;
  if (region != lastRegion_) {
    lastRegion_ = region;
    copiedSinceRelease_ += kMappedRegion;
  }
  if (copiedSinceRelease_ >= kMappedReleaseInterval) {
    copiedSinceRelease_ = 0;
    lastRegion_ = UINT64_MAX;
    ::madvise(const_cast<uint8_t*>(view_), length, MADV_DONTNEED);
  }
}

bool Reader_MemoryMapped::Read(void* destination, uint32_t count) {
  const uint64_t at = position;
  if (!MemoryRead(view_, length, position, destination, count)) return false;
  NoteCopied(at, count);
  return true;
}

bool Reader_MemoryMapped::Seek(uint64_t offset, uint32_t) {
  return MemorySeek(view_, length, position, offset);
}

size_t Reader_MemoryMapped::ReadAt(uint64_t offset, void* destination, size_t count) {
  const size_t n = CopyFromMemory(view_, length, offset, destination, count);
  NoteCopied(offset, n);
  return n;
}

// --- Reader_Disk ---

Reader_Disk::~Reader_Disk() { Close(); }

bool Reader_Disk::Open(const std::string& filePath, uint32_t) {
  fd_ = OpenReadOnly(filePath);
  if (fd_ < 0) return false;
  position = 0;
  path = filePath;
  length = FileLength(fd_);
  if (!FileStillThere()) {
    Close();
    return false;
  }
  return true;
}

bool Reader_Disk::FileStillThere() const {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool Reader_Disk::Read(void* destination, uint32_t count) {
  if (fd_ < 0 || !FileStillThere()) return false;
  // Near the end of the file fewer bytes arrive; the rest of the destination
  // keeps what it held.
  const size_t n = PreadAll(fd_, position, destination, count);
  position += n;
  return true;
}

bool Reader_Disk::Seek(uint64_t offset, uint32_t) {
  if (fd_ < 0 || !FileStillThere()) return false;
  position = offset;
  return true;
}

void Reader_Disk::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

size_t Reader_Disk::ReadAt(uint64_t offset, void* destination, size_t count) {
  if (fd_ < 0 || offset >= length) return 0;
  const uint64_t available = length - offset;
  return PreadAll(fd_, offset, destination, available < count ? available : count);
}

// --- the cascade ---

std::unique_ptr<Reader> OpenReader(const std::string& path) {
  {
    auto reader = std::unique_ptr<Reader>(new (std::nothrow) Reader_Buffer());
    if (reader && reader->Open(path, 0)) return reader;
  }
  {
    auto reader = std::unique_ptr<Reader>(new (std::nothrow) Reader_MemoryMapped());
    if (reader && reader->Open(path, 0)) return reader;
  }
  {
    auto reader = std::unique_ptr<Reader>(new (std::nothrow) Reader_Disk());
    if (reader && reader->Open(path, 0)) return reader;
  }
  return nullptr;
}

}  // namespace korvel
