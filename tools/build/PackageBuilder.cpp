#include "tools/build/PackageBuilder.h"

#include <utility>

#include "package/PackageRoles.h"
#include "tools/common/PackNames.h"
#include "tools/read/StubImage.h"

namespace ss::pack {

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

ToolResult PackBytes(const std::vector<uint8_t>& data, Compression how,
                     std::vector<uint8_t>* stored, bool* compressed) {
  std::vector<PackedItem> items =
      PackAll({ItemInput{&data, how}}, 1, [](size_t) { return std::string(); }, nullptr);
  PackedItem& item = items[0];
  if (!item.packed.ok()) return item.packed;
  *compressed = item.compressed;
  if (item.compressed) {
    stored->clear();
    stored->reserve(item.size);
    AppendJoined(&item.pieces, stored);
  } else {
    *stored = data;
  }
  return ToolResult();
}

namespace {

// The data file's entries, packed side by side.
std::vector<PackedItem> PackEntries(const DataFileInput& input, const Progress& progress,
                                    unsigned jobs) {
  std::vector<ItemInput> items(input.entries.size());
  for (size_t i = 0; i < items.size(); ++i) {
    if (!input.entries[i].copy) items[i] = {&input.entries[i].data, input.entries[i].compression};
  }
  return PackAll(
      items, jobs, [&](size_t i) { return AnsiToUtf8(input.entries[i].name); }, progress);
}

// The size of the data file: the first entry that could not be packed, or a
// size beyond 2 GiB, is a fault.
ToolResult DataFileSize(const DataFileInput& input, const std::vector<PackedItem>& packed,
                        uint64_t* total) {
  const size_t count = input.entries.size();
  *total = kSaverDataHeaderSize + uint64_t(kSaverFileEntrySize + kChunkRecordSize) * count;
  for (size_t i = 0; i < count; ++i) {
    if (!packed[i].packed.ok()) {
      return ToolResult::Fault("data-file entry " + QuotedUtf8(input.entries[i].name) + ": " +
                               packed[i].packed.message());
    }
    *total += packed[i].compressed ? packed[i].size : input.entries[i].data.size();
  }
  if (*total > static_cast<uint64_t>(kMaxPackageOffset)) {
    return ToolResult::Fault("the data file grows beyond 2 GiB");
  }
  return ToolResult();
}

// The header, the entry table, then each entry's chunk record and bytes in
// entry order. Each packed copy goes as soon as it is laid out, and with
// `owned` (the input itself) each entry's own bytes as well.
std::vector<uint8_t> LayOutDataFile(const DataFileInput& input, DataFileInput* owned,
                                    std::vector<PackedItem>* packed, uint64_t total) {
  const size_t count = input.entries.size();
  TSaverDataHeader header;
  header.setSettings(input.settings);
  header.setEntryCount(static_cast<int32_t>(count));
  header.setContentKind(input.contentKind);
  std::vector<uint8_t> data(kSaverDataHeaderSize + kSaverFileEntrySize * count);
  data.reserve(static_cast<size_t>(total));
  header.Write(data.data());
  for (size_t i = 0; i < count; ++i) {
    const DataEntryInput& e = input.entries[i];
    PackedItem& item = (*packed)[i];
    TSaverFileEntry entry;
    entry.entryType = e.copy ? TSaverFileEntry::kTypeCopy : 0;
    entry.fileName = e.name;
    entry.recordOffset = static_cast<int32_t>(data.size());
    entry.Write(data.data() + kSaverDataHeaderSize + kSaverFileEntrySize * i);

    TChunkRecord record;
    if (!e.copy) {
      record.originalSize = static_cast<int32_t>(e.data.size());
      record.compressed = item.compressed ? 1 : 0;
      // For a stored entry the packed size repeats the stored length.
      record.packedSize = static_cast<int32_t>(item.compressed ? item.size : e.data.size());
    }
    const size_t at = data.size();
    data.resize(at + kChunkRecordSize);
    record.Write(data.data() + at);
    if (item.compressed) {
      AppendJoined(&item.pieces, &data);
    } else if (!e.copy) {
      data.insert(data.end(), e.data.begin(), e.data.end());
    }
    if (owned != nullptr) std::vector<uint8_t>().swap(owned->entries[i].data);
  }
  return data;
}

ToolResult BuildDataFile(const DataFileInput& input, DataFileInput* owned,
                         std::vector<uint8_t>* out, const Progress& progress, unsigned jobs) {
  if (ToolResult checked = CheckDataFileInput(input); !checked.ok()) return checked;
  std::vector<PackedItem> packed = PackEntries(input, progress, jobs);
  uint64_t total = 0;
  if (ToolResult sized = DataFileSize(input, packed, &total); !sized.ok()) return sized;
  *out = LayOutDataFile(input, owned, &packed, total);
  return ToolResult();
}

// Every fault of the stub and of the package input.
ToolResult CheckInstallerInput(const std::vector<uint8_t>& stub, const PackageInput& input,
                               const std::string& stubName) {
  std::vector<std::string> faults;
  if (const ToolResult stubChecked = CheckStub(stub); !stubChecked.ok()) {
    faults.push_back(stubName + ": " + stubChecked.message());
  }
  const ToolResult checked = CheckPackageInput(input);
  faults.insert(faults.end(), checked.messages().begin(), checked.messages().end());
  return ToolResult::Faults(std::move(faults));
}

// The header's flags and title, and segment 0, which spans the stub.
TPackageHeader MakePackageHeader(const PackageInput& input, int32_t packageOffset) {
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
  return header;
}

// The segments present (1 to 10), in order.
std::vector<int> PresentSegments(const PackageInput& input) {
  std::vector<int> present;
  for (int i = 1; i < kSegmentCount; ++i) {
    if (input.segments[i]) present.push_back(i);
  }
  return present;
}

// The segments present, packed side by side; the library always stored.
std::vector<PackedItem> PackSegments(const PackageInput& input, const std::vector<int>& present,
                                     const Progress& progress, unsigned jobs) {
  std::vector<ItemInput> items;
  for (int i : present) {
    const SegmentInput& in = *input.segments[i];
    items.push_back({&in.data, i == kSegLibrary ? Compression::kStore : in.compression});
  }
  return PackAll(
      items, jobs,
      [&](size_t k) {
        return SegmentLabel(present[k]) + " " + AnsiToUtf8(input.segments[present[k]]->name);
      },
      progress);
}

// The size of the installer: the first segment that could not be packed, or
// the segment at which it grows beyond 2 GiB, is a fault.
ToolResult InstallerSize(size_t stubSize, const PackageInput& input,
                         const std::vector<int>& present, const std::vector<PackedItem>& packed,
                         int64_t* total) {
  *total = static_cast<int64_t>(stubSize + kPackageHeaderSize);
  for (size_t k = 0; k < present.size(); ++k) {
    const int i = present[k];
    if (!packed[k].packed.ok()) {
      return ToolResult::Fault(SegmentLabel(i) + " " + QuotedUtf8(input.segments[i]->name) + ": " +
                               packed[k].packed.message());
    }
    const size_t size = packed[k].compressed ? packed[k].size : input.segments[i]->data.size();
    if (*total + static_cast<int64_t>(size) > kMaxPackageOffset) {
      return ToolResult::Fault("the installer grows beyond 2 GiB at " + SegmentLabel(i));
    }
    *total += static_cast<int64_t>(size);
  }
  return ToolResult();
}

// Appends segments 1 to 10 to *out (the stub and room for the header) and
// fills their entries of *header.
void LayOutSegments(const PackageInput& input, std::vector<PackedItem>* packed,
                    TPackageHeader* header, std::vector<uint8_t>* out) {
  size_t k = 0;
  for (int i = 1; i < kSegmentCount; ++i) {
    TSegmentEntry& entry = header->segments[i];
    entry.segmentType = SegmentTypeFor(i);
    const int64_t start = static_cast<int64_t>(out->size());
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
    PackedItem& item = (*packed)[k++];
    const size_t size = item.compressed ? item.size : in.data.size();
    entry.name = in.name;
    entry.startOffset = static_cast<int32_t>(start);
    entry.endOffset = static_cast<int32_t>(start + static_cast<int64_t>(size) - 1);
    entry.compressed = item.compressed ? 1 : 0;
    entry.packedSize = static_cast<int32_t>(size);
    entry.originalSize = static_cast<int32_t>(in.data.size());
    if (item.compressed) {
      AppendJoined(&item.pieces, out);
    } else {
      out->insert(out->end(), in.data.begin(), in.data.end());
    }
  }
}

}  // namespace

ToolResult BuildSaverDataFile(const DataFileInput& input, std::vector<uint8_t>* out,
                              const Progress& progress, unsigned jobs) {
  return BuildDataFile(input, nullptr, out, progress, jobs);
}

ToolResult BuildSaverDataFile(DataFileInput&& input, std::vector<uint8_t>* out,
                              const Progress& progress, unsigned jobs) {
  return BuildDataFile(input, &input, out, progress, jobs);
}

ToolResult BuildInstaller(const std::vector<uint8_t>& stub, const PackageInput& input,
                          std::vector<uint8_t>* out, const Progress& progress, unsigned jobs,
                          const std::string& stubName) {
  if (ToolResult checked = CheckInstallerInput(stub, input, stubName); !checked.ok()) return checked;
  const std::vector<int> present = PresentSegments(input);
  std::vector<PackedItem> packed = PackSegments(input, present, progress, jobs);
  int64_t total = 0;
  if (ToolResult sized = InstallerSize(stub.size(), input, present, packed, &total); !sized.ok()) {
    return sized;
  }
  std::vector<uint8_t> result;
  result.reserve(static_cast<size_t>(total));
  result.assign(stub.begin(), stub.end());
  result.resize(stub.size() + kPackageHeaderSize);
  TPackageHeader header = MakePackageHeader(input, static_cast<int32_t>(stub.size()));
  LayOutSegments(input, &packed, &header, &result);
  header.Write(result.data() + stub.size());
  *out = std::move(result);
  return ToolResult();
}

}  // namespace ss::pack
