#include "tests/e2e/hostile/HostileCases.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <functional>
#include <set>

#include "package/ByteOrder.h"
#include "package/PackageRecords.h"
#include "tests/support/PackFixtures.h"
#include "tools/common/PackCodec.h"
#include "tools/build/PackageBuilder.h"
#include "tools/read/InstallerReader.h"

namespace hostile {

const char kBaseTitle[] = "Hostile Saver";
const char kSentinelDir[] = "C:\\hostile-sentinel\\";

namespace {

namespace pack = ss::pack;
using ss::TChunkRecord;
using ss::TPackageHeader;
using ss::TSaverDataHeader;
using ss::TSaverFileEntry;
using ss::TSegmentEntry;

constexpr int32_t kMaxInt = 0x7FFFFFFF;
// The system's ERROR_FILENAME_EXCED_RANGE: a path longer than Windows takes.
constexpr ss::Result kPathTooLong = 206;
// sspack verify finds such a path too long at the shortest directories, but
// the code is the one the system chooses for it when the file is created.
const char kSystemsCode[] =
    "the system refuses the path when the file is created, with an error of its own choosing";

// The names that try to leave their folder, name a device or a stream, or
// hold characters Windows forbids. Each must be refused wherever a package
// names a file.
std::vector<std::string> HostileNames() {
  const std::string sentinel = std::string(kSentinelDir) + "evil.txt";
  return {
      "..\\evil.txt",
      "..\\..\\..\\..\\..\\hostile-sentinel\\evil.txt",
      sentinel,
      "C:evil.txt",
      "\\\\localhost\\C$\\hostile-sentinel\\evil.txt",
      "\\evil.txt",
      "/evil.txt",
      "CON",
      "NUL.txt",
      "COM1",
      "lpt1.dat",
      "a<b.txt",
      "a>b.txt",
      "a|b.txt",
      "a?b.txt",
      "a*b.txt",
      "a\"b.txt",
      "evil.txt:stream",
      "evil.",
      "evil ",
      std::string("bell\x07.txt"),
  };
}

// A name as it appears in a case's name: control characters as \xNN.
std::string Shown(const std::string& name) {
  std::string out;
  for (char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 32) {
      out += ch;
    } else {
      out += "\\x";
      out += "0123456789ABCDEF"[c >> 4];
      out += "0123456789ABCDEF"[c & 15];
    }
  }
  return out;
}

// A name of exactly 255 characters: legal, but the whole path exceeds what
// Windows allows.
std::string LongName() { return std::string(251, 'L') + ".txt"; }

pack::FixtureOptions BaseOptions(const std::vector<uint8_t>& library) {
  pack::FixtureOptions o;
  o.title = kBaseTitle;
  o.displayMode = ss::dmFlash;
  o.license = true;
  o.document = false;  // a companion document would be opened by its program
  o.flashSetup = false;
  o.showDisplayProperties = false;
  o.compression = pack::Compression::kCompress;
  o.entryCompression = pack::Compression::kCompress;
  o.contentKind = TSaverDataHeader::kContentKindMovie;  // entry 1 copies the movie
  o.library = library;
  return o;
}

// One data-file entry with its chunk record and the bytes after it.
struct DataItem {
  TSaverFileEntry entry;
  TChunkRecord record;
  std::vector<uint8_t> payload;
};

struct DataFile {
  TSaverDataHeader header;
  std::vector<DataItem> items;
};

DataFile ParseData(const std::vector<uint8_t>& bytes) {
  DataFile d;
  pack::DataFileView view;
  (void)pack::ParseDataFile(bytes, &view);
  d.header = view.header;
  for (const pack::DataEntryView& e : view.entries) {
    DataItem item;
    item.entry = e.entry;
    const size_t at = static_cast<size_t>(e.entry.recordOffset);
    item.record = TChunkRecord::Parse(bytes.data() + at);
    const size_t start = at + ss::kChunkRecordSize;
    item.payload.assign(bytes.begin() + start,
                        bytes.begin() + start + static_cast<size_t>(item.record.storedLength()));
    d.items.push_back(item);
  }
  return d;
}

// Lays the data file out as the builder does: header, table, then each
// record with its bytes. `count` overrides the header's entry count.
std::vector<uint8_t> Lay(const DataFile& d, int64_t count = INT64_MIN) {
  const size_t n = d.items.size();
  std::vector<uint8_t> out(ss::kSaverDataHeaderSize + n * ss::kSaverFileEntrySize);
  TSaverDataHeader h = d.header;
  h.setEntryCount(count == INT64_MIN ? static_cast<int32_t>(n) : static_cast<int32_t>(count));
  h.Write(out.data());
  for (size_t i = 0; i < n; ++i) {
    TSaverFileEntry e = d.items[i].entry;
    e.recordOffset = static_cast<int32_t>(out.size());
    uint8_t record[ss::kChunkRecordSize];
    d.items[i].record.Write(record);
    out.insert(out.end(), record, record + sizeof record);
    out.insert(out.end(), d.items[i].payload.begin(), d.items[i].payload.end());
    e.Write(out.data() + ss::kSaverDataHeaderSize + i * ss::kSaverFileEntrySize);
  }
  return out;
}

size_t SlotAt(int number) {
  return ss::kSaverDataHeaderSize + static_cast<size_t>(number - 1) * ss::kSaverFileEntrySize;
}

void PatchEntry(std::vector<uint8_t>& data, int number, const std::function<void(TSaverFileEntry&)>& f) {
  TSaverFileEntry e = TSaverFileEntry::Parse(data.data() + SlotAt(number));
  f(e);
  e.Write(data.data() + SlotAt(number));
}

void PatchRecord(std::vector<uint8_t>& data, int number, const std::function<void(TChunkRecord&)>& f) {
  const TSaverFileEntry e = TSaverFileEntry::Parse(data.data() + SlotAt(number));
  TChunkRecord r = TChunkRecord::Parse(data.data() + e.recordOffset);
  f(r);
  r.Write(data.data() + e.recordOffset);
}

class CaseMaker {
 public:
  CaseMaker(std::vector<uint8_t> image, size_t offset, std::vector<uint8_t> dataFile,
            std::vector<HostileCase>* out)
      : image_(std::move(image)), offset_(offset), dataFile_(std::move(dataFile)), out_(out) {
    header_ = TPackageHeader::Parse(image_.data() + offset_);
  }

  const std::vector<uint8_t>& image() const { return image_; }
  size_t offset() const { return offset_; }
  const TPackageHeader& header() const { return header_; }
  const std::vector<uint8_t>& dataFile() const { return dataFile_; }

  void Add(const std::string& group, const std::string& name, ss::Result code, const std::string& why,
           std::vector<uint8_t> image, const std::string& title = kBaseTitle) {
    HostileCase c;
    c.group = group;
    c.name = name;
    c.code = code;
    c.why = why;
    c.title = title;
    c.image = std::move(image);
    out_->push_back(std::move(c));
  }

  void MarkRestsOnPlayer() { out_->back().restsOnPlayer = true; }
  void MarkVerifyCannotName(const char* why) { out_->back().verifyCannotName = why; }

  std::vector<uint8_t> WithHeader(const std::function<void(TPackageHeader&)>& mutate) const {
    std::vector<uint8_t> image = image_;
    TPackageHeader h = header_;
    mutate(h);
    h.Write(image.data() + offset_);
    return image;
  }

  // The raw header bytes changed directly, for what the record writer would
  // not produce (a title without a terminating zero).
  std::vector<uint8_t> WithHeaderBytes(const std::function<void(uint8_t*)>& mutate) const {
    std::vector<uint8_t> image = image_;
    mutate(image.data() + offset_);
    return image;
  }

  // The installer with `data` as its data file, stored after the last
  // segment; the old data-file bytes stay unused.
  std::vector<uint8_t> WithDataFile(const std::vector<uint8_t>& data) const {
    std::vector<uint8_t> image = image_;
    const int32_t start = static_cast<int32_t>(image.size());
    image.insert(image.end(), data.begin(), data.end());
    TPackageHeader h = header_;
    TSegmentEntry& s = h.segments[ss::kSegDataFile];
    s.startOffset = start;
    s.endOffset = start + static_cast<int32_t>(data.size()) - 1;
    s.compressed = 0;
    s.packedSize = static_cast<int32_t>(data.size());
    s.originalSize = static_cast<int32_t>(data.size());
    h.Write(image.data() + offset_);
    return image;
  }

 private:
  std::vector<uint8_t> image_;
  size_t offset_;
  std::vector<uint8_t> dataFile_;
  TPackageHeader header_;
  std::vector<HostileCase>* out_;
};

// 8 MiB of zeros imploded: a tiny stream that expands far beyond what a
// case declares.
std::vector<uint8_t> Bomb() {
  std::vector<uint8_t> packed;
  (void)pack::Implode(std::vector<uint8_t>(8u << 20, 0), &packed);
  return packed;
}

std::string Hex(int64_t v) {
  static const char kDigits[] = "0123456789ABCDEF";
  if (v < 0) return "-" + Hex(-v);
  std::string s;
  do {
    s.insert(s.begin(), kDigits[v % 16]);
    v /= 16;
  } while (v != 0);
  return "0x" + s;
}

void TruncationCases(CaseMaker& m) {
  const size_t size = m.image().size();
  const size_t p = m.offset();
  std::set<size_t> lengths = {p, p + 1, p + 72, p + ss::kPackageHeaderSize - 1, p + ss::kPackageHeaderSize,
                              size - 1};
  for (int i = 1; i < ss::kSegmentCount; ++i) {
    const TSegmentEntry& s = m.header().segments[i];
    if (!s.present()) continue;
    lengths.insert(static_cast<size_t>(s.startOffset) + 1);
    lengths.insert(static_cast<size_t>(s.endOffset));
  }
  for (int k = 1; k < 8; ++k) lengths.insert(p + (size - p) * k / 8);
  for (size_t length : lengths) {
    if (length < p || length >= size) continue;
    std::vector<uint8_t> cut(m.image().begin(), m.image().begin() + static_cast<std::ptrdiff_t>(length));
    const bool header = length - p < ss::kPackageHeaderSize;
    m.Add("truncate", "first " + std::to_string(length - p) + " package bytes",
          header ? ss::kErrShortHeader : ss::kErrShortSegment,
          header ? "the package header is cut (-31)" : "the last segment's bytes are cut, and every segment is needed (-30)",
          std::move(cut));
  }
}

void HeaderCases(CaseMaker& m) {
  using H = TPackageHeader;
  for (int mode : {0, 5, 255}) {
    m.Add("header", "displayMode " + std::to_string(mode), ss::kOk,
          "the movie is staged under its name and shown by no one; a quiet run shows nothing anyway",
          m.WithHeader([&](H& h) { h.displayMode = static_cast<uint8_t>(mode); }));
  }
  m.Add("header", "displayMode 4 (no movie staged)", ss::kErrCopyEntry,
        "data-file entry 1 copies the movie, which a package without presentation never stages",
        m.WithHeader([](H& h) { h.displayMode = ss::dmSilent; }));
  m.Add("header", "displayMode 1 (movie renamed .BMP)", ss::kErrCopyEntry,
        "as a bitmap the movie is staged as installer.BMP, so entry 1 has no source",
        m.WithHeader([](H& h) { h.displayMode = ss::dmBitmap; }));
  m.Add("header", "hasCompanionFile without segment 5", ss::kErrSegmentNoName, "segment 5 has no name (-531)",
        m.WithHeader([](H& h) { h.hasCompanionFile = 1; }));
  m.Add("header", "carriesFlashSetup without segment 2", ss::kErrSegmentNoName, "segment 2 has no name (-531)",
        m.WithHeader([](H& h) { h.carriesFlashSetup = 255; }));
  for (int index : {2, 255}) {
    m.Add("header", "flashVersionIndex " + std::to_string(index), ss::kErrBadFlashIndex,
          "only indexes 0 and 1 exist (-605)",
          m.WithHeader([&](H& h) { h.flashVersionIndex = static_cast<uint8_t>(index); }));
  }
  m.Add("header", "flashVersionIndex 1 (Flash 8 needed, 7 installed)", ss::kErrFlashMissing,
        "the registered player is too old and the package carries no setup (-402)",
        m.WithHeader([](H& h) { h.flashVersionIndex = 1; }));
  m.MarkRestsOnPlayer();

  const std::vector<std::string> titles = {"",      "..",    "..\\..\\Evil", "C:\\Evil", "\\\\localhost\\C$\\Evil",
                                           "CON",   "NUL",   "COM1",         "CON.",     "Nul ",
                                           "Ev:il", "Ev*il", "Ev|il",        "Ev/il",    "Ev\"il"};
  for (const std::string& t : titles) {
    m.Add("header", "title \"" + t + "\"", ss::kErrBadTitle,
          "the title names files and a registry key; it must be a plain name (-603)",
          m.WithHeader([&](H& h) { h.title = t; }), t);
  }
  // Something always follows a title (".scr", " dir", ".ssd"), so a trailing
  // dot or space is harmless: "Evil." installs "Evil..scr" and "Evil. dir".
  for (const std::string t : {"Evil.", "Evil "}) {
    m.Add("header", "title \"" + t + "\"", ss::kOk, "a title may end with a dot or a space",
          m.WithHeader([&](H& h) {
            h.title = t;
            h.segments[ss::kSegEngine].name = t + ".scr";
            h.segments[ss::kSegDataFile].name = t + ".ssd";
          }),
          t);
  }
  // 64 characters fill the field without a terminating zero; with a hostile
  // character at the end the whole 64 must be read, not cut early.
  m.Add("header", "title of 64 characters ending in '\\'", ss::kErrBadTitle,
        "the title is read whole when it has no terminating zero, and it holds a backslash",
        m.WithHeaderBytes([](uint8_t* b) {
          std::fill(b + 6, b + 6 + 63, static_cast<uint8_t>('T'));
          b[6 + 63] = '\\';
        }),
        std::string(63, 'T') + "\\");
}

void SegmentCases(CaseMaker& m) {
  using H = TPackageHeader;
  const int64_t size = static_cast<int64_t>(m.image().size());
  const std::vector<int> indexes = {ss::kSegLibrary,     ss::kSegPresentation, ss::kSegEngine,
                                    ss::kSegSupportFile, ss::kSegDataFile,     ss::kSegSupportLib1,
                                    ss::kSegSupportLib2};
  for (int i : indexes) {
    const std::string seg = "segment " + std::to_string(i) + " ";
    const TSegmentEntry& s = m.header().segments[i];
    auto with = [&](const std::function<void(TSegmentEntry&)>& f) {
      return m.WithHeader([&](H& h) { f(h.segments[i]); });
    };
    m.Add("segment", seg + "without a name", ss::kErrSegmentNoName, "a needed segment is absent (-531)",
          with([](TSegmentEntry& e) { e.name.clear(); }));
    // The library is stored and its bytes are not checked until they are
    // loaded: other bytes (or none) are the loader's to refuse, at the first
    // compressed segment (-35). A compressed segment's other bytes do not
    // expand to its size (-13).
    const bool library = i == ss::kSegLibrary;
    auto rangeCode = [&](int64_t start, int64_t end) {
      const int64_t n = end - start + 1;
      if (start < 0 || n < 0 || start + n > size) return ss::kErrShortSegment;
      return library ? ss::kErrNoDecompressor : ss::kErrWrongSize;
    };
    for (int64_t v : {int64_t{-1}, int64_t{0}, int64_t{kMaxInt}, size, int64_t{INT32_MIN}}) {
      m.Add("segment", seg + "startOffset " + Hex(v), rangeCode(v, s.endOffset),
            "the stored bytes lie outside the package (-30) or are not the segment's",
            with([&](TSegmentEntry& e) { e.startOffset = static_cast<int32_t>(v); }));
    }
    for (int64_t v : {int64_t{-1}, int64_t{kMaxInt}, size, int64_t{s.startOffset} - 1,
                      int64_t{s.startOffset} - 2}) {
      m.Add("segment", seg + "endOffset " + Hex(v), rangeCode(s.startOffset, v),
            "the stored length is past the end or negative (-30), or zero",
            with([&](TSegmentEntry& e) { e.endOffset = static_cast<int32_t>(v); }));
    }
    m.Add("segment", seg + "offsets swapped", ss::kErrShortSegment, "inverted offsets give a negative length",
          with([](TSegmentEntry& e) { std::swap(e.startOffset, e.endOffset); }));
    for (int32_t t : {0, 8, 9, -1, kMaxInt}) {
      m.Add("segment", seg + "segmentType " + std::to_string(t), ss::kErrBadEntryName,
            "the type names no target directory",
            with([&](TSegmentEntry& e) { e.segmentType = t; }));
    }
    if (s.compressed) {
      for (int64_t v : {int64_t{0}, int64_t{-1}, int64_t{kMaxInt}, int64_t{s.originalSize} + 1,
                        int64_t{s.originalSize} - 1}) {
        m.Add("segment", seg + "originalSize " + Hex(v), ss::kErrWrongSize,
              "the expanded file does not have the declared size (-13)",
              with([&](TSegmentEntry& e) { e.originalSize = static_cast<int32_t>(v); }));
      }
      // The data file's imploded bytes read as a data file give a header
      // whose entry count is out of range.
      m.Add("segment", seg + "marked stored", i == ss::kSegDataFile ? ss::kErrBadEntryCount : ss::kOk,
            "a stored segment is copied whole, as its offsets give it, whatever its original size "
            "says; without a checksum nothing else could tell",
            with([](TSegmentEntry& e) { e.compressed = 0; }));
    } else {
      m.Add("segment", seg + "marked compressed", ss::kErrNoDecompressor,
            "the library cannot be expanded by itself (-35)",
            with([](TSegmentEntry& e) { e.compressed = 1; }));
    }
  }

  // Names: every hostile name on the support file (install directory), a
  // few on the segments that land in the work and system directories.
  for (const std::string& name : HostileNames()) {
    m.Add("segment", "segment 7 named \"" + Shown(name) + "\"", ss::kErrBadEntryName,
          "a segment name must be a plain file name (-602)",
          m.WithHeader([&](H& h) { h.segments[ss::kSegSupportFile].name = name; }));
  }
  const std::vector<std::string> few = {"..\\evil.txt", std::string(kSentinelDir) + "evil.txt", "CON",
                                        "a*b.txt"};
  for (int i : {ss::kSegPresentation, ss::kSegEngine, ss::kSegDataFile, ss::kSegSupportLib1}) {
    for (const std::string& name : few) {
      // The engine's name is judged against the title with the header,
      // before any name is judged as a file name.
      const bool engine = i == ss::kSegEngine;
      m.Add("segment", "segment " + std::to_string(i) + " named \"" + name + "\"",
            engine ? ss::kErrEngineNameNotTitle : ss::kErrBadEntryName,
            engine ? "the engine must be named after the title (-610)"
                   : "a segment name must be a plain file name (-602)",
            m.WithHeader([&](H& h) { h.segments[i].name = name; }));
    }
  }
  m.Add("segment", "segment 7 named with 255 characters", kPathTooLong,
        "a legal name, but the whole path is longer than Windows allows",
        m.WithHeader([](H& h) { h.segments[ss::kSegSupportFile].name = LongName(); }));
  m.MarkVerifyCannotName(kSystemsCode);

  // Overlaps.
  const TSegmentEntry engine = m.header().segments[ss::kSegEngine];
  m.Add("segment", "segment 7 shares the engine's bytes", ss::kOk,
        "two segments may share stored bytes; support.dat gets the engine's content",
        m.WithHeader([&](H& h) {
          TSegmentEntry& e = h.segments[ss::kSegSupportFile];
          e.startOffset = engine.startOffset;
          e.endOffset = engine.endOffset;
          e.compressed = engine.compressed;
          e.originalSize = engine.originalSize;
        }));
  m.Add("segment", "segment 7 starts inside the engine's stream", ss::kErrWrongSize,
        "a compressed stream read from its middle does not expand to the declared size",
        m.WithHeader([&](H& h) {
          TSegmentEntry& e = h.segments[ss::kSegSupportFile];
          e.startOffset = engine.startOffset + 7;
          e.endOffset = engine.endOffset;
        }));
  // A stream appended after the last segment that expands far beyond the
  // support file's declared size, and the support file's stream cut short.
  {
    const std::vector<uint8_t> packed = Bomb();
    std::vector<uint8_t> image = m.image();
    const int32_t at = static_cast<int32_t>(image.size());
    image.insert(image.end(), packed.begin(), packed.end());
    TPackageHeader h = m.header();
    TSegmentEntry& e = h.segments[ss::kSegSupportFile];
    e.startOffset = at;
    e.endOffset = at + static_cast<int32_t>(packed.size()) - 1;
    e.compressed = 1;
    h.Write(image.data() + m.offset());
    m.Add("segment", "segment 7 expands to 8 MiB, declares " + std::to_string(e.originalSize) + " bytes",
          ss::kErrWrongSize, "the expansion passes the declared size (-13); it must not fill the disk",
          std::move(image));
    const TSegmentEntry support = m.header().segments[ss::kSegSupportFile];
    m.Add("segment", "segment 7 stream cut in half", ss::kErrWrongSize,
          "the stream stops short of the declared size (-13)", m.WithHeader([&](H& hh) {
            hh.segments[ss::kSegSupportFile].endOffset =
                support.startOffset + static_cast<int32_t>(support.storedLength() / 2);
          }));
  }
  m.Add("segment", "segment 6 starts in the package header", ss::kErrWrongSize,
        "the header's bytes are no compressed stream (-13)",
        m.WithHeader([&](H& h) { h.segments[ss::kSegEngine].startOffset = static_cast<int32_t>(m.offset()); }));

  // A licence that is not shown: no run reads segment 4, so its damage
  // cannot matter (and sspack verify notes it only).
  const std::pair<const char*, std::function<void(TSegmentEntry&)>> licence[] = {
      {"startOffset -1", [](TSegmentEntry& e) { e.startOffset = -1; }},
      {"named \"..\\evil.txt\"", [](TSegmentEntry& e) { e.name = "..\\evil.txt"; }},
      {"segmentType 0", [](TSegmentEntry& e) { e.segmentType = 0; }},
  };
  for (const auto& change : licence) {
    m.Add("segment", std::string("segment 4 (not shown) ") + change.first, ss::kOk,
          "no run shows the licence, so none reads segment 4", m.WithHeader([&](H& h) {
            h.showLicense = 0;
            change.second(h.segments[ss::kSegLicense]);
          }));
  }

  // Fields the installer does not read: the package stays valid.
  m.Add("segment", "segment 6 packedSize -1", ss::kOk,
        "the stored length comes from the offsets; packedSize is not read",
        m.WithHeader([](H& h) { h.segments[ss::kSegEngine].packedSize = -1; }));
  m.Add("segment", "segment 0 hostile", ss::kOk,
        "segment 0 describes the installer program and is never written",
        m.WithHeader([](H& h) {
          TSegmentEntry& e = h.segments[ss::kSegInstaller];
          e.name = "..\\..\\evil.exe";
          e.startOffset = -1;
          e.endOffset = kMaxInt;
          e.segmentType = 2;
        }));

  // Windows' own libraries in the system directory: refused as soon as the
  // header is read, before anything is written, whichever segment names one
  // and whether or not a run would read it. The same name elsewhere is an
  // ordinary file.
  struct SystemName {
    int segment;
    int32_t type;
    const char* name;
  };
  const SystemName libraries[] = {
      {ss::kSegSupportLib1, 2, "msvcrt.dll"},   {ss::kSegSupportLib1, 3, "version"},
      {ss::kSegSupportFile, 2, "KERNEL32.DLL"}, {ss::kSegSupportLib2, 3, "Shell32.ocx"},
      {ss::kSegSupportFile, 2, "winspool.drv"}, {ss::kSegEngine, 2, "user32.dll"},
  };
  for (const SystemName& l : libraries) {
    m.Add("segment",
          "segment " + std::to_string(l.segment) + " type " + std::to_string(l.type) + " named \"" + l.name + "\"",
          ss::kErrSystemLibrary, "a package must never write one of Windows' own libraries (-608)",
          m.WithHeader([&](H& h) {
            h.segments[l.segment].segmentType = l.type;
            h.segments[l.segment].name = l.name;
          }));
  }
  m.Add("segment", "segment 4 (not shown) type 3 named \"comctl32\"", ss::kErrSystemLibrary,
        "the rule judges every segment of the header, read by a run or not (-608)", m.WithHeader([](H& h) {
          h.showLicense = 0;
          h.segments[ss::kSegLicense].segmentType = 3;
          h.segments[ss::kSegLicense].name = "comctl32";
        }));
  m.Add("segment", "segment 9 type 5 named \"kernel32.dll\"", ss::kOk,
        "the name is refused in the system directory only; the install directory is the screen saver's own",
        m.WithHeader([](H& h) { h.segments[ss::kSegSupportLib1].name = "kernel32.dll"; }));

  // The engine is activated and cleaned up by its entry's name, removed from
  // the list of programs by the title: the two must name one file, as
  // Windows compares names (letters in either case).
  const std::string title = m.header().title;
  const std::pair<std::string, ss::Result> engines[] = {
      {"Other.scr", ss::kErrEngineNameNotTitle},
      {title + ".exe", ss::kErrEngineNameNotTitle},
      {title + ".scr ", ss::kErrEngineNameNotTitle},
      {title.substr(1) + ".scr", ss::kErrEngineNameNotTitle},
  };
  for (const auto& engine : engines) {
    const std::string name = engine.first;
    m.Add("segment", "segment 6 named \"" + name + "\"", engine.second,
          "an engine not named after the title could be neither activated nor removed by it (-610)",
          m.WithHeader([name](H& h) { h.segments[ss::kSegEngine].name = name; }));
  }
  std::string otherCase = title + ".SCR";
  for (char& c : otherCase) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  m.Add("segment", "segment 6 named \"" + otherCase + "\"", ss::kOk,
        "the title's name in other letters names the same file on Windows",
        m.WithHeader([&](H& h) { h.segments[ss::kSegEngine].name = otherCase; }));
}

void DataFileCases(CaseMaker& m) {
  const DataFile base = ParseData(m.dataFile());
  const std::vector<uint8_t> laid = Lay(base);
  const int32_t size = static_cast<int32_t>(laid.size());
  auto add = [&](const std::string& name, ss::Result code, const std::string& why, const std::vector<uint8_t>& data) {
    m.Add("datafile", name, code, why, m.WithDataFile(data));
  };
  // A case of the base data file with its items changed, laid out again.
  auto item = [&](const std::string& name, ss::Result code, const std::string& why,
                  const std::function<void(DataFile&)>& change) {
    DataFile d = base;
    change(d);
    add(name, code, why, Lay(d));
  };
  add("as laid out again", ss::kOk, "the same data file in a stored segment", laid);

  // Entry counts.
  for (int64_t count : {int64_t{-1}, int64_t{1011}, int64_t{kMaxInt}, int64_t{INT32_MIN}}) {
    add("entryCount " + std::to_string(count), ss::kErrBadEntryCount, "the table holds 0 to 1010 entries (-604)",
        Lay(base, count));
  }
  add("entryCount 1010 over a table of 4", ss::kIoReadPastEnd, "the table runs past the end of the file (100)",
      Lay(base, 1010));
  add("entryCount 5 over a table of 4", ss::kIoReadPastEnd,
      "the fifth slot is read from the first chunk record, whose offset is garbage (100)", Lay(base, 5));
  add("entryCount 0", ss::kOk, "nothing to expand; saver.dat is still written", Lay(base, 0));
  item("entryCount 1010, all but four without a name", ss::kOk, "the largest table the installer holds",
       [](DataFile& d) { d.items.resize(1010); });  // items without a name are skipped

  // Record offsets of entry 2 (a compressed entry with bytes).
  for (int64_t v : {int64_t{-1}, int64_t{0}, int64_t{kMaxInt}, int64_t{size}, int64_t{size} - 43,
                    int64_t{INT32_MIN}, static_cast<int64_t>(SlotAt(2))}) {
    std::vector<uint8_t> d = laid;
    PatchEntry(d, 2, [&](TSaverFileEntry& e) { e.recordOffset = static_cast<int32_t>(v); });
    add("entry 2 recordOffset " + Hex(v), ss::kIoReadPastEnd,
        "the chunk record lies outside the file or is not a record (100)", d);
  }
  {
    std::vector<uint8_t> d = laid;
    const int32_t third = TSaverFileEntry::Parse(d.data() + SlotAt(3)).recordOffset;
    PatchEntry(d, 2, [&](TSaverFileEntry& e) { e.recordOffset = third; });
    add("entry 2 shares entry 3's record", ss::kErrSharedEntryBytes,
        "entry 3 reads the record entry 2 was written from; a file wanted twice is a copy (-615)", d);
  }

  // Chunk records of entry 2.
  const TChunkRecord r2 = base.items[1].record;
  auto record = [&](const std::string& name, ss::Result code, const std::string& why,
                    const std::function<void(TChunkRecord&)>& f) {
    std::vector<uint8_t> d = laid;
    PatchRecord(d, 2, f);
    add("entry 2 " + name, code, why, d);
  };
  for (int64_t v : {int64_t{-1}, int64_t{kMaxInt}, int64_t{r2.originalSize} + 1, int64_t{r2.originalSize} - 1,
                    int64_t{INT32_MIN}}) {
    record("originalSize " + Hex(v), ss::kErrWrongSize, "the entry does not expand to the declared size (-13)",
           [&](TChunkRecord& r) { r.originalSize = static_cast<int32_t>(v); });
  }
  record("originalSize 0", ss::kOk, "an entry of size 0 writes no file",
         [](TChunkRecord& r) { r.originalSize = 0; });
  for (int64_t v : {int64_t{-1}, int64_t{kMaxInt}, int64_t{size}, int64_t{INT32_MIN}}) {
    record("packedSize " + Hex(v), ss::kIoReadPastEnd, "the stored bytes run past the end of the file (100)",
           [&](TChunkRecord& r) { r.packedSize = static_cast<int32_t>(v); });
  }
  record("packedSize 0", ss::kErrWrongSize, "an empty stream expands to nothing (-13)",
         [](TChunkRecord& r) { r.packedSize = 0; });
  record("marked stored", ss::kIoReadPastEnd,
         "a stored entry's length is its original size, which runs past the end of the file (100)",
         [](TChunkRecord& r) { r.compressed = 0; });

  // Streams that expand beyond their declared size or stop short.
  const std::vector<uint8_t> packed = Bomb();
  auto bomb = [&packed](int32_t declared) {
    return [&packed, declared](DataFile& d) {
      d.items[1].payload = packed;
      d.items[1].record.packedSize = static_cast<int32_t>(packed.size());
      d.items[1].record.originalSize = declared;
    };
  };
  item("entry 2 expands to 8 MiB, declares 1000 bytes", ss::kErrWrongSize,
       "the expansion passes the declared size (-13); it must not fill the disk", bomb(1000));
  item("entry 2 expands to 8 MiB as declared", ss::kOk, "a large entry that is sound", bomb(8 << 20));
  for (size_t keep : {size_t{1}, base.items[1].payload.size() / 2, base.items[1].payload.size() - 1}) {
    item("entry 2 stream cut to " + std::to_string(keep) + " bytes", ss::kErrWrongSize,
         "the stream stops short of the declared size (-13)", [&](DataFile& d) {
           d.items[1].payload.resize(keep);
           d.items[1].record.packedSize = static_cast<int32_t>(keep);
         });
  }

  // Entry names.
  const char kInside[] = "an entry name must stay inside the install directory (-602)";
  for (const std::string& name : HostileNames()) {
    item("entry 2 named \"" + Shown(name) + "\"", ss::kErrBadEntryName, kInside,
         [&](DataFile& d) { d.items[1].entry.fileName = name; });
  }
  for (const std::string& name : {std::string("sub\\..\\..\\evil.txt"), std::string("sub\\\\evil.txt"),
                                  std::string("sub\\CON\\evil.txt"), std::string("sub\\"),
                                  std::string("..\\") + kBaseTitle + ".scr"}) {
    item("entry 3 named \"" + name + "\"", ss::kErrBadEntryName, kInside,
         [&](DataFile& d) { d.items[2].entry.fileName = name; });
  }
  item("entry 2 named with 255 characters", kPathTooLong,
       "a legal name, but the whole path is longer than Windows allows",
       [](DataFile& d) { d.items[1].entry.fileName = LongName(); });
  m.MarkVerifyCannotName(kSystemsCode);
  {
    std::vector<uint8_t> bytes = Lay(base);
    // 256 characters and no terminating zero.
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(SlotAt(2) + 2),
              bytes.begin() + static_cast<std::ptrdiff_t>(SlotAt(2) + 2 + 256), static_cast<uint8_t>('N'));
    add("entry 2 named with 256 characters, no zero", kPathTooLong,
        "the name fills its field; the path is too long for Windows", bytes);
    m.MarkVerifyCannotName(kSystemsCode);
  }
  item("entry 2 of size 0 named \"..\\..\\evil.txt\"", ss::kOk,
       "an entry of size 0 writes nothing, so its name is never used", [](DataFile& d) {
         d.items[1].entry.fileName = "..\\..\\evil.txt";
         d.items[1].record.originalSize = 0;
       });

  // Entries produced by copying (type 3): entry `i` (0 based) made a copy
  // under `name`.
  auto copy = [](DataFile& d, size_t i, const std::string& name) {
    d.items[i].entry.entryType = TSaverFileEntry::kTypeCopy;
    d.items[i].entry.fileName = name;
  };
  const std::string movie = base.items[0].entry.fileName;
  item("entry 3 a copy of entry 1 onto itself", ss::kOk, "copying a file onto itself is ignored",
       [&](DataFile& d) { copy(d, 2, movie); });
  item("entry 3 a copy of entry 1", ss::kOk, "a later type-3 entry copies entry 1's file",
       [&](DataFile& d) { copy(d, 2, "copy.swf"); });
  // The builder and its verifier accept a copy into a sub-folder; the
  // entries that carry bytes create their folders, and so must a copy.
  item("entry 3 a copy of entry 1 into a sub-folder", ss::kOk,
       "a copied entry may name a sub-folder like any other entry",
       [&](DataFile& d) { copy(d, 2, "copies\\copy.swf"); });
  item("entry 3 a copy named outside", ss::kErrBadEntryName, "a copied entry's name must stay inside (-602)",
       [&](DataFile& d) { copy(d, 2, "..\\..\\..\\..\\..\\hostile-sentinel\\copy.swf"); });
  item("entry 1 (the movie copy) named outside", ss::kErrBadEntryName, "the movie copy's name must stay inside (-602)",
       [](DataFile& d) { d.items[0].entry.fileName = "..\\..\\evil.swf"; });
  item("entry 3 copies an entry 1 named outside", ss::kErrBadEntryName,
       "the copy's source is named outside the install directory (-602)", [](DataFile& d) {
         d.items[0].entry.fileName = "..\\..\\evil.swf";
         d.items[0].entry.entryType = 0;
         d.items[2].entry.entryType = TSaverFileEntry::kTypeCopy;
         d.header.setContentKind(0);
       });
  item("entry 3 copies an entry 1 without a name", ss::kErrBadEntryName,
       "there is no file to copy: an empty source name is refused (-602)", [](DataFile& d) {
         d.items[0].entry.fileName.clear();
         d.items[2].entry.entryType = TSaverFileEntry::kTypeCopy;
       });
  item("entries 2 and 3 copies of entry 1 under its own name", ss::kOk,
       "every copy points at the file itself and is ignored", [&](DataFile& d) {
         copy(d, 1, movie);
         copy(d, 2, movie);
       });

  // Entries that read another entry's bytes: a small package that would
  // write far more than it holds. Entry 2 is stored here, so that its bytes
  // are copied as they lie.
  auto stored2 = [](DataFile& d) {
    d.items[1].record.compressed = 0;
    d.items[1].record.originalSize = static_cast<int32_t>(d.items[1].payload.size());
  };
  {
    // Entry 2's stored bytes hold a record and bytes for entry 3, which
    // points into them.
    DataFile d = base;
    stored2(d);
    uint8_t record[ss::kChunkRecordSize];
    d.items[2].record.Write(record);
    d.items[1].payload.assign(record, record + sizeof record);
    d.items[1].payload.insert(d.items[1].payload.end(), d.items[2].payload.begin(), d.items[2].payload.end());
    d.items[1].record.originalSize = static_cast<int32_t>(d.items[1].payload.size());
    d.items[1].record.packedSize = d.items[1].record.originalSize;
    std::vector<uint8_t> bytes = Lay(d);
    const int32_t inside = TSaverFileEntry::Parse(bytes.data() + SlotAt(2)).recordOffset +
                           static_cast<int32_t>(ss::kChunkRecordSize);
    PatchEntry(bytes, 3, [&](TSaverFileEntry& e) { e.recordOffset = inside; });
    add("entry 3's record inside entry 2's stored bytes", ss::kErrSharedEntryBytes,
        "entry 3 is read from bytes entry 2 was written from (-615)", bytes);
  }
  {
    DataFile d = base;
    stored2(d);
    std::vector<uint8_t> bytes = Lay(d);
    PatchRecord(bytes, 2, [](TChunkRecord& r) {
      r.originalSize += 1;
      r.packedSize = r.originalSize;
    });
    add("entry 2's stored bytes run one byte into entry 3's record", ss::kErrSharedEntryBytes,
        "entry 3's record begins inside the bytes entry 2 was written from (-615)", bytes);
  }
  {
    std::vector<uint8_t> d = laid;
    const int32_t second = TSaverFileEntry::Parse(d.data() + SlotAt(2)).recordOffset;
    PatchEntry(d, 3, [&](TSaverFileEntry& e) {
      e.entryType = TSaverFileEntry::kTypeCopy;
      e.fileName = "copy.swf";
      e.recordOffset = second;
    });
    add("entry 3 a copy pointing at entry 2's record", ss::kOk, "a copy reads no record", d);
  }
}

// False with a message when the builder refuses one of the valid inputs.
bool ValidCases(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& library, CaseMaker& m,
                std::string* error) {
  m.Add("valid", "the base installer", ss::kOk, "built by the package builder", m.image());
  bool built = true;
  auto build = [&](const std::string& name, const pack::FixtureOptions& o, const std::string& why) {
    std::vector<uint8_t> image;
    if (!pack::BuildFixtureInstaller(stub, o, &image, error)) {
      *error = name + ": " + *error;
      built = false;
      return;
    }
    m.Add("valid", name, ss::kOk, why, std::move(image), o.title);
  };
  pack::FixtureOptions stored = BaseOptions(library);
  stored.compression = pack::Compression::kStore;
  stored.entryCompression = pack::Compression::kStore;
  build("everything stored", stored, "built by the package builder");
  pack::FixtureOptions longTitle = BaseOptions(library);
  longTitle.title = std::string(64, 'T');
  build("title of 64 characters", longTitle, "the longest title, without a terminating zero");
  pack::FixtureOptions dotted = BaseOptions(library);
  dotted.title = "Sea Co.";
  build("title ending in a dot", dotted, "something always follows the title: \"Sea Co..scr\", \"Sea Co. dir\"");
  // An empty support file: the builder stores it with a stored length of 0.
  pack::FixtureOptions empty = BaseOptions(library);
  pack::PackageInput input = pack::MakeFixtureInput(empty);
  input.segments[ss::kSegSupportFile]->data.clear();
  input.segments[ss::kSegSupportFile]->compression = pack::Compression::kStore;
  std::vector<uint8_t> image;
  if (const pack::ToolResult made = pack::BuildInstaller(stub, input, &image); !made.ok()) {
    *error = "empty support file: " + made.message();
    return false;
  }
  m.Add("valid", "empty support file", ss::kOk,
        "the builder and its verifier accept an empty file; it is written as an empty file", std::move(image));
  return built;
}

}  // namespace

bool MakeHostileCases(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& library,
                      std::vector<HostileCase>* cases, std::string* error) {
  const pack::FixtureOptions o = BaseOptions(library);
  const pack::PackageInput input = pack::MakeFixtureInput(o);
  std::vector<uint8_t> image;
  if (const pack::ToolResult built = pack::BuildInstaller(stub, input, &image); !built.ok()) {
    *error = built.message();
    return false;
  }
  CaseMaker m(image, stub.size(), input.segments[ss::kSegDataFile]->data, cases);
  if (!ValidCases(stub, library, m, error)) return false;
  TruncationCases(m);
  HeaderCases(m);
  SegmentCases(m);
  DataFileCases(m);
  return true;
}

}  // namespace hostile
