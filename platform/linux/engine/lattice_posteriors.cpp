#include "platform/linux/engine/lattice_posteriors.h"

#include <pocketsphinx.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/linux/engine/hypothesis_text.h"

namespace earshot::platform::linuxos {
namespace {

constexpr double kNothing = -std::numeric_limits<double>::infinity();

// log(exp(a) + exp(b)) without leaving the logarithms.
double logAdd(double a, double b) {
  if (a < b) std::swap(a, b);
  return b == kNothing ? a : a + std::log1p(std::exp(b - a));
}

// The lattice copied into plain arrays, with natural-log scores.
class LatticeSums {
 public:
  LatticeSums(ps_lattice_t* lattice, ngram_model_t* languageModel, double acousticScale)
      : lattice_(lattice), languageModel_(languageModel) {
    logmath_t* logmath = ps_lattice_get_logmath(lattice);
    unit_ = std::log(logmath_get_base(logmath));
    logZero_ = logmath_get_zero(logmath);
    readNodes();
    readLinks(unit_ / acousticScale);
    keepWordLinks();
    scoreLanguage();
  }

  // Sums every path's probability forwards and backwards; false when no
  // path has any.
  bool sum() {
    // A link enters a node that starts after the link's own word does.
    std::stable_sort(links_.begin(), links_.end(), [&](const Link& a, const Link& b) {
      return nodes_[a.from].start < nodes_[b.from].start;
    });
    for (Node& node : nodes_) {
      if (!node.entered) node.forward = 0;
      if (!node.left) node.backward = 0;
    }
    for (const Link& link : links_) {
      nodes_[link.to].forward =
          logAdd(nodes_[link.to].forward, nodes_[link.from].forward + link.score);
    }
    for (auto link = links_.rbegin(); link != links_.rend(); ++link) {
      nodes_[link->from].backward =
          logAdd(nodes_[link->from].backward, link->score + nodes_[link->to].backward);
    }
    for (const Node& node : nodes_) {
      if (!node.left) total_ = logAdd(total_, node.forward);
    }
    return total_ != kNothing;
  }

  void scoreWords(std::span<DecodedWord> words, int utteranceStart) const {
    std::unordered_multimap<std::string_view, DecodedWord*> byText;
    for (DecodedWord& word : words) byText.emplace(word.text, &word);
    for (const Link& link : links_) {
      const Node& from = nodes_[link.from];
      auto [first, last] = byText.equal_range(from.word);
      if (first == last) continue;
      const double posterior =
          std::exp(from.forward + link.score + nodes_[link.to].backward - total_);
      for (auto it = first; it != last; ++it) {
        DecodedWord& word = *it->second;
        if (coversHalf(word, utteranceStart, from.start, link.end)) word.confidence += posterior;
      }
    }
  }

  // A word that a flush or stop cuts is where every path ends. The engine
  // keeps no rival for it: it ends its lattice in one node, which need not
  // hold the word the hypothesis ends on. That node stands for the cut word
  // when it covers at least half of it, and gives it the mass of the paths
  // that reach it.
  void scoreCutWord(DecodedWord& cut, int utteranceStart) const {
    const int lastFrame = ps_lattice_n_frames(lattice_);
    for (const Node& node : nodes_) {
      if (node.left || !node.entered || node.filler) continue;
      if (coversHalf(cut, utteranceStart, node.start, lastFrame)) {
        cut.confidence += std::exp(node.forward - total_);
      }
    }
  }

 private:
  struct Node {
    std::string_view word;
    int32 id = 0;
    int start = 0;
    bool filler = false;
    bool entered = false;
    bool left = false;
    double forward = kNothing;
    double backward = kNothing;
  };
  struct Link {
    size_t from = 0;
    size_t to = 0;
    int end = 0;       // one past the from word's last frame
    double score = 0;  // scaled acoustic and language log probability
  };

  // Lattice frames count from the utterance's first frame.
  static bool coversHalf(const DecodedWord& word, int utteranceStart, int start, int end) {
    const int wordStart = word.startFrame - utteranceStart,
              wordEnd = word.endFrame - utteranceStart;
    const int overlap = std::min(wordEnd, end) - std::max(wordStart, start);
    return overlap * 2 >= wordEnd - wordStart;
  }

  void readNodes() {
    for (ps_latnode_iter_t* it = ps_latnode_iter(lattice_); it != nullptr;
         it = ps_latnode_iter_next(it)) {
      ps_latnode_t* node = ps_latnode_iter_node(it);
      const char* base = ps_latnode_baseword(lattice_, node);
      int16 firstEnd = 0, lastEnd = 0;
      Node item;
      item.word = base != nullptr ? base : "";
      item.start = ps_latnode_times(node, &firstEnd, &lastEnd);
      item.filler = !spokenWord(item.word).has_value();
      item.id = ngram_wid(languageModel_, base != nullptr ? base : "");
      index_.emplace(node, nodes_.size());
      engineNodes_.push_back(node);
      nodes_.push_back(item);
    }
  }

  void readLinks(double acousticUnit) {
    for (size_t from = 0; from < nodes_.size(); ++from) {
      for (ps_latlink_iter_t* it = ps_latnode_exits(engineNodes_[from]); it != nullptr;
           it = ps_latlink_iter_next(it)) {
        ps_latlink_t* link = ps_latlink_iter_link(it);
        ps_latnode_t* source = nullptr;
        auto to = index_.find(ps_latlink_nodes(link, &source));
        if (to == index_.end()) continue;
        int32 acoustic = 0;
        ps_latlink_prob(lattice_, link, &acoustic);
        int16 unusedStart = 0;
        links_.push_back(Link{from, to->second, ps_latlink_times(link, &unusedStart) + 1,
                              acoustic * acousticUnit});
        nodes_[from].left = true;
        nodes_[to->second].entered = true;
      }
    }
  }

  // Paths run from the node nothing enters to the one nothing leaves. Filler
  // nodes in between are passed by the links the engine adds around them
  // (their penalty included), so only the words' links count.
  void keepWordLinks() {
    std::erase_if(links_, [&](const Link& link) {
      const Node &from = nodes_[link.from], &to = nodes_[link.to];
      return (from.filler && from.entered) || (to.filler && to.left);
    });
  }

  // Each link gets the language model's probability of its next word after
  // its own.
  void scoreLanguage() {
    for (Link& link : links_) {
      const Node &from = nodes_[link.from], &to = nodes_[link.to];
      if (to.filler && to.word != "</s>") continue;
      int32 used = 0, history = from.id;
      const int32 known = from.filler && from.word != "<s>" ? 0 : 1;
      const int32 probability = ngram_ng_prob(languageModel_, to.id, &history, known, &used);
      link.score = probability <= logZero_ ? kNothing : link.score + probability * unit_;
    }
  }

  ps_lattice_t* lattice_;
  ngram_model_t* languageModel_;
  double unit_ = 0;  // natural logarithm of the engine's logarithm base
  int32 logZero_ = 0;
  std::vector<Node> nodes_;
  std::vector<ps_latnode_t*> engineNodes_;
  std::unordered_map<const ps_latnode_t*, size_t> index_;
  std::vector<Link> links_;
  double total_ = kNothing;
};

}  // namespace

void addLatticePosteriors(ps_lattice_t* lattice, ngram_model_t* languageModel, double acousticScale,
                          int utteranceStart, std::span<DecodedWord> words) {
  if (lattice == nullptr || words.empty()) return;
  LatticeSums sums(lattice, languageModel, acousticScale);
  if (!sums.sum()) return;
  sums.scoreWords(words, utteranceStart);
  sums.scoreCutWord(words.back(), utteranceStart);
  for (DecodedWord& word : words) word.confidence = std::clamp(word.confidence, 0.0, 1.0);
}

}  // namespace earshot::platform::linuxos
