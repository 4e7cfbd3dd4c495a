#pragma once
// File readers: every byte taken from the damaged file goes through one of
// them. Three strategies share one interface; OpenReader picks the first that
// works for a file:
//   Reader_Buffer        the whole file in memory (files under 150000000 bytes)
//   Reader_MemoryMapped  a read-only mapping of the whole file
//   Reader_Disk          positioned reads from the open file (the fallback)
// The damaged file is opened read-only and never written.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace korvel {

inline constexpr uint64_t kBufferReaderLimit = 150000000;

class Reader {
 public:
  virtual ~Reader();
  // Copies count bytes from the position into destination and advances the
  // position. Memory readers refuse (false, nothing copied) when count is not
  // smaller than the length or the range runs past the end of the data.
  virtual bool Read(void* destination, uint32_t count);
  virtual bool Seek(uint64_t offset, uint32_t origin);
  virtual bool Open(const std::string& path, uint32_t openFlags);
  virtual uint64_t GetPosition();
  virtual void Close();

  // Copies up to count bytes at offset into destination without moving the
  // position; returns how many bytes lay inside the file. Never reads past
  // the end of the file.
  virtual size_t ReadAt(uint64_t offset, void* destination, size_t count);
  // The whole file in memory (buffer and mapped readers), or null.
  virtual const uint8_t* Bytes() const { return nullptr; }

  uint64_t position = 0;
  uint64_t length = 0;
  std::string path;
};

class Reader_Buffer final : public Reader {
 public:
  ~Reader_Buffer() override;
  bool Read(void* destination, uint32_t count) override;
  bool Seek(uint64_t offset, uint32_t origin) override;
  bool Open(const std::string& path, uint32_t openFlags) override;
  size_t ReadAt(uint64_t offset, void* destination, size_t count) override;
  const uint8_t* Bytes() const override { return data_.get(); }

 private:
  std::unique_ptr<uint8_t[]> data_;
};

// Serves copies out of the mapping rather than the mapping itself, and tells
// the system, once about kMappedReleaseInterval bytes of the mapping may have
// been brought in, that the pages read so far may leave this process's
// memory: a file of many gigabytes is read with a flat footprint, its pages
// staying in the system's file cache. One touch of the mapping can bring in
// as much as the whole aligned kMappedRegion around it (the system maps
// large cached extents of a file at once), so each read that lands in
// another region than the read before counts a whole region.
inline constexpr uint64_t kMappedReleaseInterval = 64u << 20;
inline constexpr uint64_t kMappedRegion = 2u << 20;

class Reader_MemoryMapped final : public Reader {
 public:
  ~Reader_MemoryMapped() override;
  bool Read(void* destination, uint32_t count) override;
  bool Seek(uint64_t offset, uint32_t origin) override;
  bool Open(const std::string& path, uint32_t openFlags) override;
  size_t ReadAt(uint64_t offset, void* destination, size_t count) override;

 private:
  void NoteCopied(uint64_t offset, size_t count);
  const uint8_t* view_ = nullptr;
  uint64_t copiedSinceRelease_ = 0;
  uint64_t lastRegion_ = UINT64_MAX;
};

class Reader_Disk final : public Reader {
 public:
  ~Reader_Disk() override;
  bool Read(void* destination, uint32_t count) override;
  bool Seek(uint64_t offset, uint32_t origin) override;
  bool Open(const std::string& path, uint32_t openFlags) override;
  void Close() override;
  size_t ReadAt(uint64_t offset, void* destination, size_t count) override;

 private:
  bool FileStillThere() const;
  int fd_ = -1;
};

// Buffer, then mapping, then disk; none when the file cannot be opened.
std::unique_ptr<Reader> OpenReader(const std::string& path);

}  // namespace korvel
