// Writes earshot-feed(1) from the flag table: earshot-feed-man VERSION FILE.
#include <fstream>
#include <iostream>

#include "tools/feed/flags.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: earshot-feed-man VERSION FILE\n";
    return 2;
  }
  std::ofstream out(argv[2], std::ios::binary);
  out << earshot::feed::manPage("earshot-feed", argv[1]);
  out.close();
  if (!out) {
    std::cerr << "earshot-feed-man: cannot write " << argv[2] << '\n';
    return 1;
  }
  return 0;
}
