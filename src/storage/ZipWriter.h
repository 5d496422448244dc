#pragma once
// A ZIP archive written front to back into a TAtomicWriter, as Office
// packages are: small entries deflated whole, and one large entry at a time
// streamed, its pieces deflated on threads of their own while the caller
// goes on producing the next. Entries, offsets or the archive past 4 GiB
// take the ZIP64 fields.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TAtomicWriter;

class TZipWriter {
 public:
  // zip64From: the size from which a field takes its 64-bit form; a test
  // lowers it to try that form without writing 4 GiB.
  explicit TZipWriter(TAtomicWriter& file, uint64_t zip64From = 0xFFFFFFFFu);
  ~TZipWriter();
  TZipWriter(const TZipWriter&) = delete;
  TZipWriter& operator=(const TZipWriter&) = delete;

  // A whole entry. False once writing the archive has failed.
  bool Add(std::string_view name, std::string_view bytes);

  // A streamed entry: Begin, any number of Write, End. No other entry may
  // be added in between.
  void Begin(std::string_view name);
  void Write(std::string_view bytes);
  bool End();

  // The central directory; after it the archive is complete and Commit of
  // the file may follow. False when anything on the way failed.
  bool Finish();

 private:
  struct TEntry {
    std::string Name;
    uint32_t Crc = 0;
    uint64_t Packed = 0, Size = 0, Offset = 0;
    bool Streamed = false;
  };
  class TStream;

  void Put(std::string_view bytes);
  void PutHeader(const TEntry& e);
  bool Big(uint64_t v) const { return v >= zip64From_; }

  TAtomicWriter& file_;
  const uint64_t zip64From_;
  uint64_t offset_ = 0;
  bool failed_ = false;
  std::vector<TEntry> entries_;
  std::unique_ptr<TStream> stream_;  // the entry between Begin and End
};
