#include "tools/CommandDocs.h"

#include <cctype>
#include <vector>

#include "tools/CommandTable.h"

namespace ss::pack {
namespace {

bool IsPositional(const OptionDoc& option) { return option.names[0] != '-'; }

std::vector<std::string> SplitNames(const char* names) {
  std::vector<std::string> out;
  std::string current;
  for (const char* p = names;; ++p) {
    if (*p == ',' || *p == '\0') {
      out.push_back(current);
      current.clear();
      if (*p == '\0') break;
    } else {
      current += *p;
    }
  }
  return out;
}

// Text for roff: backslashes escaped, the hyphens of a word that starts
// with one (an option) set as minus signs, `quoted` words in bold, and a line that
// would start with a control character guarded.
std::string Roff(const std::string& text) {
  std::string out;
  bool bold = false;
  bool option = false;  // inside a word that starts with a hyphen
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char before = i == 0 ? ' ' : text[i - 1];
    if (c == '\\') {
      out += "\\e";
    } else if (c == '`') {
      out += bold ? "\\fR" : "\\fB";
      bold = !bold;
    } else if (c == '-' && (option || std::isspace(static_cast<unsigned char>(before)) ||
                            before == '(' || before == '[' || before == '`' || before == '"')) {
      out += "\\-";  // all of an option's hyphens, so that it can be copied from the page
      option = true;
    } else {
      option = option && std::isalnum(static_cast<unsigned char>(c));
      if ((c == '.' || c == '\'') && (out.empty() || out.back() == '\n')) out += "\\&";
      out += c;
    }
  }
  if (bold) out += "\\fR";
  return out;
}

// Paragraphs ("\n\n" between them) as roff paragraphs.
std::string Paragraphs(const std::string& text) {
  std::string out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find("\n\n", start);
    if (end == std::string::npos) end = text.size();
    out += ".PP\n" + Roff(text.substr(start, end - start)) + "\n";
    start = end + 2;
  }
  return out;
}

// A synopsis: option names bold, placeholders (upper-case words) italic.
std::string Synopsis(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ' || text[i] == '[' || text[i] == ']') {
      out += text[i++];
      continue;
    }
    size_t end = i;
    while (end < text.size() && text[end] != ' ' && text[end] != '[' && text[end] != ']') ++end;
    const std::string word = text.substr(i, end - i);
    bool upper = true;
    for (char c : word) upper = upper && (std::isupper(static_cast<unsigned char>(c)) || c == '_');
    if (word[0] == '-') {
      out += "\\fB" + Roff(word) + "\\fR";
    } else if (upper) {
      out += "\\fI" + word + "\\fR";
    } else {
      out += Roff(word);
    }
    i = end;
  }
  return out;
}

// An option's .TP tag: "-o, --output OUT" with names bold and the value
// italic; a positional as its value name, italic.
std::string OptionTag(const OptionDoc& option) {
  if (IsPositional(option)) return std::string("\\fI") + option.value + "\\fR";
  std::string tag;
  for (const std::string& name : SplitNames(option.names)) {
    tag += (tag.empty() ? "" : ", ") + ("\\fB" + Roff(name) + "\\fR");
  }
  if (option.value[0] != '\0') tag += std::string(" \\fI") + option.value + "\\fR";
  return tag;
}

std::string OptionItem(const OptionDoc& option) {
  std::string help = option.help;
  if (help.back() != '.' && help.back() != ')') help += ".";
  if (help.back() == ')') help += ".";
  if (option.required && !IsPositional(option)) help += " Required.";
  if (option.needs[0] != '\0') help += std::string(" Only with `") + option.needs + "`.";
  return ".TP\n" + OptionTag(option) + "\n" + Roff(help) + "\n";
}

std::string KeyItems(const std::vector<KeyDoc>& keys) {
  std::string out;
  for (const KeyDoc& key : keys) out += ".TP\n\\fB" + Roff(key.key) + "\\fR\n" + Roff(key.meaning) + "\n";
  return out;
}

// Words for a bash case pattern or word list.
std::string Words(const std::vector<std::string>& words, const char* separator) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : separator) + w;
  return out;
}

}  // namespace

std::string ManualPage(const std::string& version, const std::string& date) {
  const ProgramDoc& doc = SspackDoc();
  std::string page;
  page += ".\\\" The manual page of sspack, written by sspack-docs from sspack's command\n";
  page += ".\\\" table (tools/CommandTable.cpp); change it there.\n";
  page += ".TH SSPACK 1 \"" + date + "\" \"sspack " + version + "\" \"User Commands\"\n";
  page += ".nh\n";  // long file names (the Flash setup's) stay whole
  page += ".SH NAME\nsspack \\- " + Roff(doc.oneLine) + "\n";
  page += ".SH SYNOPSIS\n";
  page += ".B sspack\n.RB [ \\-h | \\-\\-help | \\-\\-version ]\n";
  for (const CommandDoc& command : doc.commands) {
    page += ".br\n\\fBsspack " + std::string(command.name) + "\\fR " + Synopsis(command.synopsis) + "\n";
  }
  page += ".SH DESCRIPTION\n" + Paragraphs(doc.description);
  page += ".SH OPTIONS\n";
  for (const OptionDoc& option : doc.options) page += OptionItem(option);
  page += ".PP\nEvery command takes \\fB\\-h\\fR, \\fB\\-\\-help\\fR too, and describes itself.\n";
  page += ".SH COMMANDS\n";
  for (const CommandDoc& command : doc.commands) {
    page += ".SS \"sspack " + std::string(command.name) + "\"\n";
    page += ".PP\n" + Roff(std::string(command.summary) + ".") + "\n";
    page += Paragraphs(command.details);
    for (const OptionDoc& option : command.options) page += OptionItem(option);
  }
  page += ".SH MANIFEST\n" + Paragraphs(doc.manifest) + KeyItems(doc.manifestKeys);
  page += Paragraphs(doc.dataFolder) + KeyItems(doc.dataFolderKeys);
  page += ".SH EXIT STATUS\n";
  for (const ExitCodeDoc& code : doc.exitCodes) {
    page += ".TP\n\\fB" + std::to_string(code.code) + "\\fR\n" + Roff(code.meaning) + ".\n";
  }
  page += ".SH FILES\n";
  page += ".PP\nPaths starting with .. are taken from the folder of the sspack program.\n";
  for (const ItemDoc& file : doc.files) page += ".TP\n\\fI" + Roff(file.title) + "\\fR\n" + Roff(file.text) + "\n";
  page += ".SH EXAMPLES\n";
  for (const ItemDoc& example : doc.examples) {
    page += ".TP\n\\fB" + Roff(example.title) + "\\fR\n" + Roff(example.text) + "\n";
  }
  page += ".SH SEE ALSO\n";
  const std::string seeAlso = doc.seeAlso;
  const size_t paren = seeAlso.find('(');
  page += ".BR " + seeAlso.substr(0, paren) + " " + seeAlso.substr(paren) + "\n";
  return page;
}

std::string BashCompletion() {
  const ProgramDoc& doc = SspackDoc();
  std::vector<std::string> commandNames, topOptions;
  for (const CommandDoc& command : doc.commands) commandNames.push_back(command.name);
  for (const OptionDoc& option : doc.options) {
    for (const std::string& n : SplitNames(option.names)) topOptions.push_back(n);
  }
  std::string s;
  s += "# bash completion for sspack, written by sspack-docs from sspack's command\n";
  s += "# table (tools/CommandTable.cpp); change it there.\n";
  s += "_sspack() {\n";
  s += "  local cur=${COMP_WORDS[COMP_CWORD]} prev=\"\" command=\"\" start=0 i\n";
  s += "  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n";
  s += "  COMPREPLY=()\n";
  s += "  for ((i = 1; i < COMP_CWORD; i++)); do\n";
  s += "    case ${COMP_WORDS[i]} in\n";
  s += "      " + Words(commandNames, "|") + ") command=${COMP_WORDS[i]}; start=$((i + 1)); break ;;\n";
  s += "    esac\n";
  s += "  done\n";
  s += "  # What this command takes: its options, those whose value is a file, a\n";
  s += "  # folder or other text, and what each argument is in turn.\n";
  s += "  local options files=\"\" folders=\"\" texts=\"\" arguments=\"\"\n";
  s += "  case $command in\n";
  s += "    \"\")\n";
  s += "      options=\"" + Words(topOptions, " ") + "\" ;;\n";
  for (const CommandDoc& command : doc.commands) {
    std::vector<std::string> options, files, folders, texts, arguments;
    for (const OptionDoc& option : command.options) {
      const char* kind = option.kind == ValueKind::kFile ? "file" : option.kind == ValueKind::kFolder ? "folder" : "text";
      if (IsPositional(option)) {
        arguments.push_back(kind);
        continue;
      }
      for (const std::string& n : SplitNames(option.names)) {
        options.push_back(n);
        if (option.kind == ValueKind::kFile) files.push_back(n);
        if (option.kind == ValueKind::kFolder) folders.push_back(n);
        if (option.kind == ValueKind::kText) texts.push_back(n);
      }
    }
    for (const std::string& n : SplitNames(doc.options[0].names)) options.push_back(n);
    s += "    " + std::string(command.name) + ")\n";
    s += "      options=\"" + Words(options, " ") + "\"\n";
    s += "      files=\"" + Words(files, " ") + "\" folders=\"" + Words(folders, " ") + "\" texts=\"" +
         Words(texts, " ") + "\"\n";
    s += "      arguments=\"" + Words(arguments, " ") + "\" ;;\n";
  }
  s += "  esac\n";
  s += "  local kind=\"\"\n";
  s += "  if [[ \" $files \" == *\" $prev \"* ]]; then kind=file\n";
  s += "  elif [[ \" $folders \" == *\" $prev \"* ]]; then kind=folder\n";
  s += "  elif [[ \" $texts \" == *\" $prev \"* ]]; then return 0\n";
  s += "  elif [[ $cur == -* ]]; then\n";
  s += "    mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$cur\")\n";
  s += "    return 0\n";
  s += "  elif [[ -z $command ]]; then\n";
  s += "    mapfile -t COMPREPLY < <(compgen -W \"" + Words(commandNames, " ") + "\" -- \"$cur\")\n";
  s += "    return 0\n";
  s += "  else\n";
  s += "    # The arguments before this word, past options and their values.\n";
  s += "    local count=0 word\n";
  s += "    for ((i = start; i < COMP_CWORD; i++)); do\n";
  s += "      word=${COMP_WORDS[i]}\n";
  s += "      if [[ $word == -* ]]; then\n";
  s += "        [[ \" $files $folders $texts \" == *\" $word \"* ]] && ((i++))\n";
  s += "      else\n";
  s += "        ((count++))\n";
  s += "      fi\n";
  s += "    done\n";
  s += "    local -a kinds=($arguments)\n";
  s += "    kind=${kinds[count]:-}\n";
  s += "  fi\n";
  s += "  case $kind in\n";
  s += "    file) compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -f -- \"$cur\") ;;\n";
  s += "    folder) compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -d -- \"$cur\") ;;\n";
  s += "  esac\n";
  s += "  return 0\n";
  s += "}\n";
  s += "complete -F _sspack sspack\n";
  return s;
}

}  // namespace ss::pack
