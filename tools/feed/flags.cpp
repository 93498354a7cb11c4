#include "tools/feed/flags.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "tools/feed/audio_input.h"

namespace earshot::feed {
namespace {

int parseWhole(std::string_view flag, const std::string& text, int lowest, int highest) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < lowest ||
      value > highest) {
    throw UsageError(std::string(flag) + " wants a whole number from " + std::to_string(lowest) +
                     " to " + std::to_string(highest) + ", not \"" + text + "\"");
  }
  return value;
}

std::optional<double> parsePositive(const std::string& text) {
  char* end = nullptr;
  double value = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value) || value <= 0.0) return std::nullopt;
  return value;
}

double parseSeconds(std::string_view flag, const std::string& text) {
  std::optional<double> value = parsePositive(text);
  if (!value) {
    throw UsageError(std::string(flag) + " wants a positive number of seconds, not \"" + text +
                     "\"");
  }
  return *value;
}

double parseRate(const std::string& text) {
  std::optional<double> value = parsePositive(text);
  if (!value || *value < kLowestReadableRate || *value > kHighestReadableRate) {
    throw UsageError("--rate wants a number of hertz from " + readableRates() + ", not \"" + text +
                     "\"");
  }
  return *value;
}

Format parseFormat(const std::string& text) {
  const std::pair<std::string_view, Format> names[] = {{"text", Format::Text},
                                                       {"json", Format::Json},
                                                       {"srt", Format::Srt},
                                                       {"vtt", Format::Vtt},
                                                       {"words", Format::Words}};
  for (const auto& [name, format] : names) {
    if (text == name) return format;
  }
  throw UsageError("--format wants one of text, json, srt, vtt and words, not \"" + text + "\"");
}

using G = FlagGroup;
using O = FeedOptions;
using V = const std::string&;

// To add a flag: a member in FeedOptions, a row here, and, when it changes
// what earshot is asked, a line where the transcription builds "init".
const Flag kFlags[] = {
    {"--rate", "RATE", G::Input,
     "the input is raw signed 16-bit little-endian PCM at RATE Hz (fractional allowed; 4000 to "
     "768000, resampled when earshot does not take it)",
     [](O& o, V v) { o.rawRate = parseRate(v); }},
    {"--channels", "N", G::Input, "raw PCM has N interleaved channels (default 1), mixed",
     [](O& o, V v) { o.channels = parseWhole("--channels", v, 1, 32); }},
    {"--mic", "", G::Input, "record from the sound server (PulseAudio or PipeWire) until Ctrl-C",
     [](O& o, V) { o.mic = true; }},
    {"--device", "NAME", G::Input, "the source to record (see --list-devices)",
     [](O& o, V v) { o.device = v; }},

    {"--format", "FORMAT", G::Output,
     "text (default), json (earshot's own lines), srt or vtt (captions from finished "
     "sentences), words (one JSON line per word with start, end and confidence)",
     [](O& o, V v) { o.format = parseFormat(v); }},
    // Checked against --format once all flags are in.
    {"--json", "", G::Output, "the same as --format json", [](O&, V) {}},
    {"--output", "FILE", G::Output, "write there instead of standard output",
     [](O& o, V v) { o.output = v; }},
    {"--output-dir", "DIR", G::Output,
     "one file per input in DIR, named after the input (a.wav gives a.txt; two inputs of one "
     "name are refused)",
     [](O& o, V v) { o.outputDir = v; }},
    {"--quiet", "", G::Output,
     "no progress line (else shown on standard error, when that is a terminal, while a file "
     "is transcribed into a file or a pipe)",
     [](O& o, V) { o.quiet = true; }},

    {"--locale", "LOCALE", G::Recognition, "language to recognise (default en-US)",
     [](O& o, V v) { o.locale = v; }},
    {"--vocabulary", "PHRASE", G::Recognition, "a name or term to expect; may be repeated",
     [](O& o, V v) { o.vocabulary.push_back(v); }},
    {"--vocabulary-file", "F", G::Recognition, "the same, one phrase per line",
     [](O& o, V v) { o.vocabularyFile = v; }},
    {"--chunk-ms", "MS", G::Recognition, "audio per message, 1-10000 ms (default 100)",
     [](O& o, V v) { o.chunkMs = parseWhole("--chunk-ms", v, 1, 10000); }},
    {"--realtime", "", G::Recognition, "send audio no faster than it would play",
     [](O& o, V) { o.realtime = true; }},
    {"--spoken", "", G::Recognition,
     "the recognizer's bare words (lower case, no punctuation, numbers as words)",
     [](O& o, V) { o.spoken = true; }},
    {"--flush-every", "SECS", G::Recognition,
     "end the recognition session every SECS seconds of audio",
     [](O& o, V v) { o.flushEverySeconds = parseSeconds("--flush-every", v); }},
    {"--adaptation", "MODE", G::Recognition,
     "what is kept of the speaker: persistent (default, kept between runs), session (this run "
     "only) or off (none; the same audio gives the same text every run)",
     [](O& o, V v) {
       if (v != "off" && v != "session" && v != "persistent") {
         throw UsageError("--adaptation wants one of off, session and persistent, not \"" +
                          std::string(v) + "\"");
       }
       o.adaptation = v;
     }},
    {"--profile", "NAME", G::Recognition,
     "whose adaptation: one NAME per person or source, of A-Z a-z 0-9 . _ - (default "
     "\"default\")",
     [](O& o, V v) { o.profile = v; }},
    {"--earshot", "PATH", G::Recognition,
     "the earshot to run (default: next to this tool, else PATH)",
     [](O& o, V v) { o.earshotPath = v; }},
    {"--ready-timeout", "SECS", G::Recognition,
     "give up when earshot has not started within SECS seconds (default 30; a model download "
     "waits on)",
     [](O& o, V v) { o.readyTimeoutSeconds = parseSeconds("--ready-timeout", v); }},

    {"--locales", "", G::ModelsAndDevices, "table of supported, installed and reserved locales",
     [](O& o, V) { o.action = Action::Locales; }},
    {"--install", "LOCALE", G::ModelsAndDevices,
     "download and install the model of LOCALE, from a model catalog (the catalog that comes "
     "with earshot lists none: see the model store's guide)",
     [](O& o, V v) {
       o.action = Action::Install;
       o.assetLocale = v;
     }},
    {"--release", "LOCALE", G::ModelsAndDevices, "give up the reservation of LOCALE",
     [](O& o, V v) {
       o.action = Action::Release;
       o.assetLocale = v;
     }},
    {"--list-devices", "", G::ModelsAndDevices, "the sound server's recording sources",
     [](O& o, V) { o.action = Action::ListDevices; }},
    {"--version", "", G::ModelsAndDevices, "this tool's version",
     [](O& o, V) { o.action = Action::Version; }},
    {"--help", "", G::ModelsAndDevices, "this text", [](O& o, V) { o.action = Action::Help; },
     "-h"},
};

constexpr std::pair<FlagGroup, std::string_view> kGroupTitles[] = {
    {G::Input, "Input"},
    {G::Output, "Output"},
    {G::Recognition, "Recognition"},
    {G::ModelsAndDevices, "Speech models and devices"}};

std::string synopsis(std::string_view program, std::string_view lead) {
  std::string name(program);
  std::string pad(lead.size(), ' ');
  return std::string(lead) + name + " [options] FILE...\n" + pad + name +
         " [options] --rate RATE [--channels N] FILE...|-\n" + pad + name +
         " [options] --mic [--device NAME]\n" + pad + name +
         " --locales | --install LOCALE | --release LOCALE | --list-devices\n";
}

constexpr std::string_view kDescription[] = {
    "Plays the host for earshot: starts it, sends it recordings or the microphone and prints "
    "what it hears. On a terminal the words being heard update in place and each finished "
    "sentence gets its own line; otherwise only finished sentences are printed. Several files "
    "go through one earshot, in order, each file's text under its name. Inputs are WAV, FLAC, "
    "Ogg or MP3 at any rate from 4000 to 768000 Hz, channels mixed to mono; \"-\" reads one "
    "from standard input.",
    "Output files are written beside their target under a temporary name and put in place "
    "when complete; a target that is one of the inputs is refused before anything is written.",
};

constexpr std::string_view kExitStatus =
    "Exits with 0 when everything was transcribed; 1 when earshot or an input failed (one line "
    "on standard error says which and why); 2 for a command line this tool cannot run; 130 "
    "after Ctrl-C, once the words heard so far are out.";

// `text` in lines of at most `width` characters, each led by `indent`
// spaces but the first (which continues whatever came before it).
std::string wrapped(std::string_view text, size_t indent, size_t width, size_t firstColumn) {
  std::string out;
  size_t column = firstColumn;
  bool lineEmpty = true;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == text.npos) end = text.size();
    std::string_view word = text.substr(at, end - at);
    at = end + 1;
    if (word.empty()) continue;
    if (!lineEmpty && column + 1 + word.size() > width) {
      out += '\n';
      out.append(indent, ' ');
      column = indent;
      lineEmpty = true;
    }
    if (!lineEmpty) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    lineEmpty = false;
  }
  return out;
}

std::string label(const Flag& flag) {
  std::string text;
  if (!flag.shortName.empty()) text += std::string(flag.shortName) + ", ";
  text += flag.name;
  if (!flag.valueName.empty()) text += " " + std::string(flag.valueName);
  return text;
}

// Text for troff: backslashes and minus signs escaped, no line that a
// leading dot or quote would turn into a request.
std::string roff(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

}  // namespace

std::span<const Flag> flagTable() {
  return kFlags;
}

const Flag* findFlag(std::string_view name) {
  for (const Flag& flag : kFlags) {
    if (flag.name == name || (!flag.shortName.empty() && flag.shortName == name)) return &flag;
  }
  return nullptr;
}

std::string helpText(std::string_view program) {
  constexpr size_t kHelpColumn = 23, kWidth = 78;
  std::string text = synopsis(program, "Usage: ") + "\n";
  for (std::string_view paragraph : kDescription) {
    text += wrapped(paragraph, 0, kWidth, 0) + "\n\n";
  }
  for (const auto& [group, title] : kGroupTitles) {
    text += std::string(title) + ":\n";
    for (const Flag& flag : kFlags) {
      if (flag.group != group) continue;
      std::string line = "  " + label(flag);
      line.append(line.size() + 1 < kHelpColumn ? kHelpColumn - line.size() : 1, ' ');
      text += line + wrapped(flag.help, kHelpColumn, kWidth, line.size()) + "\n";
    }
    text += "\n";
  }
  return text + wrapped(kExitStatus, 0, kWidth, 0) + "\n";
}

std::string manPage(std::string_view program, std::string_view version) {
  std::string upper;
  for (char c : program) upper += char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  std::string page =
      ".TH " + roff(upper) + " 1 \"\" \"earshot " + roff(version) +
      "\" \"User Commands\"\n.SH NAME\n" + roff(program) +
      " \\- transcribe recordings or the microphone with earshot\n.SH SYNOPSIS\n.nf\n" +
      roff(synopsis(program, "")) + ".fi\n.SH DESCRIPTION\n";
  for (std::string_view paragraph : kDescription) page += ".PP\n" + roff(paragraph) + "\n";
  page += ".SH OPTIONS\n";
  for (const auto& [group, title] : kGroupTitles) {
    page += ".SS " + roff(title) + "\n";
    for (const Flag& flag : kFlags) {
      if (flag.group != group) continue;
      page += ".TP\n";
      if (!flag.shortName.empty()) page += "\\fB" + roff(flag.shortName) + "\\fR, ";
      page += "\\fB" + roff(flag.name) + "\\fR";
      if (!flag.valueName.empty()) page += " \\fI" + roff(flag.valueName) + "\\fR";
      page += "\n" + roff(flag.help) + "\n";
    }
  }
  page += ".SH EXIT STATUS\n" + roff(kExitStatus) + "\n.SH SEE ALSO\n.BR earshot (1)\n";
  return page;
}

}  // namespace earshot::feed
