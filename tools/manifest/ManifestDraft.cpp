#include "tools/manifest/ManifestDraft.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

#include "package/PackageRecords.h"
#include "package/PackageRoles.h"
#include "tools/common/FileIo.h"
#include "tools/common/PackNames.h"
#include "tools/build/PackageBuilder.h"
#include "winsys/LMT_StringUtils.h"

namespace ss::pack {
namespace {

namespace fs = std::filesystem;
constexpr size_t kNotNamed = std::numeric_limits<size_t>::max();

// A JSON string literal, quotes included. The folder's own names are UTF-8
// (others are left out); a byte that is not, in the path above them, is
// written as U+FFFD.
std::string JsonString(const std::string& s) {
  return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Whether a name is UTF-8, which a JSON manifest can hold.
bool IsUtf8(const std::string& s) {
  try {
    (void)nlohmann::json(s).dump();
    return true;
  } catch (const nlohmann::json::exception&) {
    return false;
  }
}

// A name as comments and the summary show it: as it is when it is plain,
// else as a JSON string, so that a line break or quote in a file's name can
// neither end a comment (and start keys of its own) nor be mistaken.
std::string Shown(const std::string& name) {
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '"' || c == '\\') return JsonString(name);
  }
  return name;
}

// A file or folder of the author's folder.
struct Found {
  std::string name;   // as on disk (UTF-8)
  std::string lower;  // for comparisons
  std::string ext;    // lower case, with the dot
  fs::path path;
  uint64_t size = 0;
  size_t named = kNotNamed;  // where the engine names it
};

std::string NameList(const std::vector<Found>& files) {
  std::string out;
  for (size_t i = 0; i < files.size(); ++i) out += (i ? ", " : "") + Shown(files[i].name);
  return out;
}

bool HasExt(const Found& f, std::initializer_list<const char*> exts) {
  for (const char* e : exts) {
    if (f.ext == e) return true;
  }
  return false;
}

bool IsNameChar(uint8_t c) { return std::isalnum(c) || c == '_' || c == '-' || c == '.' || c >= 0x80; }

// Where the engine's bytes first name `name` as a whole file name (in ANSI
// or UTF-16 letters, any letter case), or kNotNamed.
size_t NamedAt(const std::vector<uint8_t>& engine, const std::string& name) {
  if (name.empty()) return kNotNamed;
  const std::string lower = AsciiLower(name);
  for (size_t step : {size_t(1), size_t(2)}) {
    const size_t span = lower.size() * step;
    if (engine.size() < span) continue;
    for (size_t at = 0; at + span <= engine.size(); ++at) {
      bool match = true;
      for (size_t k = 0; k < lower.size() && match; ++k) {
        const uint8_t c = engine[at + k * step];
        match = static_cast<char>(std::tolower(c)) == lower[k] && (step == 1 || engine[at + k * step + 1] == 0);
      }
      if (!match) continue;
      const bool startsName = at < step || !IsNameChar(engine[at - step]);
      const bool endsName = at + span + step > engine.size() || !IsNameChar(engine[at + span]);
      if (startsName && endsName) return at;
    }
  }
  return kNotNamed;
}

// The manifest's members in order, each with the comment lines above it.
class ManifestText {
 public:
  void Comment(const std::string& line) { pending_.push_back(line); }
  void Member(const std::string& key, const std::string& value) {
    members_.push_back({pending_, JsonString(key) + ": " + value});
    pending_.clear();
  }
  std::string Finish(const std::vector<std::string>& header) const {
    std::string out;
    for (const std::string& line : header) out += "// " + OneLine(line) + "\n";
    out += "{\n";
    for (size_t i = 0; i < members_.size(); ++i) {
      for (const std::string& line : members_[i].first) out += "  // " + OneLine(line) + "\n";
      out += "  " + members_[i].second + (i + 1 < members_.size() ? ",\n" : "\n");
    }
    for (const std::string& line : pending_) out += "  // " + OneLine(line) + "\n";
    out += "}\n";
    return out;
  }

 private:
  // A comment ends at a line break; names in it come through Shown, and
  // whatever else holds one has it written as "\n" or "\r".
  static std::string OneLine(const std::string& line) {
    std::string out;
    for (const char c : line) out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    return out;
  }

  std::vector<std::pair<std::vector<std::string>, std::string>> members_;
  std::vector<std::string> pending_;
};

// A text for people to read, which may be the document.
bool IsDocument(const Found& f) { return HasExt(f, {".txt", ".htm", ".html", ".rtf", ".pdf", ".doc", ".wri"}); }

bool ByName(const Found& a, const Found& b) { return a.name < b.name; }

// The folder's own files and folders, in name order, and the names a JSON
// manifest cannot hold. Hidden entries are passed over, and so are
// manifests, the tool's own parts and its temporary files: they are no part
// of a screen saver.
struct FolderScan {
  std::vector<Found> files, folders, unnamable;
};

bool IsToolFile(const Found& f) {
  return f.ext == ".json" || f.lower == "ssinstall.exe" || f.lower == kLibraryFileName ||
         f.lower.find(".sspack-") != std::string::npos;
}

ToolResult ScanFolder(const fs::path& root, FolderScan* scan) {
  std::error_code ec;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    Found f;
    f.name = it->path().filename().u8string();
    f.lower = AsciiLower(f.name);
    f.ext = AsciiLower(it->path().extension().u8string());
    f.path = it->path();
    if (f.name[0] == '.') continue;
    if (!IsUtf8(f.name)) {
      scan->unnamable.push_back(f);
      continue;
    }
    const fs::file_status status = it->status(ec);
    if (ec) break;
    if (fs::is_directory(status)) {
      scan->folders.push_back(f);
    } else if (fs::is_regular_file(status)) {
      f.size = fs::file_size(f.path, ec);
      if (ec) break;
      if (!IsToolFile(f)) scan->files.push_back(f);
    }
  }
  if (ec) return ToolResult::Fault(root.u8string() + ": cannot be read: " + ec.message());
  std::sort(scan->files.begin(), scan->files.end(), ByName);
  std::sort(scan->folders.begin(), scan->folders.end(), ByName);
  return ToolResult();
}

// The files by the role their name, kind and size suggest; each file has
// one.
struct Candidates {
  std::vector<Found> engines, flashSetups, libraries, programs, pictures, savers, licences, settings,
      others;
};

Candidates Classify(const std::vector<Found>& files) {
  Candidates c;
  for (const Found& f : files) {
    if (f.ext == ".scr") {
      c.engines.push_back(f);
    } else if (IsFlashSetupName(f.lower)) {
      c.flashSetups.push_back(f);
    } else if (f.ext == ".dll") {
      c.libraries.push_back(f);
    } else if (HasExt(f, {".exe", ".msi", ".com", ".bat"})) {
      c.programs.push_back(f);
    } else if (HasExt(f, {".swf", ".bmp", ".jpg", ".jpeg"})) {
      c.pictures.push_back(f);
    } else if (f.lower == "saver.dat") {
      // The header the installer writes itself; as settings only when
      // nothing else offers them.
      if (f.size == kSaverDataHeaderSize) c.savers.push_back(f);
    } else if (f.lower.find("licen") != std::string::npos || f.lower.find("eula") != std::string::npos) {
      c.licences.push_back(f);
    } else if (f.size == kSaverSettingsSize && !HasExt(f, {".txt", ".htm", ".html", ".rtf"})) {
      c.settings.push_back(f);
    } else {
      c.others.push_back(f);
    }
  }
  return c;
}

// The presentation kinds by a file's extension.
struct PresentationKind {
  const char* ext;
  const char* kind;
  uint8_t mode;
};
constexpr PresentationKind kPresentationKinds[] = {
    {".swf", "flash", dmFlash}, {".bmp", "bitmap", dmBitmap}, {".jpg", "jpeg", dmJpeg}, {".jpeg", "jpeg", dmJpeg}};

// The comment lines that open the manifest: how to build from it, and
// whether something is still missing.
std::vector<std::string> HeaderLines(const fs::path& manifest, bool missing) {
  std::string manifestName = manifest.filename().u8string();
  if (manifestName.find(' ') != std::string::npos || Shown(manifestName) != manifestName) {
    manifestName = JsonString(manifestName);
  }
  std::vector<std::string> header = {
      "A manifest that \"sspack init\" wrote for the files of this folder. Check each",
      "choice, then build the installer with",
      "  sspack build " + manifestName + " -o Setup.exe",
      "Paths are relative to this file. Every key is described in sspack's README",
      "(share/doc/sspack/README.md where sspack is installed)."};
  if (missing) {
    header.push_back("");
    header.push_back("Still missing (see STILL MISSING below): sspack build names them until they are given.");
  }
  return header;
}

// Drafts the manifest for one folder, role by role in the order the manifest
// lists them: each writes its member with a comment that says why, or a
// comment that says what is still missing. What no role takes is listed as
// not packed at the end.
class Drafter {
 public:
  Drafter(const fs::path& manifest, FolderScan scan, ManifestDraft* draft)
      : manifest_(manifest), base_(manifest.parent_path()), folders_(std::move(scan.folders)),
        unnamable_(std::move(scan.unnamable)), c_(Classify(scan.files)), draft_(draft),
        unused_(c_.programs) {}

  ToolResult Draft(const std::string& schemaUri) {
    DraftSchema(schemaUri);
    if (ToolResult read = ReadEngine(); !read.ok()) return read;
    DraftTitle();
    DraftPresentation();
    DraftLicence();
    DraftFlashSetup();
    FindNamedFiles();
    support_ = ChooseSupportFile();
    document_ = ChooseDocument();
    DraftDocument();
    DraftEngine();
    DraftSupportFile();
    DraftSupportLibraries();
    DraftData();
    ListNotPacked();
    draft_->text = m_.Finish(HeaderLines(manifest_, !draft_->missing.empty()));
    return ToolResult();
  }

 private:
  void Chosen(const std::string& line) { draft_->chosen.push_back(line); }
  void Missing(const std::string& line) { draft_->missing.push_back(line); }
  // A path as the manifest holds it: relative to the manifest's folder, as a
  // JSON string.
  std::string PathValue(const fs::path& p) const {
    const fs::path rel = p.lexically_relative(base_);
    return JsonString((rel.empty() ? p : rel).generic_u8string());
  }

  void DraftSchema(const std::string& schemaUri);
  ToolResult ReadEngine();
  void DraftTitle();
  std::vector<std::pair<Found, const PresentationKind*>> UsablePresentations();
  void DraftPresentation();
  void DraftLicence();
  void DraftFlashSetup();
  void FindNamedFiles();
  const Found* ChooseSupportFile() const;
  const Found* ChooseDocument() const;
  void DraftDocument();
  void DraftEngine();
  void DraftSupportFile();
  void ChooseLibraries();
  void DraftSupportLibraries();
  const Found* ChooseDataFolder() const;
  void DraftData();
  void ListNotPacked();

  fs::path manifest_;
  fs::path base_;  // the manifest's folder, which its paths are relative to
  std::vector<Found> folders_;
  std::vector<Found> unnamable_;
  Candidates c_;
  ManifestDraft* draft_;
  std::vector<Found> unused_;  // files and folders no role takes
  ManifestText m_;
  std::vector<uint8_t> engineBytes_;  // the one engine's, else empty
  std::string title_;
  const Found* support_ = nullptr;
  const Found* document_ = nullptr;
  std::vector<Found> libs_;  // the libraries offered for the two places
  const Found* data_ = nullptr;
  const Found* settingsFile_ = nullptr;
};

void Drafter::DraftSchema(const std::string& schemaUri) {
  if (schemaUri.empty()) return;
  m_.Comment("The schema of this file, for editors that check and complete it as it is typed;");
  m_.Comment("sspack does not read it.");
  m_.Member("$schema", JsonString(schemaUri));
}

// The engine, and the title it is installed under.
ToolResult Drafter::ReadEngine() {
  if (c_.engines.size() != 1) return ToolResult();
  if (ToolResult read = ReadWholeFile(c_.engines[0].path.u8string(), &engineBytes_); !read.ok()) return read;
  title_ = c_.engines[0].path.stem().u8string();
  return ToolResult();
}

void Drafter::DraftTitle() {
  if (title_.empty()) {
    m_.Comment("STILL MISSING \"title\": the screen saver's name, at most 64 characters.");
    Missing("title: no engine to take it from; add \"title\"");
    return;
  }
  m_.Comment("The screen saver's name: the engine is installed as \"<title>.scr\" and the");
  m_.Comment("uninstall entry reads \"<title> Screen Saver\". At most 64 characters.");
  std::string ansi, bad;
  const std::string fault =
      Utf8ToAnsi(title_, &ansi, &bad) ? TitleFault(ansi) : "holds \"" + bad + "\", outside code page 1252";
  if (!fault.empty()) {
    m_.Comment("Taken from the engine's name, which does not serve as a title: " + fault);
    Missing("title: " + JsonString(title_) + " (from the engine's name) " + fault + "; give another");
  }
  m_.Member("title", JsonString(title_));
  Chosen("title: " + title_);
}

// The pictures and movies whose bytes can be shown, the one named for it
// ("presentation" or "installer") first; the others are not packed.
std::vector<std::pair<Found, const PresentationKind*>> Drafter::UsablePresentations() {
  std::vector<std::pair<Found, const PresentationKind*>> shows;
  for (const Found& f : c_.pictures) {
    for (const PresentationKind& k : kPresentationKinds) {
      if (f.ext != k.ext) continue;
      std::vector<uint8_t> bytes;
      if (ReadWholeFile(f.path.u8string(), &bytes).ok() && PresentationFault(k.mode, bytes).empty()) {
        shows.push_back({f, &k});
      } else {
        unused_.push_back(f);
      }
    }
  }
  std::stable_sort(shows.begin(), shows.end(), [](const auto& a, const auto& b) {
    auto preferred = [](const Found& f) {
      const std::string stem = AsciiLower(f.path.stem().u8string());
      return stem == "presentation" || stem == "installer";
    };
    return preferred(a.first) && !preferred(b.first);
  });
  return shows;
}

// The presentation shown while installing: of several, the one named for
// it, else the first.
void Drafter::DraftPresentation() {
  const auto shows = UsablePresentations();
  if (shows.empty()) {
    m_.Comment("No picture or Flash movie here: the installer installs without showing one.");
    m_.Comment("For one, give {\"kind\": \"bitmap\" | \"jpeg\" | \"flash\", \"file\": ...}.");
    m_.Member("presentation", "{\"kind\": \"none\"}");
    Chosen("presentation: none");
    return;
  }
  const auto& [show, kind] = shows[0];
  m_.Comment("Shown while installing: \"bitmap\", \"jpeg\", \"flash\" or \"none\" (a quiet install).");
  if (shows.size() > 1) {
    std::vector<Found> rest;
    for (size_t i = 1; i < shows.size(); ++i) rest.push_back(shows[i].first);
    m_.Comment("Also found, not used: " + NameList(rest) + ".");
    unused_.insert(unused_.end(), rest.begin(), rest.end());
  }
  m_.Member("presentation", "{\"kind\": " + JsonString(kind->kind) + ", \"file\": " + PathValue(show.path) + "}");
  Chosen("presentation: " + Shown(show.name) + " (" + kind->kind + ")");
}

void Drafter::DraftLicence() {
  const std::vector<Found>& licences = c_.licences;
  if (licences.empty()) return;
  m_.Comment("The licence the user accepts before installing.");
  if (licences.size() > 1) {
    m_.Comment("Also found, not used: " + NameList(std::vector<Found>(licences.begin() + 1, licences.end())) + ".");
    unused_.insert(unused_.end(), licences.begin() + 1, licences.end());
  }
  m_.Member("license", PathValue(licences[0].path));
  Chosen("license: " + Shown(licences[0].name));
}

void Drafter::DraftFlashSetup() {
  const std::vector<Found>& setups = c_.flashSetups;
  if (setups.empty()) return;
  m_.Comment("The Flash player setup, run when the machine has no player or an older one.");
  m_.Member("flashSetup", PathValue(setups[0].path));
  Chosen("flashSetup: " + Shown(setups[0].name));
  unused_.insert(unused_.end(), setups.begin() + 1, setups.end());
}

// The files the engine names are the ones it loads from its install
// directory: its support file and libraries, the libraries in the order it
// names them.
void Drafter::FindNamedFiles() {
  for (std::vector<Found>* list : {&c_.others, &c_.libraries}) {
    for (Found& f : *list) f.named = engineBytes_.empty() ? kNotNamed : NamedAt(engineBytes_, f.name);
  }
  std::stable_sort(c_.libraries.begin(), c_.libraries.end(),
                   [](const Found& a, const Found& b) { return a.named < b.named; });
}

// The file the engine names first; else the one file of no other role that
// is no document.
const Found* Drafter::ChooseSupportFile() const {
  const Found* support = nullptr;
  for (const Found& f : c_.others) {
    if (f.named != kNotNamed && (support == nullptr || f.named < support->named)) support = &f;
  }
  if (support != nullptr) return support;
  std::vector<const Found*> plain;
  for (const Found& f : c_.others) {
    if (!IsDocument(f)) plain.push_back(&f);
  }
  return plain.size() == 1 ? plain[0] : nullptr;
}

// A "readme" ("readme" before "read me"); else the one document left when
// the support file is known.
const Found* Drafter::ChooseDocument() const {
  const Found* document = nullptr;
  for (const Found& f : c_.others) {
    if (&f == support_ || !IsDocument(f)) continue;
    const bool readme = f.lower.rfind("readme", 0) == 0 || f.lower.rfind("read me", 0) == 0;
    if (readme && (document == nullptr || document->lower.rfind("readme", 0) != 0)) document = &f;
  }
  if (document != nullptr) return document;
  std::vector<const Found*> texts;
  for (const Found& f : c_.others) {
    if (&f != support_ && IsDocument(f)) texts.push_back(&f);
  }
  return texts.size() == 1 && support_ != nullptr ? texts[0] : nullptr;
}

void Drafter::DraftDocument() {
  if (document_ == nullptr) return;
  m_.Comment("A document placed in the install directory.");
  m_.Member("document", PathValue(document_->path));
  Chosen("document: " + Shown(document_->name));
}

void Drafter::DraftEngine() {
  const std::vector<Found>& engines = c_.engines;
  if (engines.size() == 1) {
    m_.Comment("The screen saver engine.");
    m_.Member("engine", PathValue(engines[0].path));
    Chosen("engine: " + Shown(engines[0].name));
    return;
  }
  const std::string why =
      engines.empty() ? "no .scr file here" : "several .scr files here (" + NameList(engines) + "); keep one";
  m_.Comment("STILL MISSING \"engine\": the screen saver (.scr): " + why + ".");
  Missing("engine: " + why);
  unused_.insert(unused_.end(), engines.begin(), engines.end());
}

void Drafter::DraftSupportFile() {
  if (support_ != nullptr) {
    m_.Comment(support_->named != kNotNamed ? "The support file: the engine names it."
                                            : "The support file: the one file here of no other role.");
    m_.Member("supportFile", PathValue(support_->path));
    Chosen("supportFile: " + Shown(support_->name));
    return;
  }
  std::vector<Found> candidates;
  for (const Found& f : c_.others) {
    if (&f != document_) candidates.push_back(f);
  }
  const std::string why = candidates.empty() ? "no file here is left for it"
                                             : "the engine names none of " + NameList(candidates) + "; pick one";
  m_.Comment("STILL MISSING \"supportFile\": the file the engine reads from its install directory:");
  m_.Comment(why + ".");
  Missing("supportFile: " + why);
}

// Of more than two libraries, the engine decides when it names exactly two;
// the others are then not packed.
void Drafter::ChooseLibraries() {
  libs_ = c_.libraries;
  if (libs_.size() <= 2) return;
  std::vector<Found> named;
  for (const Found& f : libs_) {
    if (f.named != kNotNamed) named.push_back(f);
  }
  if (named.size() != 2) return;
  for (const Found& f : libs_) {
    if (f.named == kNotNamed) unused_.push_back(f);
  }
  libs_ = named;
}

void Drafter::DraftSupportLibraries() {
  ChooseLibraries();
  if (libs_.size() == 2) {
    const bool ordered = libs_[0].named != kNotNamed && libs_[1].named != kNotNamed;
    m_.Comment(ordered ? "The two support libraries, in the order the engine names them."
                       : "The two support libraries (check their order: segment 9, then 10).");
    m_.Member("supportLibraries", "[" + PathValue(libs_[0].path) + ", " + PathValue(libs_[1].path) + "]");
    Chosen("supportLibraries: " + Shown(libs_[0].name) + ", " + Shown(libs_[1].name));
    return;
  }
  const std::string why = libs_.empty() ? "no .dll file here"
                          : libs_.size() == 1
                              ? "only " + Shown(libs_[0].name) + " here; the package carries exactly two"
                              : "more than two .dll files here (" + NameList(libs_) + "); name the two the engine loads";
  m_.Comment("STILL MISSING \"supportLibraries\": exactly two libraries for the install directory:");
  m_.Comment(why + ".");
  Missing("supportLibraries: " + why);
}

// The one folder; of several, the one called "media", else "data".
const Found* Drafter::ChooseDataFolder() const {
  const Found* data = nullptr;
  if (folders_.size() == 1) data = &folders_[0];
  for (const char* preferred : {"data", "media"}) {
    for (const Found& f : folders_) {
      if (folders_.size() > 1 && f.lower == preferred) data = &f;
    }
  }
  return data;
}

// The data file: one folder of files, with the engine's settings from a
// 1232-byte file, else from a whole saver.dat.
void Drafter::DraftData() {
  data_ = ChooseDataFolder();
  settingsFile_ = !c_.settings.empty() ? &c_.settings[0] : !c_.savers.empty() ? &c_.savers[0] : nullptr;
  if (data_ == nullptr) {
    const std::string why = folders_.empty() ? "no folder here; put the screen saver's data files in one (e.g. media/)"
                                             : "several folders here (" + NameList(folders_) + "); name one";
    m_.Comment("STILL MISSING \"data\": {\"folder\": FOLDER} with the files the engine shows:");
    m_.Comment(why + ".");
    Missing("data: " + why);
    return;
  }
  std::string value = "{\"folder\": " + PathValue(data_->path);
  if (settingsFile_ != nullptr) {
    m_.Comment("The data file: every file below " + JsonString(data_->name) + ", with the engine's settings");
    m_.Comment("from " + Shown(settingsFile_->name) + " (" + std::to_string(settingsFile_->size) + " bytes).");
    value += ", \"settings\": " + PathValue(settingsFile_->path);
  } else {
    m_.Comment("The data file: every file below " + JsonString(data_->name) + ". No settings file (1232 bytes)");
    m_.Comment("was found, so the engine's settings are zeros; add \"settings\": FILE for others.");
  }
  m_.Member("data", value + "}");
  Chosen("data: " + Shown(data_->name) + "/" + (settingsFile_ ? ", settings " + Shown(settingsFile_->name) : ""));
}

// What no role took, in name order, and the names a manifest cannot hold.
void Drafter::ListNotPacked() {
  for (const std::vector<Found>* rest : {&c_.settings, &c_.savers}) {
    for (const Found& f : *rest) {
      if (&f != settingsFile_) unused_.push_back(f);
    }
  }
  for (const Found& f : c_.others) {
    if (&f != support_ && &f != document_) unused_.push_back(f);
  }
  for (const Found& f : c_.libraries) {
    if (std::none_of(libs_.begin(), libs_.end(), [&](const Found& l) { return l.name == f.name; }) &&
        std::none_of(unused_.begin(), unused_.end(), [&](const Found& u) { return u.name == f.name; })) {
      unused_.push_back(f);
    }
  }
  if (data_ == nullptr) unused_.insert(unused_.end(), folders_.begin(), folders_.end());
  for (const Found& f : folders_) {
    if (data_ != nullptr && &f != data_) unused_.push_back(f);
  }
  std::sort(unused_.begin(), unused_.end(), ByName);
  if (!unused_.empty()) m_.Comment("Not packed: " + NameList(unused_) + ".");
  if (!unnamable_.empty()) {
    std::string names;
    for (const Found& f : unnamable_) names += (names.empty() ? "" : ", ") + JsonString(f.name);
    m_.Comment("Not packed, as their names are not UTF-8, which a manifest cannot hold: " + names + ".");
  }
}

}  // namespace

ToolResult DraftManifest(const std::string& dir, const std::string& manifestPath, ManifestDraft* draft,
                         const std::string& schemaUri) {
  *draft = ManifestDraft();
  std::error_code ec;
  const fs::path root = fs::absolute(fs::u8path(dir), ec).lexically_normal();
  if (ec || !fs::is_directory(root, ec)) return ToolResult::Fault(dir + ": not a folder");
  const fs::path manifest = fs::absolute(fs::u8path(manifestPath), ec).lexically_normal();
  FolderScan scan;
  if (ToolResult scanned = ScanFolder(root, &scan); !scanned.ok()) return scanned;
  Drafter drafter(manifest, std::move(scan), draft);
  return drafter.Draft(schemaUri);
}

}  // namespace ss::pack
