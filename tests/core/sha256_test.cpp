// SHA-256 against the published test vectors and against the system's sha256sum.
#include <cstdio>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "core/sha256.h"

namespace trevo {
namespace {

TEST(Sha256, PublishedVectorsWholeAndInPieces) {
  struct Case {
    std::string message, digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sha256_hex(c.message), c.digest) << "message of " << c.message.size() << " bytes";
    // The same digest whatever the pieces: 1, 63, 64 and 65 bytes straddle the block boundary.
    for (std::size_t piece : {1, 63, 64, 65}) {
      if (c.message.size() > 5000 && piece < 63) continue;
      Sha256 digest;
      for (std::size_t at = 0; at < c.message.size(); at += piece) digest.add(std::string_view(c.message).substr(at, piece));
      EXPECT_EQ(digest.hex(), c.digest) << "pieces of " << piece << ", message of " << c.message.size() << " bytes";
    }
  }
}

TEST(Sha256, FileDigestMatchesSha256sum) {
  const std::string path = testing::TempDir() + "sha256_probe.bin";
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes += static_cast<char>((i * 7919) % 251);
  std::ofstream(path, std::ios::binary) << bytes;
  const auto digest = sha256_file(path);
  ASSERT_TRUE(digest.has_value());
  EXPECT_EQ(digest->bytes, bytes.size());
  FILE* pipe = ::popen(("sha256sum '" + path + "'").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char reference[65] = {};
  ASSERT_EQ(std::fread(reference, 1, 64, pipe), 64u);
  ::pclose(pipe);
  EXPECT_EQ(digest->hex, reference);
  std::remove(path.c_str());
  EXPECT_FALSE(sha256_file(path).has_value());
}

}  // namespace
}  // namespace trevo
