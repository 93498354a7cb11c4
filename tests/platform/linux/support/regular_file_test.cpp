#include "platform/linux/support/regular_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "tests/support/scratch_folder.h"

namespace earshot::platform::linuxos::support {
namespace {
namespace fs = std::filesystem;

class RegularFile : public testing::Test {
 protected:
  // Reads on a thread of its own, so that a read that blocks (as one of a
  // FIFO without a writer did) fails the test instead of hanging it.
  std::optional<std::string> readSoon(const fs::path& file, size_t largest = 4096,
                                      Links links = Links::refuse) {
    auto reading =
        std::async(std::launch::async, [=] { return readRegularFile(file, largest, links); });
    if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "reading " << file << " blocked";
      std::quick_exit(1);  // the blocked thread cannot be joined
    }
    return reading.get();
  }

  testkit::ScratchFolder scratch_{"earshot-regular-file"};
  const fs::path root_ = scratch_.path();
};

TEST_F(RegularFile, ReadsAWholeFileUpToItsCap) {
  std::ofstream(root_ / "small") << "three\nlines\nhere\n";
  EXPECT_EQ(readSoon(root_ / "small"), "three\nlines\nhere\n");
  EXPECT_EQ(readSoon(root_ / "small", 17), "three\nlines\nhere\n");
  EXPECT_EQ(readSoon(root_ / "small", 16), std::nullopt);
  std::ofstream(root_ / "empty").flush();
  EXPECT_EQ(readSoon(root_ / "empty"), "");
  std::string big(200000, 'x');
  std::ofstream(root_ / "big") << big;
  EXPECT_EQ(readSoon(root_ / "big", big.size()), big);
  EXPECT_EQ(readSoon(root_ / "missing"), std::nullopt);
}

TEST_F(RegularFile, AnythingButARegularFileIsRefusedWithoutBlocking) {
  ASSERT_EQ(::mkfifo((root_ / "fifo").c_str(), 0600), 0);
  fs::create_directory(root_ / "folder");
  std::ofstream(root_ / "real") << "real contents";
  fs::create_symlink(root_ / "real", root_ / "link to a file");
  fs::create_symlink("/dev/stdin", root_ / "link to stdin");
  fs::create_symlink("/dev/zero", root_ / "link to zero");
  fs::create_symlink(root_ / "fifo", root_ / "link to the fifo");
  int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string socketPath = (root_ / "socket").string();
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  for (const char* name : {"fifo", "folder", "link to a file", "link to stdin", "link to zero",
                           "link to the fifo", "socket"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(readSoon(root_ / name), std::nullopt);
  }
  for (const char* device : {"/dev/null", "/dev/zero", "/dev/stdin", "/dev/tty"}) {
    SCOPED_TRACE(device);
    EXPECT_EQ(readSoon(device, 4096, Links::follow), std::nullopt);
  }
  // A FIFO with a writer that sends something is still no file.
  int writer = ::open((root_ / "fifo").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(::write(writer, "data\n", 5), 5);
  EXPECT_EQ(readSoon(root_ / "fifo"), std::nullopt);
  ::close(writer);
  ::close(sock);

  // Where links are allowed, only links to regular files.
  EXPECT_EQ(readSoon(root_ / "link to a file", 4096, Links::follow), "real contents");
  EXPECT_EQ(readSoon(root_ / "link to the fifo", 4096, Links::follow), std::nullopt);
}

TEST_F(RegularFile, PiecesStopWhenTheReaderHasEnough) {
  std::ofstream(root_ / "big") << std::string(300000, 'y');
  size_t seen = 0, calls = 0;
  EXPECT_TRUE(readRegularFile(root_ / "big", 300000, [&](std::string_view piece) {
    seen += piece.size();
    ++calls;
    return false;
  }));
  EXPECT_EQ(calls, 1u);
  EXPECT_LT(seen, 300000u);
}

}  // namespace
}  // namespace earshot::platform::linuxos::support
