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

namespace ss::pack {
namespace {

namespace fs = std::filesystem;
constexpr size_t kNotNamed = std::numeric_limits<size_t>::max();

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A JSON string. The folder's own names are UTF-8 (others are left out); a
// byte that is not, in the path above them, is written as U+FFFD.
std::string Quoted(const std::string& s) {
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
    if (u < 0x20 || u == 0x7F || c == '"' || c == '\\') return Quoted(name);
  }
  return name;
}

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
  const std::string lower = Lower(name);
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
    members_.push_back({pending_, Quoted(key) + ": " + value});
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

}  // namespace

bool DraftManifest(const std::string& dir, const std::string& manifestPath, ManifestDraft* draft,
                   std::string* error, const std::string& schemaUri) {
  *draft = ManifestDraft();
  std::error_code ec;
  const fs::path root = fs::absolute(fs::u8path(dir), ec).lexically_normal();
  if (ec || !fs::is_directory(root, ec)) {
    *error = dir + ": not a folder";
    return false;
  }
  const fs::path manifest = fs::absolute(fs::u8path(manifestPath), ec).lexically_normal();
  const fs::path base = manifest.parent_path();
  auto relative = [&](const fs::path& p) {
    const fs::path rel = p.lexically_relative(base);
    return (rel.empty() ? p : rel).generic_u8string();
  };

  // The folder's own files and folders, in name order.
  std::vector<Found> files, folders, ignored, unnamable;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    Found f;
    f.name = it->path().filename().u8string();
    f.lower = Lower(f.name);
    f.ext = Lower(it->path().extension().u8string());
    f.path = it->path();
    if (f.name[0] == '.') continue;  // hidden files and folders
    if (!IsUtf8(f.name)) {
      // A JSON manifest cannot name it; said in a comment below.
      unnamable.push_back(f);
      continue;
    }
    const fs::file_status status = it->status(ec);
    if (ec) break;
    if (fs::is_directory(status)) {
      folders.push_back(f);
    } else if (fs::is_regular_file(status)) {
      f.size = fs::file_size(f.path, ec);
      if (ec) break;
      // Manifests, the tool's own parts and its temporary files are no part
      // of a screen saver.
      const bool tools = f.ext == ".json" || f.lower == "ssinstall.exe" || f.lower == "impborl.dll" ||
                         f.lower.find(".sspack-") != std::string::npos;
      (tools ? ignored : files).push_back(f);
    }
  }
  if (ec) {
    *error = root.u8string() + ": cannot be read: " + ec.message();
    return false;
  }
  auto byName = [](const Found& a, const Found& b) { return a.name < b.name; };
  std::sort(files.begin(), files.end(), byName);
  std::sort(folders.begin(), folders.end(), byName);

  std::vector<Found> engines, flashSetups, libraries, pictures, licences, settings, savers, others, programs;
  for (const Found& f : files) {
    if (f.ext == ".scr") {
      engines.push_back(f);
    } else if (f.lower == kFlashSetupNames[0] || f.lower == kFlashSetupNames[1]) {
      flashSetups.push_back(f);
    } else if (f.ext == ".dll") {
      libraries.push_back(f);
    } else if (HasExt(f, {".exe", ".msi", ".com", ".bat"})) {
      programs.push_back(f);
    } else if (HasExt(f, {".swf", ".bmp", ".jpg", ".jpeg"})) {
      pictures.push_back(f);
    } else if (f.lower == "saver.dat") {
      // The header the installer writes itself; as settings only when
      // nothing else offers them.
      if (f.size == kSaverDataHeaderSize) savers.push_back(f);
    } else if (f.lower.find("licen") != std::string::npos || f.lower.find("eula") != std::string::npos) {
      licences.push_back(f);
    } else if (f.size == kSaverSettingsSize && !HasExt(f, {".txt", ".htm", ".html", ".rtf"})) {
      settings.push_back(f);
    } else {
      others.push_back(f);
    }
  }

  ManifestText m;
  std::vector<std::string>& missing = draft->missing;
  std::vector<std::string>& chosen = draft->chosen;
  std::vector<Found> unused = programs;

  if (!schemaUri.empty()) {
    m.Comment("The schema of this file, for editors that check and complete it as it is typed;");
    m.Comment("sspack does not read it.");
    m.Member("$schema", Quoted(schemaUri));
  }

  // The engine, and the title it is installed under.
  std::vector<uint8_t> engineBytes;
  std::string title;
  if (engines.size() == 1) {
    if (ToolResult read = ReadWholeFile(engines[0].path.u8string(), &engineBytes); !read.ok()) {
      *error = read.message();
      return false;
    }
    title = engines[0].path.stem().u8string();
  }
  if (!title.empty()) {
    m.Comment("The screen saver's name: the engine is installed as \"<title>.scr\" and the");
    m.Comment("uninstall entry reads \"<title> Screen Saver\". At most 64 characters.");
    std::string ansi, bad;
    std::string fault = Utf8ToAnsi(title, &ansi, &bad) ? TitleFault(ansi) : "holds \"" + bad + "\", outside code page 1252";
    if (!fault.empty()) {
      m.Comment("Taken from the engine's name, which does not serve as a title: " + fault);
      missing.push_back("title: " + Quoted(title) + " (from the engine's name) " + fault + "; give another");
    }
    m.Member("title", Quoted(title));
    chosen.push_back("title: " + title);
  } else {
    m.Comment("STILL MISSING \"title\": the screen saver's name, at most 64 characters.");
    missing.push_back("title: no engine to take it from; add \"title\"");
  }

  // The presentation shown while installing.
  struct Kind {
    const char* ext;
    const char* kind;
    uint8_t mode;
  };
  const Kind kinds[] = {{".swf", "flash", dmFlash}, {".bmp", "bitmap", dmBitmap}, {".jpg", "jpeg", dmJpeg},
                        {".jpeg", "jpeg", dmJpeg}};
  std::vector<std::pair<Found, const Kind*>> shows;
  for (const Found& f : pictures) {
    for (const Kind& k : kinds) {
      if (f.ext != k.ext) continue;
      std::vector<uint8_t> bytes;
      if (ReadWholeFile(f.path.u8string(), &bytes).ok() && PresentationFault(k.mode, bytes).empty()) {
        shows.push_back({f, &k});
      } else {
        unused.push_back(f);
      }
    }
  }
  // Several: the one named for it, else the first.
  std::stable_sort(shows.begin(), shows.end(), [](const auto& a, const auto& b) {
    auto preferred = [](const Found& f) {
      const std::string stem = Lower(f.path.stem().u8string());
      return stem == "presentation" || stem == "installer";
    };
    return preferred(a.first) && !preferred(b.first);
  });
  if (!shows.empty()) {
    const auto& [show, kind] = shows[0];
    m.Comment("Shown while installing: \"bitmap\", \"jpeg\", \"flash\" or \"none\" (a quiet install).");
    if (shows.size() > 1) {
      std::vector<Found> rest;
      for (size_t i = 1; i < shows.size(); ++i) rest.push_back(shows[i].first);
      m.Comment("Also found, not used: " + NameList(rest) + ".");
      unused.insert(unused.end(), rest.begin(), rest.end());
    }
    m.Member("presentation", "{\"kind\": " + Quoted(kind->kind) + ", \"file\": " + Quoted(relative(show.path)) + "}");
    chosen.push_back("presentation: " + Shown(show.name) + " (" + kind->kind + ")");
  } else {
    m.Comment("No picture or Flash movie here: the installer installs without showing one.");
    m.Comment("For one, give {\"kind\": \"bitmap\" | \"jpeg\" | \"flash\", \"file\": ...}.");
    m.Member("presentation", "{\"kind\": \"none\"}");
    chosen.push_back("presentation: none");
  }

  if (!licences.empty()) {
    m.Comment("The licence the user accepts before installing.");
    if (licences.size() > 1) {
      m.Comment("Also found, not used: " + NameList(std::vector<Found>(licences.begin() + 1, licences.end())) + ".");
      unused.insert(unused.end(), licences.begin() + 1, licences.end());
    }
    m.Member("license", Quoted(relative(licences[0].path)));
    chosen.push_back("license: " + Shown(licences[0].name));
  }
  if (!flashSetups.empty()) {
    m.Comment("The Flash player setup, run when the machine has no player or an older one.");
    m.Member("flashSetup", Quoted(relative(flashSetups[0].path)));
    chosen.push_back("flashSetup: " + Shown(flashSetups[0].name));
    unused.insert(unused.end(), flashSetups.begin() + 1, flashSetups.end());
  }

  // The files the engine names are the ones it loads from its install
  // directory: its support file and libraries.
  for (std::vector<Found>* list : {&others, &libraries}) {
    for (Found& f : *list) f.named = engineBytes.empty() ? kNotNamed : NamedAt(engineBytes, f.name);
  }
  std::stable_sort(libraries.begin(), libraries.end(),
                   [](const Found& a, const Found& b) { return a.named < b.named; });
  auto isDocument = [](const Found& f) {
    return HasExt(f, {".txt", ".htm", ".html", ".rtf", ".pdf", ".doc", ".wri"});
  };

  const Found* support = nullptr;
  for (const Found& f : others) {
    if (f.named != kNotNamed && (support == nullptr || f.named < support->named)) support = &f;
  }
  if (support == nullptr) {
    std::vector<const Found*> plain;
    for (const Found& f : others) {
      if (!isDocument(f)) plain.push_back(&f);
    }
    if (plain.size() == 1) support = plain[0];
  }
  const Found* document = nullptr;
  for (const Found& f : others) {
    if (&f == support || !isDocument(f)) continue;
    const bool readme = f.lower.rfind("readme", 0) == 0 || f.lower.rfind("read me", 0) == 0;
    if (readme && (document == nullptr || document->lower.rfind("readme", 0) != 0)) document = &f;
  }
  if (document == nullptr) {
    std::vector<const Found*> texts;
    for (const Found& f : others) {
      if (&f != support && isDocument(f)) texts.push_back(&f);
    }
    if (texts.size() == 1 && support != nullptr) document = texts[0];
  }
  if (document != nullptr) {
    m.Comment("A document placed in the install directory.");
    m.Member("document", Quoted(relative(document->path)));
    chosen.push_back("document: " + Shown(document->name));
  }

  if (engines.size() == 1) {
    m.Comment("The screen saver engine.");
    m.Member("engine", Quoted(relative(engines[0].path)));
    chosen.push_back("engine: " + Shown(engines[0].name));
  } else {
    const std::string why = engines.empty() ? "no .scr file here" : "several .scr files here (" + NameList(engines) + "); keep one";
    m.Comment("STILL MISSING \"engine\": the screen saver (.scr): " + why + ".");
    missing.push_back("engine: " + why);
    unused.insert(unused.end(), engines.begin(), engines.end());
  }

  if (support != nullptr) {
    m.Comment(support->named != kNotNamed ? "The support file: the engine names it."
                                          : "The support file: the one file here of no other role.");
    m.Member("supportFile", Quoted(relative(support->path)));
    chosen.push_back("supportFile: " + Shown(support->name));
  } else {
    std::vector<Found> candidates;
    for (const Found& f : others) {
      if (&f != document) candidates.push_back(f);
    }
    const std::string why = candidates.empty() ? "no file here is left for it"
                                               : "the engine names none of " + NameList(candidates) + "; pick one";
    m.Comment("STILL MISSING \"supportFile\": the file the engine reads from its install directory:");
    m.Comment(why + ".");
    missing.push_back("supportFile: " + why);
  }

  std::vector<Found> libs = libraries;
  if (libs.size() > 2) {
    // The engine decides when it names exactly two.
    std::vector<Found> named;
    for (const Found& f : libs) {
      if (f.named != kNotNamed) named.push_back(f);
    }
    if (named.size() == 2) {
      for (const Found& f : libs) {
        if (f.named == kNotNamed) unused.push_back(f);
      }
      libs = named;
    }
  }
  if (libs.size() == 2) {
    const bool ordered = libs[0].named != kNotNamed && libs[1].named != kNotNamed;
    m.Comment(ordered ? "The two support libraries, in the order the engine names them."
                      : "The two support libraries (check their order: segment 9, then 10).");
    m.Member("supportLibraries", "[" + Quoted(relative(libs[0].path)) + ", " + Quoted(relative(libs[1].path)) + "]");
    chosen.push_back("supportLibraries: " + Shown(libs[0].name) + ", " + Shown(libs[1].name));
  } else {
    const std::string why = libs.empty() ? "no .dll file here"
                            : libs.size() == 1 ? "only " + Shown(libs[0].name) + " here; the package carries exactly two"
                                               : "more than two .dll files here (" + NameList(libs) + "); name the two the engine loads";
    m.Comment("STILL MISSING \"supportLibraries\": exactly two libraries for the install directory:");
    m.Comment(why + ".");
    missing.push_back("supportLibraries: " + why);
  }

  // The data file: one folder of files.
  const Found* data = nullptr;
  if (folders.size() == 1) data = &folders[0];
  for (const char* preferred : {"data", "media"}) {
    for (const Found& f : folders) {
      if (folders.size() > 1 && f.lower == preferred) data = &f;
    }
  }
  const Found* settingsFile = !settings.empty() ? &settings[0] : !savers.empty() ? &savers[0] : nullptr;
  if (data != nullptr) {
    std::string value = "{\"folder\": " + Quoted(relative(data->path));
    if (settingsFile != nullptr) {
      m.Comment("The data file: every file below " + Quoted(data->name) + ", with the engine's settings");
      m.Comment("from " + Shown(settingsFile->name) + " (" + std::to_string(settingsFile->size) + " bytes).");
      value += ", \"settings\": " + Quoted(relative(settingsFile->path));
    } else {
      m.Comment("The data file: every file below " + Quoted(data->name) + ". No settings file (1232 bytes)");
      m.Comment("was found, so the engine's settings are zeros; add \"settings\": FILE for others.");
    }
    m.Member("data", value + "}");
    chosen.push_back("data: " + Shown(data->name) + "/" + (settingsFile ? ", settings " + Shown(settingsFile->name) : ""));
  } else {
    const std::string why = folders.empty() ? "no folder here; put the screen saver's data files in one (e.g. media/)"
                                             : "several folders here (" + NameList(folders) + "); name one";
    m.Comment("STILL MISSING \"data\": {\"folder\": FOLDER} with the files the engine shows:");
    m.Comment(why + ".");
    missing.push_back("data: " + why);
  }
  for (const std::vector<Found>* rest : {&settings, &savers}) {
    for (const Found& f : *rest) {
      if (&f != settingsFile) unused.push_back(f);
    }
  }
  for (const Found& f : others) {
    if (&f != support && &f != document) unused.push_back(f);
  }
  for (const Found& f : libraries) {
    if (std::none_of(libs.begin(), libs.end(), [&](const Found& l) { return l.name == f.name; }) &&
        std::none_of(unused.begin(), unused.end(), [&](const Found& u) { return u.name == f.name; })) {
      unused.push_back(f);
    }
  }
  if (data == nullptr) unused.insert(unused.end(), folders.begin(), folders.end());
  for (const Found& f : folders) {
    if (data != nullptr && &f != data) unused.push_back(f);
  }
  std::sort(unused.begin(), unused.end(), byName);
  if (!unused.empty()) m.Comment("Not packed: " + NameList(unused) + ".");
  if (!unnamable.empty()) {
    std::string names;
    for (const Found& f : unnamable) {
      names += (names.empty() ? "" : ", ") + Quoted(f.name);
    }
    m.Comment("Not packed, as their names are not UTF-8, which a manifest cannot hold: " + names + ".");
  }

  std::string manifestName = manifest.filename().u8string();
  if (manifestName.find(' ') != std::string::npos || Shown(manifestName) != manifestName) {
    manifestName = Quoted(manifestName);
  }
  std::vector<std::string> header = {
      "A manifest that \"sspack init\" wrote for the files of this folder. Check each",
      "choice, then build the installer with",
      "  sspack build " + manifestName + " -o Setup.exe",
      "Paths are relative to this file. Every key is described in sspack's README",
      "(share/doc/sspack/README.md where sspack is installed)."};
  if (!missing.empty()) {
    header.push_back("");
    header.push_back("Still missing (see STILL MISSING below): sspack build names them until they are given.");
  }
  draft->text = m.Finish(header);
  return true;
}

}  // namespace ss::pack
