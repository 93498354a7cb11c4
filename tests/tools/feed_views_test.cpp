#include <gtest/gtest.h>

#include <sstream>

#include "tools/feed/views.h"

namespace earshot::feed {
namespace {

struct Shown {
  std::string out, err;
};

Shown show(View& view, std::ostringstream& out, std::ostringstream& err,
           const std::vector<std::string>& lines) {
  for (const std::string& line : lines) view.show(line);
  view.finish();
  return {out.str(), err.str()};
}

const std::vector<std::string> kSession{
    R"({"type":"ready","locale":"en-US","sampleRate":16000})",
    R"({"type":"transcript","text":"go","isFinal":false})",
    R"({"type":"transcript","text":"go for","isFinal":false})",
    R"({"type":"transcript","text":"go forward","isFinal":true})",
    R"({"type":"transcript","text":"","isFinal":false})",
    R"({"type":"transcript","text":"","isFinal":true})",
    R"({"type":"transcript","text":"ten","isFinal":false})",
    R"({"type":"error","message":"Audio conversion failed"})",
};

TEST(TranscriptView, TerminalRedrawsThePartialAndKeepsFinals) {
  std::ostringstream out, err;
  TranscriptView view(Style::Terminal, out, err, 80);
  Shown shown = show(view, out, err, kSession);
  EXPECT_EQ(shown.out,
            "\r\033[Kgo\r\033[Kgo for\r\033[Kgo forward\n"
            "\r\033[K\r\033[K"  // empty partial drawn, then taken away by the empty final
            "\r\033[Kten\r\033[K");
  EXPECT_EQ(shown.err, "Audio conversion failed\n");
}

TEST(TranscriptView, PlainPrintsNonEmptyFinalsOnly) {
  std::ostringstream out, err;
  TranscriptView view(Style::Plain, out, err, 0);
  Shown shown = show(view, out, err, kSession);
  EXPECT_EQ(shown.out, "go forward\n");
  EXPECT_EQ(shown.err, "Audio conversion failed\n");
}

TEST(TranscriptView, JsonPassesEveryLineThroughUnchanged) {
  std::ostringstream out, err;
  TranscriptView view(Style::Json, out, err, 80);
  std::vector<std::string> lines = kSession;
  lines.push_back("not json at all");
  lines.push_back(R"({"type":"transcript","isFinal":true,"text":"a \/ b"})");
  Shown shown = show(view, out, err, lines);
  std::string expected;
  for (const std::string& line : lines) expected += line + "\n";
  EXPECT_EQ(shown.out, expected);
  EXPECT_EQ(shown.err, "Audio conversion failed\n");
}

TEST(TranscriptView, LongPartialKeepsItsEndWithinTheTerminalWidth) {
  std::ostringstream out, err;
  TranscriptView view(Style::Terminal, out, err, 8);
  // Seven columns fit: an ellipsis and the last six characters (two-byte é included).
  show(view, out, err,
       {R"({"type":"transcript","text":"caf\u00e9 au lait","isFinal":false})",
        R"({"type":"transcript","text":"short","isFinal":false})",
        R"({"type":"transcript","text":"1234567","isFinal":false})"});
  EXPECT_EQ(out.str(), "\r\033[K\u2026u lait\r\033[Kshort\r\033[K1234567\r\033[K");
}

TEST(LocalesView, TableListsEachLocaleOnce) {
  std::ostringstream out, err;
  LocalesView view(Style::Plain, out, err);
  show(
      view, out, err,
      {R"({"type":"locales","available":true,"supported":["en-US","de-DE"],"installed":["en-US","fr-CA"],"reserved":["de-DE"],"maxReserved":1})"});
  EXPECT_EQ(out.str(),
            "Locale  Supported  Installed  Reserved\n"
            "en-US   yes        yes        no\n"
            "de-DE   yes        no         yes\n"
            "fr-CA   no         yes        no\n"
            "Reserved 1 of at most 1.\n");

  std::ostringstream out2, err2;
  LocalesView unavailable(Style::Plain, out2, err2);
  show(unavailable, out2, err2,
       {R"({"type":"locales","available":false,"supported":[],"installed":[]})"});
  EXPECT_EQ(out2.str(), "Speech recognition is not available on this machine.\n");
}

TEST(InstallView, PlainLinesPerPercentAndATerminalBar) {
  const std::vector<std::string> lines{
      R"({"type":"install-progress","locale":"en-GB","fraction":0.001})",
      R"({"type":"install-progress","locale":"en-GB","fraction":0.004})",
      R"({"type":"install-progress","locale":"en-GB","fraction":0.5})",
      R"({"type":"install-progress","locale":"en-GB","fraction":1.0})",
      R"({"type":"install-progress","locale":"en-GB","fraction":1})",
      R"({"type":"install-done","locale":"en-GB"})",
  };
  std::ostringstream out, err;
  InstallView plain(Style::Plain, out, err);
  show(plain, out, err, lines);
  EXPECT_EQ(out.str(), "en-GB 0%\nen-GB 50%\nen-GB 100%\nInstalled en-GB.\n");

  std::ostringstream termOut, termErr;
  InstallView terminal(Style::Terminal, termOut, termErr);
  show(terminal, termOut, termErr,
       {lines[2], R"({"type":"error","message":"The download failed."})"});
  EXPECT_EQ(termOut.str(), "\r\033[Ken-GB [###############...............] 50%\n");
  EXPECT_EQ(termErr.str(), "The download failed.\n");
}

}  // namespace
}  // namespace earshot::feed
