#include "tools/manifest/ManifestReader.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "package/PackageRoles.h"
#include "tools/common/FileIo.h"
#include "tools/common/PackNames.h"
#include "tools/check/Verify.h"
#include "tools/pe/PeImage.h"
#include "winsys/LMT_StringUtils.h"

namespace ss::pack {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Whether `path` is `folder` or lies below it; both in canonical form.
bool Inside(const fs::path& path, const fs::path& folder) {
  auto p = path.begin();
  for (const fs::path& part : folder) {
    if (part.empty()) continue;  // a trailing separator
    if (p == path.end() || *p != part) return false;
    ++p;
  }
  return true;
}

// The canonical form of a path: links resolved, "." and ".." gone. A path
// that does not exist yet keeps its missing tail as written (reading it then
// says that it is missing).
fs::path Canonical(const fs::path& path, std::error_code* ec) {
  const fs::path real = fs::weakly_canonical(path, *ec);
  return *ec ? path : real;
}

// The data folder's compression choices: one for every entry, and the
// entries named otherwise (by ANSI name, with Windows separators).
struct EntryCompression {
  Compression fallback = Compression::kAuto;
  std::map<std::string, Compression> overrides;
};

// A file found below the data folder: its name there ("pics/b.bin") and its
// path as found.
using FolderFile = std::pair<std::string, fs::path>;

// Reads one manifest. A fault stops it with a message that says where; the
// builder's checks of the whole input report every fault they find.
class ManifestReader {
 public:
  ManifestReader(std::string baseDir, const ManifestOptions& options, std::string label,
                 std::vector<std::string>* notes, const Progress& progress,
                 std::vector<std::string>* outside)
      : baseDir_(std::move(baseDir)), options_(options), label_(std::move(label)),
        notes_(notes), progress_(progress), outside_(outside) {
    std::error_code ec;
    home_ = Canonical(fs::absolute(fs::u8path(baseDir_), ec), &ec);
  }

  ToolResult Read(const json& doc, PackageInput* input) {
    if (!ReadManifest(doc, input)) return ToolResult::Faults(std::move(faults_));
    return ToolResult();
  }

 private:
  // Each returns false when it has added the fault it stops on to faults_.
  bool Fail(const std::string& where, const std::string& what) {
    return FailWith(label_ + ": " + where + ": " + what);
  }
  bool FailWith(std::string message) {
    faults_.push_back(std::move(message));
    return false;
  }
  // Every fault of a check, each after `prefix`; true when there is none.
  bool FailEach(const std::string& prefix, const std::vector<std::string>& faults) {
    for (const std::string& fault : faults) faults_.push_back(prefix + fault);
    return faults.empty();
  }
  bool FailEach(const std::string& prefix, const ToolResult& result) {
    return FailEach(prefix, result.messages());
  }

  // The manifest's parts, in the order they are read.
  bool ReadManifest(const json& doc, PackageInput* input);
  bool CheckTopLevel(const json& doc);
  bool ReadNames(const json& doc, PackageInput* input);
  bool ReadPresentation(const json& pres, PackageInput* input);
  bool ReadInstallerFiles(const json& doc, PackageInput* input);
  bool ReadInstallChoices(const json& doc, PackageInput* input);
  bool ReadSaverFiles(const json& doc, PackageInput* input);
  bool ReadLibrary(PackageInput* input);
  bool ReadData(const json& data, const PackageInput& input, SegmentInput* out);
  bool ReadReadyDataFile(const json& data, bool movieStaged, SegmentInput* out);
  bool CheckInstallDirectoryNames(const DataFileInput& file, const PackageInput& input);

  // The data folder's parts.
  bool ReadFolder(const json& data, const std::string& where, DataFileInput* out);
  bool ReadSettings(const json& data, const std::string& where, DataFileInput* out);
  bool ReadContentKind(const json& data, const std::string& where, DataFileInput* out);
  bool ReadEntryCompression(const json& data, const std::string& where, EntryCompression* out);
  bool ReadMovieAndCopies(const json& data, const std::string& where, DataFileInput* out);
  bool ListFolder(const fs::path& realRoot, const std::string& root, const std::string& where,
                  size_t entriesBefore, std::vector<FolderFile>* files);
  bool ReadFolderFiles(const std::vector<FolderFile>& files, const fs::path& realRoot,
                       const std::string& where, EntryCompression* compression,
                       std::vector<DataEntryInput>* entries);

  // Values and files.
  bool CheckKeys(const json& obj, const std::string& where, const std::set<std::string>& allowed);
  bool ReadString(const json& obj, const std::string& key, const std::string& where,
                  std::string* out);
  bool ReadCompression(const json& obj, const std::string& where, Compression* out);
  // A file reference: "path" or {"file": "path", "compress": "..."}.
  bool ReadFileRef(const json& ref, const std::string& where, SegmentInput* out);
  bool ReadPath(const std::string& path, const std::string& where, std::vector<uint8_t>* out);
  // The file or folder a path names, links resolved, into *real: inside the
  // manifest's folder, or outside it when the options allow it (and then
  // listed, unless it lies within `listedFolder`, a folder already listed).
  bool Admit(const std::string& path, const std::string& where, fs::path* real,
             const fs::path& listedFolder = fs::path());
  bool ToAnsi(const std::string& utf8, const std::string& where, std::string* out);
  // A data-file entry's name: ANSI, with Windows separators.
  bool ToEntryName(const std::string& utf8, const std::string& where, std::string* out) {
    if (!ToAnsi(utf8, where, out)) return false;
    std::replace(out->begin(), out->end(), '/', '\\');
    return true;
  }
  // Paths are made absolute, so that a path found inside a folder (already
  // joined with the manifest's folder) is never joined with it again.
  std::string Resolve(const std::string& path) const {
    const fs::path p = fs::u8path(path);
    if (p.is_absolute()) return path;
    std::error_code ec;
    const fs::path joined = fs::u8path(baseDir_) / p;
    const fs::path absolute = fs::absolute(joined, ec);
    return (ec ? joined : absolute).u8string();
  }

  std::string baseDir_;
  ManifestOptions options_;
  std::string label_;
  std::vector<std::string>* notes_;
  Progress progress_;
  std::vector<std::string>* outside_;
  fs::path home_;  // the manifest's folder, canonical
  Compression defaultCompression_ = Compression::kAuto;
  std::vector<std::string> faults_;
};

bool ManifestReader::CheckKeys(const json& obj, const std::string& where,
                               const std::set<std::string>& allowed) {
  if (!obj.is_object()) return Fail(where, "must be an object");
  for (auto it = obj.begin(); it != obj.end(); ++it) {
    // A misspelt key would otherwise leave out a file without a word.
    if (!allowed.count(it.key())) return Fail(where, "unknown key \"" + it.key() + "\"");
  }
  return true;
}

bool ManifestReader::ReadString(const json& obj, const std::string& key, const std::string& where,
                                std::string* out) {
  const auto it = obj.find(key);
  if (it == obj.end()) return Fail(where, "\"" + key + "\" is missing");
  if (!it->is_string()) return Fail(where + "." + key, "must be a string");
  *out = it->get<std::string>();
  return true;
}

bool ManifestReader::ReadCompression(const json& obj, const std::string& where,
                                     Compression* out) {
  if (!obj.is_string() || !ParseCompression(obj.get<std::string>(), out)) {
    return Fail(where, "must be \"auto\", \"compress\" or \"store\"");
  }
  return true;
}

bool ManifestReader::ToAnsi(const std::string& utf8, const std::string& where, std::string* out) {
  std::string bad;
  if (!Utf8ToAnsi(utf8, out, &bad)) {
    return Fail(where, "\"" + utf8 + "\" holds the character \"" + bad +
                           "\", which the Windows ANSI code page (1252) cannot write");
  }
  return true;
}

bool ManifestReader::Admit(const std::string& path, const std::string& where, fs::path* real,
                           const fs::path& listedFolder) {
  std::error_code ec;
  *real = Canonical(fs::u8path(Resolve(path)), &ec);
  if (ec) return Fail(where, Resolve(path) + ": " + ec.message());
  if (Inside(*real, home_)) return true;
  if (!options_.allowOutside) {
    return Fail(where, "\"" + path + "\" (" + real->u8string() + ") lies outside the manifest's folder " +
                           home_.u8string() + "; give --allow-outside to pack files from elsewhere");
  }
  if (outside_ != nullptr && (listedFolder.empty() || !Inside(*real, listedFolder))) {
    outside_->push_back(where + ": " + real->u8string());
  }
  return true;
}

bool ManifestReader::ReadPath(const std::string& path, const std::string& where,
                              std::vector<uint8_t>* out) {
  // The file read is the one checked: its canonical path.
  fs::path real;
  if (!Admit(path, where, &real)) return false;
  if (ToolResult read = ReadWholeFile(real.u8string(), out); !read.ok()) return Fail(where, read.message());
  return true;
}

bool ManifestReader::ReadFileRef(const json& ref, const std::string& where, SegmentInput* out) {
  std::string path;
  out->compression = defaultCompression_;
  if (ref.is_string()) {
    path = ref.get<std::string>();
  } else if (ref.is_object()) {
    if (!CheckKeys(ref, where, {"file", "compress"})) return false;
    if (!ReadString(ref, "file", where, &path)) return false;
    if (ref.contains("compress") &&
        !ReadCompression(ref["compress"], where + ".compress", &out->compression)) {
      return false;
    }
  } else {
    return Fail(where, "must be a file name or {\"file\": ..., \"compress\": ...}");
  }
  if (path.empty()) return Fail(where, "the file name is empty");
  if (!ReadPath(path, where, &out->data)) return false;
  out->source = Resolve(path);
  // The name the installer writes is the file's own name, unless the caller
  // gives the segment a fixed one.
  return ToAnsi(fs::u8path(path).filename().u8string(), where, &out->name);
}

// The engine's settings: 1232 bytes of their own, or those of a whole
// "saver.dat" (as extract writes it) around the entry count and content
// kind, which the folder decides anew.
bool ManifestReader::ReadSettings(const json& data, const std::string& where, DataFileInput* out) {
  if (!data.contains("settings")) return true;
  std::string settingsPath;
  if (!ReadString(data, "settings", where, &settingsPath)) return false;
  std::vector<uint8_t> settings;
  if (!ReadPath(settingsPath, where + ".settings", &settings)) return false;
  if (settings.size() == kSaverDataHeaderSize) {
    out->settings = TSaverDataHeader::Parse(settings.data()).settings();
  } else if (settings.size() == kSaverSettingsSize) {
    std::copy(settings.begin(), settings.end(), out->settings.begin());
  } else {
    return Fail(where + ".settings", Resolve(settingsPath) + ": has " +
                                         std::to_string(settings.size()) +
                                         " bytes; the settings are exactly 1232 bytes "
                                         "(212 + 988 + 32), or a whole 1240-byte saver.dat");
  }
  return true;
}

bool ManifestReader::ReadContentKind(const json& data, const std::string& where, DataFileInput* out) {
  if (!data.contains("contentKind")) return true;
  if (!data["contentKind"].is_number_integer()) {
    return Fail(where + ".contentKind", "must be a whole number");
  }
  const int64_t kind = data["contentKind"].get<int64_t>();
  if (kind < INT32_MIN || kind > INT32_MAX) {
    return Fail(where + ".contentKind", "does not fit 32 bits");
  }
  out->contentKind = static_cast<int32_t>(kind);
  return true;
}

bool ManifestReader::ReadEntryCompression(const json& data, const std::string& where,
                                          EntryCompression* out) {
  if (data.contains("entryCompress") &&
      !ReadCompression(data["entryCompress"], where + ".entryCompress", &out->fallback)) {
    return false;
  }
  if (!data.contains("entryOverrides")) return true;
  const json& o = data["entryOverrides"];
  if (!o.is_object()) return Fail(where + ".entryOverrides", "must be an object");
  for (auto it = o.begin(); it != o.end(); ++it) {
    std::string name;
    if (!ToEntryName(it.key(), where + ".entryOverrides", &name)) return false;
    Compression c;
    if (!ReadCompression(it.value(), where + ".entryOverrides." + it.key(), &c)) return false;
    out->overrides[name] = c;
  }
  return true;
}

// Entry 1 stands for the installer's movie with content kind 3; further
// copies of entry 1 may follow it.
bool ManifestReader::ReadMovieAndCopies(const json& data, const std::string& where,
                                        DataFileInput* out) {
  std::vector<DataEntryInput>& entries = out->entries;
  if (out->contentKind == TSaverDataHeader::kContentKindMovie) {
    DataEntryInput movie;
    std::string name;
    if (!ReadString(data, "movieEntry", where + " (content kind 3 needs it)", &name)) return false;
    if (!ToEntryName(name, where + ".movieEntry", &movie.name)) return false;
    movie.copy = true;
    entries.push_back(movie);
  } else if (data.contains("movieEntry")) {
    return Fail(where + ".movieEntry", "only content kind 3 has a movie entry");
  }
  if (!data.contains("copies")) return true;
  if (entries.empty()) return Fail(where + ".copies", "copies need content kind 3");
  const json& copies = data["copies"];
  if (!copies.is_array()) return Fail(where + ".copies", "must be a list of names");
  for (const json& c : copies) {
    if (!c.is_string()) return Fail(where + ".copies", "must be a list of names");
    DataEntryInput copy;
    if (!ToEntryName(c.get<std::string>(), where + ".copies", &copy.name)) return false;
    copy.copy = true;
    entries.push_back(copy);
  }
  return true;
}

// The folder's files, sub-folders included, in a fixed order so that the
// same folder always gives the same data file. The names are gathered and
// counted before any file is read: a folder of more files than the
// installer takes is refused before its files are loaded.
bool ManifestReader::ListFolder(const fs::path& realRoot, const std::string& root,
                                const std::string& where, size_t entriesBefore,
                                std::vector<FolderFile>* files) {
  std::error_code ec;
  fs::recursive_directory_iterator it(realRoot, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const fs::file_status status = it->status(ec);
    if (ec) break;
    if (fs::is_directory(status)) continue;
    // Named as found, a link by its own name (fs::relative would follow it).
    const std::string rel = it->path().lexically_relative(realRoot).generic_u8string();
    if (!fs::is_regular_file(status)) {
      return Fail(where + ".folder", it->path().u8string() + ": not a regular file");
    }
    files->push_back({rel, it->path()});
  }
  if (ec) return Fail(where + ".folder", root + ": cannot be read: " + ec.message());
  if (entriesBefore + files->size() > static_cast<size_t>(kMaxSaverEntries)) {
    return Fail(where + ".folder", root + ": the data file would have " +
                                       std::to_string(entriesBefore + files->size()) +
                                       " entries; the installer takes at most " +
                                       std::to_string(kMaxSaverEntries));
  }
  std::sort(files->begin(), files->end());
  return true;
}

// Every file is admitted (a link inside the folder counts where it points
// to) before any is read; each then takes its compression.
bool ManifestReader::ReadFolderFiles(const std::vector<FolderFile>& files, const fs::path& realRoot,
                                     const std::string& where, EntryCompression* compression,
                                     std::vector<DataEntryInput>* entries) {
  const bool rootOutside = !Inside(realRoot, home_);
  std::vector<fs::path> reals(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    if (!Admit(files[i].second.u8string(), where + ".folder", &reals[i],
               rootOutside ? realRoot : fs::path())) {
      return false;
    }
  }
  std::map<std::string, Compression>& overrides = compression->overrides;
  for (size_t i = 0; i < files.size(); ++i) {
    const auto& [rel, path] = files[i];
    DataEntryInput entry;
    if (!ToEntryName(rel, where + ".folder", &entry.name)) return false;
    if (ToolResult read = ReadWholeFile(reals[i].u8string(), &entry.data); !read.ok()) {
      return Fail(where + ".folder", read.message());
    }
    entry.source = path.u8string();
    const auto o = overrides.find(entry.name);
    entry.compression = o == overrides.end() ? compression->fallback : o->second;
    if (o != overrides.end()) overrides.erase(o);
    entries->push_back(std::move(entry));
  }
  if (!overrides.empty()) {
    return Fail(where + ".entryOverrides",
                "\"" + AnsiToUtf8(overrides.begin()->first) + "\" is no file of the folder");
  }
  return true;
}

bool ManifestReader::ReadFolder(const json& data, const std::string& where, DataFileInput* out) {
  std::string folder;
  if (!ReadString(data, "folder", where, &folder)) return false;
  const std::string root = Resolve(folder);
  fs::path realRoot;
  if (!Admit(folder, where + ".folder", &realRoot)) return false;
  std::error_code ec;
  if (!fs::is_directory(realRoot, ec)) {
    return Fail(where + ".folder", root + ": not a folder");
  }
  EntryCompression compression;
  if (!ReadSettings(data, where, out) || !ReadContentKind(data, where, out) ||
      !ReadEntryCompression(data, where, &compression) || !ReadMovieAndCopies(data, where, out)) {
    return false;
  }
  std::vector<FolderFile> files;
  if (!ListFolder(realRoot, root, where, out->entries.size(), &files) ||
      !ReadFolderFiles(files, realRoot, where, &compression, &out->entries)) {
    return false;
  }
  return FailEach(label_ + ": " + where + ": ", CheckDataFileInput(*out));
}

// "ssd": the author's own data file, packed whole like a folder (no output
// limit); what verify would note of it becomes a note of the build.
bool ManifestReader::ReadReadyDataFile(const json& data, bool movieStaged, SegmentInput* out) {
  const std::string where = "data";
  for (const char* key : {"settings", "contentKind", "movieEntry", "copies", "entryCompress",
                          "entryOverrides"}) {
    if (data.contains(key)) {
      return Fail(where + "." + key, "belongs to \"folder\"; a ready data file has its own");
    }
  }
  std::string path;
  if (!ReadString(data, "ssd", where, &path)) return false;
  if (!ReadPath(path, where + ".ssd", &out->data)) return false;
  out->source = Resolve(path);
  std::vector<std::string> faults;
  for (const Finding& f : VerifyDataFile(out->data, movieStaged, 0, kNoOutputLimit)) {
    (f.fault ? faults : *notes_).push_back(out->source + ": " + f.text);
  }
  return FailEach(label_ + ": " + where + ".ssd: ", faults);
}

// The install directory also receives the support files and "saver.dat";
// a top-level entry of the same name would overwrite one of them.
bool ManifestReader::CheckInstallDirectoryNames(const DataFileInput& file,
                                                const PackageInput& input) {
  std::set<std::string> taken = {"saver.dat"};
  for (int i : {kSegLicense, kSegCompanion, kSegSupportFile, kSegSupportLib1, kSegSupportLib2}) {
    if (input.segments[i]) taken.insert(AsciiLower(input.segments[i]->name));
  }
  for (const DataEntryInput& e : file.entries) {
    if (taken.count(AsciiLower(e.name))) {
      return Fail("data", "the data file's \"" + AnsiToUtf8(e.name) +
                              "\" has the name of another file of the install directory");
    }
  }
  return true;
}

bool ManifestReader::ReadData(const json& data, const PackageInput& input, SegmentInput* out) {
  const std::string where = "data";
  if (!CheckKeys(data, where,
                 {"ssd", "folder", "settings", "contentKind", "movieEntry", "copies",
                  "entryCompress", "entryOverrides", "compress"})) {
    return false;
  }
  out->compression = defaultCompression_;
  if (data.contains("compress") &&
      !ReadCompression(data["compress"], where + ".compress", &out->compression)) {
    return false;
  }
  const bool movieStaged = input.displayMode == dmFlash;
  if (data.contains("ssd") == data.contains("folder")) {
    return Fail(where, "give either \"ssd\" (a ready data file) or \"folder\" (files to pack)");
  }
  if (data.contains("ssd")) return ReadReadyDataFile(data, movieStaged, out);
  DataFileInput file;
  if (!ReadFolder(data, where, &file)) return false;
  if (file.contentKind == TSaverDataHeader::kContentKindMovie && !movieStaged) {
    return Fail(where + ".contentKind",
                "content kind 3 copies the installer's Flash movie, so the presentation must be "
                "a Flash movie");
  }
  if (!CheckInstallDirectoryNames(file, input)) return false;
  if (!FailEach(label_ + ": " + where + ": ", BuildSaverDataFile(std::move(file), &out->data, progress_))) {
    return false;
  }
  out->source = Resolve(data["folder"].get<std::string>());
  return true;
}

// The top level's keys, and every required key that is absent named at once,
// so that an author (or a manifest that "sspack init" could not complete)
// learns in one go what is still missing.
bool ManifestReader::CheckTopLevel(const json& doc) {
  if (!CheckKeys(doc, "manifest",
                 {"$schema", "title", "presentation", "license", "document", "flashSetup",
                  "flashVersionIndex", "displayProperties", "engine", "supportFile",
                  "supportLibraries", "data", "compress"})) {
    return false;
  }
  // Where an editor finds the manifest's schema (tools/sspack-manifest.schema.json);
  // any address will do, as nothing here reads it.
  if (doc.contains("$schema") && !doc["$schema"].is_string()) {
    return Fail("$schema", "must be a string");
  }
  std::vector<std::string> absent;
  for (const char* key : {"title", "presentation", "engine", "supportFile", "supportLibraries", "data"}) {
    if (!doc.contains(key)) absent.push_back(std::string("\"") + key + "\"");
  }
  if (absent.empty()) return true;
  std::string names;
  for (size_t i = 0; i < absent.size(); ++i) {
    names += (i == 0 ? "" : i + 1 == absent.size() ? " and " : ", ") + absent[i];
  }
  return Fail("manifest", names + (absent.size() == 1 ? " is missing" : " are missing"));
}

// The title, and the installer's own file name that the command line gives.
bool ManifestReader::ReadNames(const json& doc, PackageInput* input) {
  std::string title;
  if (!ReadString(doc, "title", "manifest", &title)) return false;
  if (!ToAnsi(title, "title", &input->title)) return false;
  const std::string titleFault = TitleFault(input->title);
  if (!titleFault.empty()) return Fail("title", "\"" + title + "\": " + titleFault);
  return ToAnsi(options_.installerName, "output name", &input->installerName);
}

bool ManifestReader::ReadPresentation(const json& pres, PackageInput* input) {
  if (!CheckKeys(pres, "presentation", {"kind", "file", "compress"})) return false;
  std::string kind;
  if (!ReadString(pres, "kind", "presentation", &kind)) return false;
  static const std::map<std::string, uint8_t> kKinds = {
      {"bitmap", dmBitmap}, {"flash", dmFlash}, {"jpeg", dmJpeg}, {"none", dmSilent}};
  const auto k = kKinds.find(kind);
  if (k == kKinds.end()) {
    return Fail("presentation.kind", "must be \"bitmap\", \"flash\", \"jpeg\" or \"none\"");
  }
  input->displayMode = k->second;
  if (input->displayMode == dmSilent) {
    if (pres.contains("file") || pres.contains("compress")) {
      return Fail("presentation", "kind \"none\" takes no file");
    }
    return true;
  }
  if (!pres.contains("file")) return Fail("presentation", "\"file\" is missing");
  json ref = {{"file", pres["file"]}};
  if (pres.contains("compress")) ref["compress"] = pres["compress"];
  SegmentInput seg;
  if (!ReadFileRef(ref, "presentation", &seg)) return false;
  seg.name = PresentationName(input->displayMode);
  const std::string fault = PresentationFault(input->displayMode, seg.data);
  if (!fault.empty()) return Fail("presentation", seg.source + ": " + fault);
  input->segments[kSegPresentation] = std::move(seg);
  return true;
}

// The installer's optional files: the licence, the document and the Flash
// player setup.
bool ManifestReader::ReadInstallerFiles(const json& doc, PackageInput* input) {
  const std::pair<const char*, int> optional[] = {
      {"license", kSegLicense}, {"document", kSegCompanion}, {"flashSetup", kSegFlashSetup}};
  for (const auto& [key, index] : optional) {
    if (!doc.contains(key)) continue;
    SegmentInput seg;
    if (!ReadFileRef(doc[key], key, &seg)) return false;
    input->segments[index] = std::move(seg);
  }
  return true;
}

// The Flash version the installer asks for and whether it opens Display
// Properties at the end.
bool ManifestReader::ReadInstallChoices(const json& doc, PackageInput* input) {
  if (doc.contains("flashVersionIndex")) {
    const json& v = doc["flashVersionIndex"];
    if (!v.is_number_integer() || v.get<int64_t>() < 0 || v.get<int64_t>() > 1) {
      return Fail("flashVersionIndex", "must be 0 (Flash 7 r19) or 1 (Flash 8 r22)");
    }
    input->flashVersionIndex = static_cast<uint8_t>(v.get<int64_t>());
  }
  input->showDisplayProperties = true;
  if (doc.contains("displayProperties")) {
    if (!doc["displayProperties"].is_boolean()) {
      return Fail("displayProperties", "must be true or false");
    }
    input->showDisplayProperties = doc["displayProperties"].get<bool>();
  }
  return true;
}

// The screen saver's own files: the engine (installed under the title),
// its support file and its two libraries.
bool ManifestReader::ReadSaverFiles(const json& doc, PackageInput* input) {
  SegmentInput engine;
  if (!ReadFileRef(doc["engine"], "engine", &engine)) return false;
  engine.name = input->title + ".scr";
  input->segments[kSegEngine] = std::move(engine);
  SegmentInput support;
  if (!ReadFileRef(doc["supportFile"], "supportFile", &support)) return false;
  input->segments[kSegSupportFile] = std::move(support);
  const json& libs = doc["supportLibraries"];
  if (!libs.is_array() || libs.size() != 2) {
    return Fail("supportLibraries", "must list exactly two files");
  }
  for (int i = 0; i < 2; ++i) {
    SegmentInput lib;
    if (!ReadFileRef(libs[i], "supportLibraries[" + std::to_string(i) + "]", &lib)) return false;
    input->segments[kSegSupportLib1 + i] = std::move(lib);
  }
  return true;
}

// Segment 1, the decompression library, from the command line's path rather
// than the manifest (its messages name no manifest).
bool ManifestReader::ReadLibrary(PackageInput* input) {
  SegmentInput library;
  if (ToolResult read = ReadWholeFile(options_.impborlPath, &library.data); !read.ok()) {
    return FailWith("decompression library: " + read.message());
  }
  if (const std::string fault = DecompressionLibraryFault(library.data); !fault.empty()) {
    return FailWith("decompression library: " + options_.impborlPath + ": " + fault);
  }
  library.name = kLibrarySegmentName;
  library.compression = Compression::kStore;
  library.source = options_.impborlPath;
  input->segments[kSegLibrary] = std::move(library);
  return true;
}

bool ManifestReader::ReadManifest(const json& doc, PackageInput* input) {
  if (!CheckTopLevel(doc)) return false;
  if (doc.contains("compress") &&
      !ReadCompression(doc["compress"], "compress", &defaultCompression_)) {
    return false;
  }
  if (!ReadNames(doc, input) || !ReadPresentation(doc["presentation"], input) ||
      !ReadInstallerFiles(doc, input) || !ReadInstallChoices(doc, input) ||
      !ReadSaverFiles(doc, input) || !ReadLibrary(input)) {
    return false;
  }
  SegmentInput data;
  if (!ReadData(doc["data"], *input, &data)) return false;
  data.name = input->title + ".ssd";
  input->segments[kSegDataFile] = std::move(data);
  // The builder's check of the whole input, every fault it finds.
  return FailEach(label_ + ": ", CheckPackageInput(*input));
}

ToolResult LoadLabelled(const std::string& text, const std::string& baseDir,
                        const ManifestOptions& options, PackageInput* input,
                        std::vector<std::string>* notes, const Progress& progress,
                        const std::string& label, std::vector<std::string>* outside) {
  json doc;
  try {
    doc = json::parse(text, nullptr, true, true);
  } catch (const json::exception& e) {
    return ToolResult::Fault(label + ": not valid JSON: " + e.what());
  }
  ManifestReader reader(baseDir, options, label, notes, progress, outside);
  *input = PackageInput();
  return reader.Read(doc, input);
}

}  // namespace

ToolResult LoadManifestText(const std::string& text, const std::string& baseDir,
                            const ManifestOptions& options, PackageInput* input,
                            std::vector<std::string>* notes, const Progress& progress,
                            std::vector<std::string>* outside) {
  return LoadLabelled(text, baseDir, options, input, notes, progress, "manifest", outside);
}

ToolResult LoadManifest(const std::string& manifestPath, const ManifestOptions& options,
                        PackageInput* input, std::vector<std::string>* notes,
                        const Progress& progress, std::vector<std::string>* outside) {
  std::vector<uint8_t> bytes;
  if (ToolResult read = ReadWholeFile(manifestPath, &bytes, 16 * 1024 * 1024); !read.ok()) {
    return read;
  }
  const std::string baseDir = fs::u8path(manifestPath).parent_path().u8string();
  return LoadLabelled(std::string(bytes.begin(), bytes.end()),
                      baseDir.empty() ? std::string(".") : baseDir, options, input, notes,
                      progress, manifestPath, outside);
}

}  // namespace ss::pack
