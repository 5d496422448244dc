#include "storage/ZipWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>

#include "storage/AtomicFile.h"

namespace {

// A streamed entry is cut into pieces of this size, each deflated by itself
// (ended on a byte boundary, so the pieces join into one deflate stream).
// Starting each piece without the previous one's window costs a few bytes
// per piece.
constexpr size_t kPieceBytes = 1 << 20;
// The fastest level: the sheet's XML repeats itself so much that the higher
// levels gain little and take several times as long.
constexpr int kStreamLevel = 1;
constexpr int kWholeLevel = 6;
constexpr uint32_t kMax32 = 0xFFFFFFFFu;
constexpr uint16_t kVersion = 20, kVersionZip64 = 45;
constexpr uint16_t kFlagDescriptor = 0x0008;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kZip64Tag = 0x0001;

void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v & 0xFFFF));
  Put16(out, static_cast<uint16_t>(v >> 16));
}
void Put64(std::string& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v & kMax32));
  Put32(out, static_cast<uint32_t>(v >> 32));
}

// The MS-DOS date and time the entries carry: now, in local time.
std::pair<uint16_t, uint16_t> DosNow() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  const int year = std::clamp(t.tm_year + 1900, 1980, 2107);
  return {static_cast<uint16_t>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2)),
          static_cast<uint16_t>(((year - 1980) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday)};
}

// Raw deflate of one piece into out, whose first bytes it replaces; the
// piece ends on a byte boundary (a sync flush), the last one ends the
// stream. Returns the length written, or -1 when zlib fails (out of memory).
long long DeflatePiece(z_stream& z, std::string_view in, bool last, std::string& out) {
  if (deflateReset(&z) != Z_OK) return -1;
  // The bound holds for a finished stream; a sync flush adds an empty block.
  const size_t bound = deflateBound(&z, static_cast<uLong>(in.size())) + 16;
  if (out.size() < bound) out.resize(bound);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
  const bool ok = last ? rc == Z_STREAM_END : rc == Z_OK && z.avail_in == 0 && z.avail_out > 0;
  return ok ? static_cast<long long>(out.size() - z.avail_out) : -1;
}

struct TDeflater {
  z_stream Z{};
  bool Ok = false;
  explicit TDeflater(int level) { Ok = deflateInit2(&Z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK; }
  ~TDeflater() {
    if (Ok) deflateEnd(&Z);
  }
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;
};

}  // namespace

// The deflating of one streamed entry. The caller's thread fills pieces and
// writes the finished ones to the archive in their order; the workers
// deflate the pieces queued and take their checksums.
class TZipWriter::TStream {
 public:
  struct TSums {
    uint32_t Crc = 0;
    uint64_t Packed = 0, Size = 0;
    bool Ok = true;
  };

  explicit TStream(TZipWriter& zip) : zip_(zip) {
    // More workers than four would only hold more pieces in memory: the
    // rows cannot be turned into XML faster than four deflate it.
    const unsigned n = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    maxPieces_ = 2 * n + 1;
    current_ = NewPiece();
    for (unsigned i = 0; i < n; ++i) workers_.emplace_back([this] { Work(); });
  }

  ~TStream() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    queued_.notify_all();
    for (std::thread& t : workers_) t.join();
  }

  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  void Write(std::string_view bytes) {
    current_->In.append(bytes);
    if (current_->In.size() >= kPieceBytes) Submit(false);
  }

  TSums End() {
    Submit(true);
    std::unique_lock lock(mutex_);
    while (!pieces_.empty()) WriteFirst(lock);
    return sums_;
  }

 private:
  enum class TState { Queued, Working, Done };
  struct TPiece {
    std::string In, Out;  // Out holds Packed bytes of the deflated piece
    size_t Packed = 0;
    uint32_t Crc = 0;
    bool Last = false, Ok = false;
    TState State = TState::Queued;
  };

  std::unique_ptr<TPiece> NewPiece() {
    std::unique_ptr<TPiece> p;
    if (spare_.empty()) {
      p = std::make_unique<TPiece>();
      p->In.reserve(kPieceBytes + kPieceBytes / 8);
      // Room for what deflate can make of a full piece, taken here rather
      // than on a worker, whose heap would keep it after the thread ends.
      p->Out.resize(p->In.capacity() + p->In.capacity() / 64 + 64);
    } else {
      p = std::move(spare_.back());
      spare_.pop_back();
      p->In.clear();
    }
    p->State = TState::Queued;
    return p;
  }

  // Queues the piece being filled, then writes what is finished; waits only
  // while as many pieces are under way as the queue holds.
  void Submit(bool last) {
    current_->Last = last;
    std::unique_lock lock(mutex_);
    pieces_.push_back(std::move(current_));
    queued_.notify_one();
    while (!pieces_.empty() && (pieces_.front()->State == TState::Done || pieces_.size() >= maxPieces_))
      WriteFirst(lock);
    assert(pieces_.size() < maxPieces_);
    lock.unlock();
    if (!last) current_ = NewPiece();
  }

  // Waits for the oldest piece and writes it out. The lock is let go while
  // writing: only this thread touches pieces that are Done.
  void WriteFirst(std::unique_lock<std::mutex>& lock) {
    done_.wait(lock, [this] { return pieces_.front()->State == TState::Done; });
    std::unique_ptr<TPiece> p = std::move(pieces_.front());
    pieces_.pop_front();
    assert(p->State == TState::Done);
    lock.unlock();
    if (!p->Ok) sums_.Ok = false;
    if (sums_.Ok) {
      sums_.Crc = static_cast<uint32_t>(crc32_combine(sums_.Crc, p->Crc, static_cast<z_off_t>(p->In.size())));
      sums_.Size += p->In.size();
      sums_.Packed += p->Packed;
      zip_.Put(std::string_view(p->Out).substr(0, p->Packed));
    }
    spare_.push_back(std::move(p));
    lock.lock();
  }

  void Work() {
    TDeflater deflater(kStreamLevel);
    std::unique_lock lock(mutex_);
    for (;;) {
      TPiece* piece = nullptr;
      queued_.wait(lock, [&] {
        for (auto& p : pieces_)
          if (p->State == TState::Queued) {
            piece = p.get();
            return true;
          }
        return stop_;
      });
      if (!piece) return;
      piece->State = TState::Working;
      lock.unlock();
      // A Working piece belongs to this thread alone until it is Done.
      long long packed = -1;
      try {
        if (deflater.Ok) packed = DeflatePiece(deflater.Z, piece->In, piece->Last, piece->Out);
        piece->Crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(piece->In.data()), static_cast<uInt>(piece->In.size())));
      } catch (const std::bad_alloc&) {
        packed = -1;
      }
      lock.lock();
      piece->Ok = packed >= 0;
      piece->Packed = piece->Ok ? static_cast<size_t>(packed) : 0;
      piece->State = TState::Done;
      done_.notify_all();
    }
  }

  TZipWriter& zip_;
  size_t maxPieces_ = 0;
  // Only the caller's thread touches these.
  std::unique_ptr<TPiece> current_;
  std::vector<std::unique_ptr<TPiece>> spare_;
  TSums sums_;

  std::mutex mutex_;
  std::condition_variable queued_, done_;
  // Guarded by mutex_: the queue in the entry's order, its pieces' State, and
  // stop_. A piece's other members belong to whoever set its State: the
  // caller while Queued or Done, one worker while Working.
  std::deque<std::unique_ptr<TPiece>> pieces_;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

TZipWriter::TZipWriter(TAtomicWriter& file, uint64_t zip64From) : file_(file), zip64From_(zip64From) {}

TZipWriter::~TZipWriter() = default;

void TZipWriter::Put(std::string_view bytes) {
  if (failed_ || bytes.empty()) return;
  if (!file_.Write(bytes)) failed_ = true;
  offset_ += bytes.size();
}

void TZipWriter::PutHeader(const TEntry& e) {
  const auto [time, date] = DosNow();
  const bool zip64 = !e.Streamed && (Big(e.Size) || Big(e.Packed));
  std::string h;
  Put32(h, 0x04034b50);
  Put16(h, zip64 ? kVersionZip64 : kVersion);
  Put16(h, e.Streamed ? kFlagDescriptor : 0);
  Put16(h, kDeflated);
  Put16(h, time);
  Put16(h, date);
  Put32(h, e.Crc);
  Put32(h, zip64 ? kMax32 : static_cast<uint32_t>(e.Packed));
  Put32(h, zip64 ? kMax32 : static_cast<uint32_t>(e.Size));
  Put16(h, static_cast<uint16_t>(e.Name.size()));
  Put16(h, zip64 ? 20 : 0);
  h += e.Name;
  if (zip64) {
    Put16(h, kZip64Tag);
    Put16(h, 16);
    Put64(h, e.Size);
    Put64(h, e.Packed);
  }
  Put(h);
}

bool TZipWriter::Add(std::string_view name, std::string_view bytes) {
  assert(!stream_);
  TEntry e{std::string(name), 0, 0, bytes.size(), offset_, false};
  TDeflater deflater(kWholeLevel);
  std::string packed;
  const long long length = deflater.Ok ? DeflatePiece(deflater.Z, bytes, true, packed) : -1;
  if (length < 0) return !(failed_ = true);
  packed.resize(static_cast<size_t>(length));
  e.Crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
  e.Packed = packed.size();
  PutHeader(e);
  Put(packed);
  entries_.push_back(std::move(e));
  return !failed_;
}

void TZipWriter::Begin(std::string_view name) {
  assert(!stream_);
  entries_.push_back({std::string(name), 0, 0, 0, offset_, true});
  PutHeader(entries_.back());
  stream_ = std::make_unique<TStream>(*this);
}

void TZipWriter::Write(std::string_view bytes) {
  // Once the file has failed there is nothing left to deflate for.
  if (!failed_) stream_->Write(bytes);
}

bool TZipWriter::End() {
  const TStream::TSums sums = stream_->End();
  stream_.reset();
  if (!sums.Ok) failed_ = true;
  TEntry& e = entries_.back();
  e.Crc = sums.Crc;
  e.Packed = sums.Packed;
  e.Size = sums.Size;
  // The sizes follow the data; 8 bytes each once either is past 4 GiB.
  std::string d;
  Put32(d, 0x08074b50);
  Put32(d, e.Crc);
  if (Big(e.Packed) || Big(e.Size)) {
    Put64(d, e.Packed);
    Put64(d, e.Size);
  } else {
    Put32(d, static_cast<uint32_t>(e.Packed));
    Put32(d, static_cast<uint32_t>(e.Size));
  }
  Put(d);
  return !failed_;
}

bool TZipWriter::Finish() {
  assert(!stream_);
  const auto [time, date] = DosNow();
  const uint64_t start = offset_;
  for (const TEntry& e : entries_) {
    // Each field past its 32-bit form is given in the ZIP64 field instead,
    // in this order.
    std::string wide;
    const uint32_t size = Big(e.Size) ? (Put64(wide, e.Size), kMax32) : static_cast<uint32_t>(e.Size);
    const uint32_t packed = Big(e.Packed) ? (Put64(wide, e.Packed), kMax32) : static_cast<uint32_t>(e.Packed);
    const uint32_t offset = Big(e.Offset) ? (Put64(wide, e.Offset), kMax32) : static_cast<uint32_t>(e.Offset);
    const uint16_t version = wide.empty() ? kVersion : kVersionZip64;
    std::string h;
    Put32(h, 0x02014b50);
    Put16(h, static_cast<uint16_t>((3 << 8) | version));  // made on Unix
    Put16(h, version);
    Put16(h, e.Streamed ? kFlagDescriptor : 0);
    Put16(h, kDeflated);
    Put16(h, time);
    Put16(h, date);
    Put32(h, e.Crc);
    Put32(h, packed);
    Put32(h, size);
    Put16(h, static_cast<uint16_t>(e.Name.size()));
    Put16(h, static_cast<uint16_t>(wide.empty() ? 0 : 4 + wide.size()));
    Put16(h, 0);                 // comment
    Put16(h, 0);                 // disk
    Put16(h, 0);                 // internal attributes
    Put32(h, 0100644u << 16);    // a regular file, rw-r--r--
    Put32(h, offset);
    h += e.Name;
    if (!wide.empty()) {
      Put16(h, kZip64Tag);
      Put16(h, static_cast<uint16_t>(wide.size()));
      h += wide;
    }
    Put(h);
  }
  const uint64_t dirSize = offset_ - start;
  const uint64_t count = entries_.size();
  std::string end;
  const bool zip64 = Big(start) || Big(dirSize) || count >= 0xFFFF;
  if (zip64) {
    const uint64_t at = offset_;
    Put32(end, 0x06064b50);
    Put64(end, 44);  // the record's size after this field
    Put16(end, (3 << 8) | kVersionZip64);
    Put16(end, kVersionZip64);
    Put32(end, 0);
    Put32(end, 0);
    Put64(end, count);
    Put64(end, count);
    Put64(end, dirSize);
    Put64(end, start);
    Put32(end, 0x07064b50);
    Put32(end, 0);
    Put64(end, at);
    Put32(end, 1);
  }
  Put32(end, 0x06054b50);
  Put16(end, 0);
  Put16(end, 0);
  Put16(end, zip64 ? 0xFFFF : static_cast<uint16_t>(count));
  Put16(end, zip64 ? 0xFFFF : static_cast<uint16_t>(count));
  Put32(end, zip64 ? kMax32 : static_cast<uint32_t>(dirSize));
  Put32(end, zip64 ? kMax32 : static_cast<uint32_t>(start));
  Put16(end, 0);
  Put(end);
  return !failed_;
}
