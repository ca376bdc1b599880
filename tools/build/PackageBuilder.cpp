#include "tools/build/PackageBuilder.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <set>

#include "package/ByteOrder.h"
#include "package/PackageRoles.h"
#include "package/ReadingRules.h"
#include "tools/common/PackCodec.h"
#include "tools/common/PackNames.h"
#include "tools/common/ParallelJobs.h"
#include "tools/read/StubImage.h"

namespace ss::pack {
namespace {

constexpr int64_t kMaxOffset = 0x7FFFFFFF;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Quoted(const std::string& ansi) { return "\"" + AnsiToUtf8(ansi) + "\""; }

}  // namespace

bool ParseCompression(const std::string& text, Compression* out) {
  if (text == "auto") {
    *out = Compression::kAuto;
  } else if (text == "compress") {
    *out = Compression::kCompress;
  } else if (text == "store") {
    *out = Compression::kStore;
  } else {
    return false;
  }
  return true;
}

namespace {

// One item packed: either imploded, as the pieces of one stream, or stored,
// in which case the caller copies the item's own bytes (so a stored item is
// never held twice).
struct PackedItem {
  std::vector<Piece> pieces;
  bool compressed = false;
  bool ok = true;
  std::string error;
  size_t size = 0;  // of the stream
};

// What one item asks for.
struct ItemInput {
  const std::vector<uint8_t>* data = nullptr;  // null: nothing to pack (a copied entry)
  Compression how = Compression::kAuto;
};

// Packs the items on `jobs` threads, in three rounds: the encoder choice of
// each item; the size floor of the "auto" items that the probe finds
// incompressible, piece by piece; then every piece of every item still to be
// imploded (tools/common/PackCodec.h), in item order, so that the long items'
// pieces are shared out as well. Each job writes only its own result; the
// outcome of an item is decided afterwards from its results alone, so it
// does not depend on the thread count. progress, when given, is told of
// every item as its last piece is done, under a lock, with the item's name
// and the number finished so far.
std::vector<PackedItem> PackAll(const std::vector<ItemInput>& inputs, unsigned jobs,
                                const std::function<std::string(size_t)>& name,
                                const Progress& progress) {
  const size_t count = inputs.size();
  std::vector<PackedItem> items(count);
  // Nothing is gained by imploding an empty file.
  auto implodes = [&](size_t i) {
    const ItemInput& in = inputs[i];
    return in.data != nullptr && in.how != Compression::kStore &&
           !(in.how == Compression::kAuto && in.data->empty());
  };
  // The encoder of each item.
  std::vector<Encoder> encoders(count, Encoder::kThorough);
  RunJobs(count, jobs, [&](size_t i) {
    if (!implodes(i)) return;
    try {
      encoders[i] = ChooseEncoder(inputs[i].data->data(), inputs[i].data->size());
    } catch (const std::bad_alloc&) {
      // Worker threads must not throw; the item is then imploded as any
      // other, and reports a lack of memory there.
    }
  });

  // Every piece of every item, in item order.
  struct Job {
    Job(size_t i, size_t k) : item(i), piece(k) {}
    size_t item;
    size_t piece;  // SIZE_MAX: the item has nothing to implode
    bool ok = true;
    std::string error;
    uint64_t uncoverable = 0;
  };
  auto listPieces = [&](const std::function<bool(size_t)>& wanted) {
    std::vector<Job> list;
    for (size_t i = 0; i < count; ++i) {
      if (!wanted(i)) {
        list.emplace_back(i, SIZE_MAX);
        continue;
      }
      for (size_t k = 0; k < PieceCount(inputs[i].data->size()); ++k) list.emplace_back(i, k);
    }
    return list;
  };

  // "auto" items that the probe finds incompressible and whose size floor
  // proves that they cannot shrink are stored at once.
  auto probedIncompressible = [&](size_t i) {
    return implodes(i) && inputs[i].how == Compression::kAuto && encoders[i] == Encoder::kFast;
  };
  std::vector<Job> floors = listPieces(probedIncompressible);
  RunJobs(floors.size(), jobs, [&](size_t j) {
    Job& job = floors[j];
    if (job.piece == SIZE_MAX) return;
    const std::vector<uint8_t>& data = *inputs[job.item].data;
    try {
      job.uncoverable = UncoverableInPiece(data.data(), data.size(), job.piece);
    } catch (const std::bad_alloc&) {
      job.uncoverable = 0;  // no proof: the item is imploded
    }
  });
  std::vector<uint64_t> uncoverable(count, 0);
  for (const Job& job : floors) uncoverable[job.item] += job.uncoverable;
  std::vector<char> storeAnyway(count, 0);
  for (size_t i = 0; i < count; ++i) {
    storeAnyway[i] =
        probedIncompressible(i) && SizeFloor(uncoverable[i]) >= inputs[i].data->size();
  }

  std::vector<Job> list =
      listPieces([&](size_t i) { return implodes(i) && storeAnyway[i] == 0; });
  std::vector<std::unique_ptr<ShrinkWatch>> watches(count);
  std::unique_ptr<std::atomic<size_t>[]> left(new std::atomic<size_t>[count]);
  for (size_t i = 0; i < count; ++i) {
    left[i] = 0;
    if (!implodes(i) || storeAnyway[i]) continue;
    items[i].pieces.resize(PieceCount(inputs[i].data->size()));
    if (inputs[i].how == Compression::kAuto) {
      watches[i] = std::make_unique<ShrinkWatch>(inputs[i].data->size());
    }
  }
  for (const Job& job : list) ++left[job.item];

  JobLock lock;
  size_t done = 0;
  RunJobs(list.size(), jobs, [&](size_t j) {
    Job& job = list[j];
    const size_t i = job.item;
    if (job.piece != SIZE_MAX) {
      try {
        const ToolResult packed = ImplodePieceOf(inputs[i].data->data(), inputs[i].data->size(),
                                                 job.piece, encoders[i], watches[i].get(),
                                                 &items[i].pieces[job.piece]);
        job.ok = packed.ok();
        job.error = packed.message();
      } catch (const std::bad_alloc&) {
        // Worker threads must not throw; the item reports it.
        job.ok = false;
        job.error = "not enough memory";
      }
    }
    if (--left[i] == 0 && progress) {
      std::lock_guard<JobLock> hold(lock);
      try {
        progress(name(i), ++done, count);
      } catch (const std::bad_alloc&) {
        // A progress line is not worth a failed build.
      }
    }
  });

  for (const Job& job : list) {
    if (!job.ok && items[job.item].ok) {
      items[job.item].ok = false;
      items[job.item].error = job.error;
    }
  }
  for (size_t i = 0; i < count; ++i) {
    PackedItem& item = items[i];
    if (!implodes(i) || storeAnyway[i] || !item.ok) continue;
    item.size = JoinedSize(item.pieces);
    const bool gaveUp = watches[i] && watches[i]->gaveUp();
    if (inputs[i].how == Compression::kAuto && (gaveUp || item.size >= inputs[i].data->size())) {
      // "auto" stores what does not shrink.
      std::vector<Piece>().swap(item.pieces);
    } else {
      item.compressed = true;
    }
  }
  return items;
}

}  // namespace

bool PackBytes(const std::vector<uint8_t>& data, Compression how, std::vector<uint8_t>* stored,
               bool* compressed, std::string* error) {
  std::vector<PackedItem> items =
      PackAll({ItemInput{&data, how}}, 1, [](size_t) { return std::string(); }, nullptr);
  PackedItem& item = items[0];
  if (!item.ok) {
    *error = item.error;
    return false;
  }
  *compressed = item.compressed;
  if (item.compressed) {
    stored->clear();
    stored->reserve(item.size);
    AppendJoined(&item.pieces, stored);
  } else {
    *stored = data;
  }
  return true;
}

std::vector<std::string> CheckDataFileInput(const DataFileInput& input) {
  std::vector<std::string> faults;
  if (input.entries.size() > static_cast<size_t>(kMaxSaverEntries)) {
    faults.push_back("the data file has " + std::to_string(input.entries.size()) +
                     " files; the installer takes at most " + std::to_string(kMaxSaverEntries));
  }
  if (input.contentKind == TSaverDataHeader::kContentKindMovie &&
      (input.entries.empty() || !input.entries[0].copy)) {
    faults.push_back("with content kind 3 the first data-file entry must stand for the movie");
  }
  std::set<std::string> seen;
  for (size_t i = 0; i < input.entries.size(); ++i) {
    const DataEntryInput& e = input.entries[i];
    const std::string label = "data-file entry " + std::to_string(i + 1) + " " + Quoted(e.name);
    const std::string fault = RelativePathFault(e.name);
    if (!fault.empty()) faults.push_back(label + ": " + fault);
    // Windows names ignore case: a second entry of the same name would
    // overwrite the first.
    if (!seen.insert(Lower(e.name)).second) {
      faults.push_back(label + ": the name occurs twice (letter case does not count on Windows)");
    }
    if (e.copy && !e.data.empty()) {
      faults.push_back(label + ": an entry made by copying carries no bytes of its own");
    }
    if (!e.copy && e.data.empty()) {
      faults.push_back(label + (e.source.empty() ? "" : " (" + e.source + ")") +
                       ": the file is empty, and the installer creates no file for an empty "
                       "entry; remove it or give it content");
    }
    if (e.data.size() > static_cast<size_t>(kMaxOffset)) {
      faults.push_back(label + ": the file is larger than 2 GiB");
    }
  }
  return faults;
}

std::vector<std::string> CheckPackageInput(const PackageInput& input) {
  std::vector<std::string> faults;
  const std::string titleFault = TitleFault(input.title);
  if (!titleFault.empty()) faults.push_back("title " + Quoted(input.title) + ": " + titleFault);
  const std::string installerFault = FileNameFault(input.installerName);
  if (!installerFault.empty()) {
    faults.push_back("installer file name " + Quoted(input.installerName) + ": " +
                     installerFault);
  }
  const uint8_t mode = input.displayMode;
  if (mode != dmBitmap && mode != dmFlash && mode != dmFlashAlt && mode != dmSilent &&
      mode != dmJpeg) {
    faults.push_back("presentation kind " + std::to_string(mode) +
                     " is none of 1 (bitmap), 2 or 3 (Flash), 4 (none), 8 (JPEG)");
  }
  if (input.flashVersionIndex > 1) {
    faults.push_back("Flash version index " + std::to_string(input.flashVersionIndex) +
                     " is neither 0 (Flash 7) nor 1 (Flash 8)");
  }

  const auto& seg = input.segments;
  if (seg[kSegInstaller]) faults.push_back("segment 0 describes the stub and takes no file");
  for (int i = 1; i < kSegmentCount; ++i) {
    if (!seg[i]) continue;
    const std::string fault = FileNameFault(seg[i]->name);
    if (!fault.empty()) {
      faults.push_back(SegmentLabel(i) + " name " + Quoted(seg[i]->name) + ": " + fault);
    }
    if (seg[i]->data.size() > static_cast<size_t>(kMaxOffset)) {
      faults.push_back(SegmentLabel(i) + ": the file is larger than 2 GiB");
    }
  }

  if (!seg[kSegLibrary]) {
    faults.push_back("segment 1 (library): the decompression library is missing");
  } else {
    if (seg[kSegLibrary]->name != "impborl.dat") {
      faults.push_back("segment 1 (library) must be named \"impborl.dat\"");
    }
    // The library expands every other item, so it cannot be imploded itself.
    if (seg[kSegLibrary]->compression == Compression::kCompress) {
      faults.push_back("segment 1 (library) cannot be compressed: it is the decompressor");
    }
  }
  if (seg[kSegFlashSetup]) {
    const std::string& name = seg[kSegFlashSetup]->name;
    if (!IsFlashSetupName(name)) {
      // Any other name sends the file to the system directory as a ".dll".
      faults.push_back("segment 2 (Flash setup) must be named " + FlashSetupNamesText() + ", not " +
                       Quoted(name));
    }
  }
  if (mode == dmSilent) {
    if (seg[kSegPresentation]) {
      faults.push_back("segment 3 (presentation): a package without presentation carries none");
    }
  } else if (!seg[kSegPresentation]) {
    faults.push_back("segment 3 (presentation) is missing");
  } else {
    if (IsFlashMode(mode) && seg[kSegPresentation]->name != "installer.swf") {
      faults.push_back("segment 3 (presentation): a Flash movie must be named \"installer.swf\"");
    }
    const std::string fault = PresentationFault(mode, seg[kSegPresentation]->data);
    if (!fault.empty()) {
      faults.push_back("segment 3 (presentation)" +
                       (seg[kSegPresentation]->source.empty()
                            ? std::string()
                            : " " + seg[kSegPresentation]->source) +
                       ": " + fault);
    }
  }
  // The install writes segments 6 to 10 in turn and stops at the first one
  // without a name, so all of them must be there.
  for (int i = kSegEngine; i <= kSegSupportLib2; ++i) {
    if (!seg[i]) faults.push_back(SegmentLabel(i) + " is missing; the install needs it");
  }
  if (seg[kSegEngine] && EngineNameRule(seg[kSegEngine]->name, input.title) != kOk) {
    faults.push_back("segment 6 (engine) must be named after the title: " +
                     Quoted(input.title + ".scr"));
  }
  // Segments that land in the same folder must not overwrite each other or
  // the installer's own files there. The licence and companion file are
  // staged in the work directory and later copied into the install directory.
  const std::pair<std::vector<int>, std::vector<std::string>> folders[] = {
      {{kSegFlashSetup, kSegPresentation, kSegLicense, kSegCompanion, kSegDataFile},
       {"temp.dat", "impborl.dll"}},
      {{kSegLicense, kSegCompanion, kSegSupportFile, kSegSupportLib1, kSegSupportLib2},
       {"saver.dat"}}};
  for (const auto& folder : folders) {
    std::set<std::string> taken;
    for (const std::string& name : folder.second) taken.insert(name);
    for (int i : folder.first) {
      if (seg[i] && !taken.insert(Lower(seg[i]->name)).second) {
        faults.push_back(SegmentLabel(i) + " name " + Quoted(seg[i]->name) +
                         " is already taken in the folder it is written to");
      }
    }
  }
  if (seg[kSegDataFile]) {
    if (seg[kSegDataFile]->data.size() < kSaverDataHeaderSize) {
      faults.push_back("segment 8 (data file) is shorter than its " +
                       std::to_string(kSaverDataHeaderSize) + "-byte header");
    }
    if (Lower(seg[kSegDataFile]->name) != Lower(input.title + ".ssd")) {
      faults.push_back("segment 8 (data file) must be named after the title: " +
                       Quoted(input.title + ".ssd"));
    }
  }
  return faults;
}

namespace {

// BuildSaverDataFile; with `owned` (the input itself), each entry's bytes are
// freed as soon as they are laid out.
bool BuildDataFile(const DataFileInput& input, DataFileInput* owned, std::vector<uint8_t>* out,
                   std::string* error, const Progress& progress, unsigned jobs) {
  const std::vector<std::string> faults = CheckDataFileInput(input);
  if (!faults.empty()) {
    *error = faults.front();
    return false;
  }
  const size_t count = input.entries.size();
  TSaverDataHeader header;
  header.setSettings(input.settings);
  header.setEntryCount(static_cast<int32_t>(count));
  header.setContentKind(input.contentKind);

  // The entries are packed side by side, then laid out in their order.
  std::vector<ItemInput> items(count);
  for (size_t i = 0; i < count; ++i) {
    if (!input.entries[i].copy) items[i] = {&input.entries[i].data, input.entries[i].compression};
  }
  std::vector<PackedItem> packed = PackAll(
      items, jobs, [&](size_t i) { return AnsiToUtf8(input.entries[i].name); }, progress);

  uint64_t total = kSaverDataHeaderSize + uint64_t(kSaverFileEntrySize + kChunkRecordSize) * count;
  for (size_t i = 0; i < count; ++i) {
    if (!packed[i].ok) {
      *error = "data-file entry " + Quoted(input.entries[i].name) + ": " + packed[i].error;
      return false;
    }
    total += packed[i].compressed ? packed[i].size : input.entries[i].data.size();
  }
  if (total > static_cast<uint64_t>(kMaxOffset)) {
    *error = "the data file grows beyond 2 GiB";
    return false;
  }

  std::vector<uint8_t> data(kSaverDataHeaderSize + kSaverFileEntrySize * count);
  data.reserve(static_cast<size_t>(total));
  header.Write(data.data());
  for (size_t i = 0; i < count; ++i) {
    const DataEntryInput& e = input.entries[i];
    TSaverFileEntry entry;
    entry.entryType = e.copy ? TSaverFileEntry::kTypeCopy : 0;
    entry.fileName = e.name;
    entry.recordOffset = static_cast<int32_t>(data.size());
    entry.Write(data.data() + kSaverDataHeaderSize + kSaverFileEntrySize * i);

    TChunkRecord record;
    if (!e.copy) {
      record.originalSize = static_cast<int32_t>(e.data.size());
      record.compressed = packed[i].compressed ? 1 : 0;
      // For a stored entry the packed size repeats the stored length.
      record.packedSize =
          static_cast<int32_t>(packed[i].compressed ? packed[i].size : e.data.size());
    }
    const size_t at = data.size();
    data.resize(at + kChunkRecordSize);
    record.Write(data.data() + at);
    // Each packed copy goes as soon as it is laid out.
    if (packed[i].compressed) {
      AppendJoined(&packed[i].pieces, &data);
    } else if (!e.copy) {
      data.insert(data.end(), e.data.begin(), e.data.end());
    }
    if (owned != nullptr) std::vector<uint8_t>().swap(owned->entries[i].data);
  }
  *out = std::move(data);
  return true;
}

}  // namespace

bool BuildSaverDataFile(const DataFileInput& input, std::vector<uint8_t>* out, std::string* error,
                        const Progress& progress, unsigned jobs) {
  return BuildDataFile(input, nullptr, out, error, progress, jobs);
}

bool BuildSaverDataFile(DataFileInput&& input, std::vector<uint8_t>* out, std::string* error,
                        const Progress& progress, unsigned jobs) {
  return BuildDataFile(input, &input, out, error, progress, jobs);
}

bool BuildInstaller(const std::vector<uint8_t>& stub, const PackageInput& input,
                    std::vector<uint8_t>* out, std::string* error, const Progress& progress,
                    unsigned jobs) {
  if (!CheckStub(stub, error)) {
    *error = "stub: " + *error;
    return false;
  }
  const std::vector<std::string> faults = CheckPackageInput(input);
  if (!faults.empty()) {
    *error = faults.front();
    return false;
  }

  const int32_t packageOffset = static_cast<int32_t>(stub.size());
  TPackageHeader header;
  header.displayMode = input.displayMode;
  header.showLicense = input.segments[kSegLicense] ? 1 : 0;
  header.hasCompanionFile = input.segments[kSegCompanion] ? 1 : 0;
  header.carriesFlashSetup = input.segments[kSegFlashSetup] ? 1 : 0;
  header.flashVersionIndex = input.flashVersionIndex;
  header.showDisplayProperties = input.showDisplayProperties ? 1 : 0;
  header.title = input.title;

  TSegmentEntry& self = header.segments[kSegInstaller];
  self.name = input.installerName;
  self.startOffset = 0;
  self.endOffset = packageOffset - 1;
  self.segmentType = SegmentTypeFor(kSegInstaller);
  self.packedSize = packageOffset;
  self.originalSize = packageOffset;

  // The segments present, packed side by side, then laid out in their order.
  std::vector<int> present;
  for (int i = 1; i < kSegmentCount; ++i) {
    if (input.segments[i]) present.push_back(i);
  }
  std::vector<ItemInput> items;
  for (int i : present) {
    const SegmentInput& in = *input.segments[i];
    items.push_back({&in.data, i == kSegLibrary ? Compression::kStore : in.compression});
  }
  std::vector<PackedItem> packed = PackAll(
      items, jobs,
      [&](size_t k) {
        return SegmentLabel(present[k]) + " " + AnsiToUtf8(input.segments[present[k]]->name);
      },
      progress);

  int64_t total = static_cast<int64_t>(stub.size() + kPackageHeaderSize);
  for (size_t k = 0; k < present.size(); ++k) {
    const int i = present[k];
    if (!packed[k].ok) {
      *error = SegmentLabel(i) + " " + Quoted(input.segments[i]->name) + ": " + packed[k].error;
      return false;
    }
    const size_t size = packed[k].compressed ? packed[k].size : input.segments[i]->data.size();
    if (total + static_cast<int64_t>(size) > kMaxOffset) {
      *error = "the installer grows beyond 2 GiB at " + SegmentLabel(i);
      return false;
    }
    total += static_cast<int64_t>(size);
  }

  std::vector<uint8_t> result;
  result.reserve(static_cast<size_t>(total));
  result.assign(stub.begin(), stub.end());
  result.resize(stub.size() + kPackageHeaderSize);
  size_t k = 0;
  for (int i = 1; i < kSegmentCount; ++i) {
    TSegmentEntry& entry = header.segments[i];
    entry.segmentType = SegmentTypeFor(i);
    const int64_t start = static_cast<int64_t>(result.size());
    if (!input.segments[i]) {
      // An absent segment: no name, both offsets at the next segment's
      // start, flagged compressed with sizes 0, as the installer's packages
      // have always had them.
      entry.startOffset = static_cast<int32_t>(start);
      entry.endOffset = static_cast<int32_t>(start);
      entry.compressed = 1;
      continue;
    }
    const SegmentInput& in = *input.segments[i];
    PackedItem& item = packed[k++];
    const size_t size = item.compressed ? item.size : in.data.size();
    entry.name = in.name;
    entry.startOffset = static_cast<int32_t>(start);
    entry.endOffset = static_cast<int32_t>(start + static_cast<int64_t>(size) - 1);
    entry.compressed = item.compressed ? 1 : 0;
    entry.packedSize = static_cast<int32_t>(size);
    entry.originalSize = static_cast<int32_t>(in.data.size());
    if (item.compressed) {
      AppendJoined(&item.pieces, &result);
    } else {
      result.insert(result.end(), in.data.begin(), in.data.end());
    }
  }
  header.Write(result.data() + stub.size());
  *out = std::move(result);
  return true;
}

}  // namespace ss::pack
